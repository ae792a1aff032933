#include "image/DemonImageText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

namespace vantrel {
namespace {

constexpr std::size_t kTextLength = 5630;
constexpr std::size_t kS3Records = 72;
constexpr std::size_t kErasedRecords = 8;
constexpr std::size_t kRecordLength = 78;
constexpr std::size_t kDataBytes = 32;
constexpr std::size_t kChunk = 224;  // bytes per Demon load command
constexpr std::uint8_t kUntouched = 0xA5;

// The text cut before every 'S'.
std::vector<std::string_view> Records(std::string_view text) {
    std::vector<std::string_view> records;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('S', start + 1), text.size());
        records.push_back(text.substr(start, end - start));
        start = end;
    }
    return records;
}

// The data bytes of a count-25 record, read independently of the reader.
std::vector<std::uint8_t> Data(std::string_view record) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < kDataBytes; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(
            std::stoul(std::string(record.substr(12 + 2 * i, 2)), nullptr, 16)));
    }
    return bytes;
}

TEST(DemonImageTextTest, IsOneLineOfUpperCaseHexRecords) {
    const std::string_view text = DemonImageText;
    EXPECT_EQ(text.size(), kTextLength);
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEFS"), std::string_view::npos);
}

TEST(DemonImageTextTest, HoldsSeventyTwoS3RecordsThenTheS7Record) {
    const std::vector<std::string_view> records = Records(DemonImageText);
    ASSERT_EQ(records.size(), kS3Records + 1);
    for (std::size_t i = 0; i < kS3Records; ++i) {
        const std::string_view record = records[i];
        EXPECT_EQ(record.size(), kRecordLength) << i;
        EXPECT_EQ(record.substr(0, 4), "S325") << i;
        EXPECT_EQ(SRecordReader::ParseAddress(record), kDemonBaseAddress + 0x20 * i) << i;
        EXPECT_EQ(SRecordReader::CheckRecord(record), static_cast<std::int32_t>(kDataBytes)) << i;
    }
    EXPECT_EQ(records.back(), "S70500000000FA");
}

TEST(DemonImageTextTest, ProgramRecordsVaryAndTheLastEightAreErased) {
    const std::vector<std::string_view> records = Records(DemonImageText);
    ASSERT_EQ(records.size(), kS3Records + 1);
    // The data as hex text: a set of byte vectors trips a false GCC 12 warning in Release.
    std::set<std::string_view> programData;
    std::set<std::uint8_t> byteValues;
    for (std::size_t i = 0; i < kS3Records - kErasedRecords; ++i) {
        const std::vector<std::uint8_t> data = Data(records[i]);
        programData.insert(records[i].substr(12, 2 * kDataBytes));
        byteValues.insert(data.begin(), data.end());
    }
    EXPECT_EQ(programData.size(), kS3Records - kErasedRecords);  // no two records alike
    EXPECT_GT(byteValues.size(), 100u);
    for (std::size_t i = kS3Records - kErasedRecords; i < kS3Records; ++i) {
        EXPECT_EQ(records[i].substr(12, 2 * kDataBytes), std::string(2 * kDataBytes, 'F')) << i;
    }
}

TEST(DemonImageTextTest, ReadsAtTheDemonBaseAsTheTextLength) {
    ASSERT_EQ(kDemonBaseAddress, 2048u);
    std::vector<std::uint8_t> buffer(kDemonImageCapacity, kUntouched);
    const std::int32_t size =
        SRecordReader::LoadFromText(DemonImageText, buffer, kDemonBaseAddress);
    ASSERT_EQ(size, static_cast<std::int32_t>(kTextLength));  // not the 2,304 data bytes

    std::vector<std::uint8_t> expected;
    const std::vector<std::string_view> records = Records(DemonImageText);
    for (std::size_t i = 0; i < kS3Records; ++i) {
        const std::vector<std::uint8_t> data = Data(records[i]);
        expected.insert(expected.end(), data.begin(), data.end());
    }
    ASSERT_EQ(expected.size(), 2304u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + 2304, buffer.begin() + kTextLength,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(buffer.begin() + kTextLength, buffer.end(),
                            [](std::uint8_t b) { return b == kUntouched; }));

    // What the Demon transfer sends: 25 full load commands and a last one of 30 bytes.
    EXPECT_EQ(static_cast<std::size_t>(size) / kChunk, 25u);
    EXPECT_EQ(static_cast<std::size_t>(size) % kChunk, 30u);
}

TEST(DemonImageTextTest, AnyBaseAboveTheLoadAddressIsAMismatch) {
    std::vector<std::uint8_t> buffer(kDemonImageCapacity, kUntouched);
    for (std::uint32_t base : {0x801u, 0x820u, 0x1000u, 0x00C10000u}) {
        EXPECT_EQ(SRecordReader::LoadFromText(DemonImageText, buffer, base),
                  static_cast<std::int32_t>(SRecordError::TypeBaseMismatch))
            << base;
    }
}

}  // namespace
}  // namespace vantrel
