#include "engine/MonitorPackets.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <vector>

namespace vantrel {
namespace {

std::vector<std::uint8_t> Bytes(const PacketBuffer& buffer, std::uint16_t length) {
    return {buffer.begin(), buffer.begin() + length};
}

TEST(MonitorPacketsTest, FixedPacketsAreByteExact) {
    PacketBuffer buffer{};
    EXPECT_EQ(Bytes(buffer, BuildForceMonitor(buffer)),
              (std::vector<std::uint8_t>{0x10, 0x1E, 0x4D, 0x10, 0x03}));
    EXPECT_EQ(Bytes(buffer, BuildEnquiry(buffer)),
              (std::vector<std::uint8_t>{0x05, 0x0A, 0x14, 0x28}));
    EXPECT_EQ(
        Bytes(buffer, BuildRunDemon(buffer)),
        (std::vector<std::uint8_t>{0x02, 0x00, 0x82, 0x04, 0x00, 0x00, 0x08, 0x00, 0x8E, 0x03}));
    EXPECT_EQ(Bytes(buffer, BuildEraseFlash(buffer)),
              (std::vector<std::uint8_t>{0x02, 0x00, 0x8F, 0x00, 0x8F, 0x03}));
    EXPECT_EQ(Bytes(buffer, BuildSetBaudRate(buffer, 57600)),
              (std::vector<std::uint8_t>{0x02, 0x00, 0x86, 0x01, 0x0D, 0x94, 0x03}));
}

TEST(MonitorPacketsTest, BaudRateCodesFallBackToElevenForUnknownRates) {
    EXPECT_EQ(BaudRateCode(38400), 12);
    EXPECT_EQ(BaudRateCode(57600), 13);
    EXPECT_EQ(BaudRateCode(115200), 14);
    EXPECT_EQ(BaudRateCode(9600), 11);
    EXPECT_EQ(BaudRateCode(0), 11);
    PacketBuffer buffer{};
    ASSERT_EQ(BuildSetBaudRate(buffer, 9600), 7);
    EXPECT_EQ(buffer[4], 11);
    EXPECT_EQ(buffer[5], 0x92);
}

TEST(MonitorPacketsTest, FullFirmwareChunkFillsTheLargestFrame) {
    std::vector<std::uint8_t> data(224);
    std::iota(data.begin(), data.end(), std::uint8_t{0});
    PacketBuffer buffer{};
    const std::uint16_t length = BuildLoadFirmwareChunk(buffer, data, 0x00C10000);
    ASSERT_EQ(length, 234);
    EXPECT_EQ(buffer[0], 0x02);
    EXPECT_EQ(buffer[1], 0x00);
    EXPECT_EQ(buffer[2], 0x89);
    EXPECT_EQ(buffer[3], 0xE4);
    EXPECT_EQ(Bytes(buffer, 8),
              (std::vector<std::uint8_t>{0x02, 0x00, 0x89, 0xE4, 0x00, 0xC1, 0x00, 0x00}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin() + 8));
    unsigned sum = 0x89 + 0xE4 + 0xC1;
    for (auto b : data) {
        sum += b;
    }
    EXPECT_EQ(buffer[232], sum & 0xFF);
    EXPECT_EQ(buffer[233], 0x03);
}

TEST(MonitorPacketsTest, ShortChunkShrinksLengthByteAndFrame) {
    const std::vector<std::uint8_t> one = {0xAB};
    PacketBuffer buffer{};
    ASSERT_EQ(BuildLoadDemonChunk(buffer, one, 0x12345678), 11);
    EXPECT_EQ(
        Bytes(buffer, 11),
        (std::vector<std::uint8_t>{
            0x02, 0x00, 0x81, 0x05, 0x12, 0x34, 0x56, 0x78, 0xAB,
            static_cast<std::uint8_t>(0x81 + 0x05 + 0x12 + 0x34 + 0x56 + 0x78 + 0xAB), 0x03}));
    std::vector<std::uint8_t> thirty(30, 0xFF);
    EXPECT_EQ(BuildLoadDemonChunk(buffer, thirty, 0x1DE0), 40);
    EXPECT_EQ(buffer[3], 34);
}

TEST(MonitorPacketsTest, FramingBytesInDataAreNotEscaped) {
    const std::vector<std::uint8_t> data = {0x02, 0x03, 0x10, 0x06};
    PacketBuffer buffer{};
    ASSERT_EQ(BuildLoadFirmwareChunk(buffer, data, 0x800), 14);
    EXPECT_EQ(Bytes(buffer, 14).at(8), 0x02);
    EXPECT_EQ(Bytes(buffer, 14).at(9), 0x03);
    EXPECT_EQ(Bytes(buffer, 14).at(10), 0x10);
    EXPECT_EQ(Bytes(buffer, 14).at(11), 0x06);
}

TEST(MonitorPacketsTest, ChecksumKeepsOnlyTheLowEightBits) {
    const std::vector<std::uint8_t> data(4, 0xFF);
    // 0x89 + 8 + 0xFF*4 + address bytes 0x01 = 0x48E -> 0x8E
    PacketBuffer buffer{};
    ASSERT_EQ(BuildLoadFirmwareChunk(buffer, data, 0x00000001), 14);
    EXPECT_EQ(buffer[12], 0x8E);
    EXPECT_EQ(FrameChecksum(0x80, std::vector<std::uint8_t>{0x80}), 0x01);
}

TEST(MonitorPacketsTest, ChunkLongerThan224BytesIsRefused) {
    std::vector<std::uint8_t> data(225);
    PacketBuffer buffer{};
    EXPECT_THROW(BuildLoadFirmwareChunk(buffer, data, 0), std::length_error);
    EXPECT_THROW(BuildLoadDemonChunk(buffer, data, 0), std::length_error);
}

}  // namespace
}  // namespace vantrel
