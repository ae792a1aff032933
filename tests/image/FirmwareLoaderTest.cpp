// The one rule for what a firmware file flashes: formats by content, the image as the address
// span, gaps and overlaps, whole files, and the texts of every refusal.
#include "image/FirmwareLoader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/FirmwareMessages.h"
#include "image/ImageBuffer.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kBase = 0x00C10000;

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// An S-record of type 0-9 whose address field has `width` bytes.
std::string Record(char type, std::size_t width, std::uint32_t address,
                   std::vector<std::uint8_t> data = {}) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(width + data.size() + 1)};
    for (std::size_t i = width; i-- > 0;) {
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string out = {'S', type};
    char hex[3];
    for (std::uint8_t b : bytes) {
        sum += b;
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
    return out + hex + "\n";
}

class FirmwareLoaderTest : public ::testing::Test {
  protected:
    FirmwareLoad Load(const std::string& content, std::uint32_t base = kBase) {
        buffer_->fill(0xA5);
        return LoadFirmware(AsBytes(content), base, *buffer_);
    }
    std::optional<FirmwareProblem> Problem(const std::string& content) {
        const auto load = Load(content);
        if (const auto* refusal = std::get_if<FirmwareRefusal>(&load)) {
            return refusal->problem;
        }
        return std::nullopt;
    }
    std::unique_ptr<RomImage> buffer_ = std::make_unique<RomImage>();
};

TEST_F(FirmwareLoaderTest, FormatIsToldByContentNotName) {
    const struct {
        std::string content;
        FirmwareFormat format;
    } rows[] = {
        {Record('0', 2, 0) + Record('3', 4, kBase, {1}), FirmwareFormat::SRecord},
        {"\n  :0100000012ED\n:00000001FF\n", FirmwareFormat::IntelHex},
        {std::string("\x7F"
                     "ELF\x01\x02\x01",
                     7),
         FirmwareFormat::Elf},
        {std::string("\x00\x01\x02\xFF", 4), FirmwareFormat::Unknown},
        {"Release notes\nnothing here\n", FirmwareFormat::Unknown},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DetectFormat(AsBytes(row.content)), row.format) << row.content;
    }
}

TEST_F(FirmwareLoaderTest, RecordsOfEveryWidthMakeOneSpanWithGapsAndOverlaps) {
    const std::uint32_t base = 0x1000;
    const std::string content = Record('0', 2, 0) + Record('1', 2, 0x1000, {1, 2, 3, 4}) +
                                Record('2', 3, 0x1010, {0x11, 0x12}) +
                                Record('3', 4, 0x1003, {0xAA, 0xAB}) + Record('5', 2, 3) +
                                Record('9', 2, 0);
    const auto load = Load(content, base);
    ASSERT_TRUE(std::holds_alternative<FirmwareLayout>(load));
    const auto& layout = std::get<FirmwareLayout>(load);
    EXPECT_EQ(layout.size, 0x12u);
    EXPECT_EQ(layout.dataBytes, 7u);
    const std::vector<std::uint8_t> image(buffer_->begin(), buffer_->begin() + 0x13);
    EXPECT_EQ(image,
              (std::vector<std::uint8_t>{1, 2, 3, 0xAA, 0xAB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x11, 0x12, 0xA5}));
    ASSERT_EQ(layout.gaps.size(), 1u);
    EXPECT_EQ(layout.gaps[0].offset, 5u);
    EXPECT_EQ(layout.gaps[0].length, 11u);
    ASSERT_EQ(layout.overlaps.size(), 1u);
    EXPECT_EQ(layout.overlaps[0].offset, 3u);
    EXPECT_EQ(layout.overlaps[0].length, 1u);
    EXPECT_EQ(layout.recordCounts.size(), 6u);
}

TEST_F(FirmwareLoaderTest, FilesCutShortAreRefused) {
    const std::string data = Record('3', 4, kBase, {1, 2}) + Record('3', 4, kBase + 2, {3});
    EXPECT_EQ(Problem(Record('0', 2, 0) + data), FirmwareProblem::Truncated) << "no end record";
    EXPECT_EQ(Problem(Record('0', 2, 0) + data + Record('5', 2, 3)), FirmwareProblem::Truncated);
    EXPECT_EQ(Problem(Record('0', 2, 0) + data + Record('5', 2, 2)), std::nullopt);
    EXPECT_EQ(Problem(Record('0', 2, 0) + data + Record('7', 4, kBase)), std::nullopt);
    EXPECT_EQ(Problem(data), std::nullopt) << "without a header nothing tells";
}

TEST_F(FirmwareLoaderTest, EveryRefusalHasItsWindowTextAndCommandLine) {
    const struct {
        FirmwareRefusal refusal;
        const char* window;
        const char* line;
    } rows[] = {
        {{FirmwareProblem::ChecksumInvalid, FirmwareFormat::SRecord, 4, kBase,
          "checksum does not match"},
         "ROM file checksum invalid (S-record)",
         "fw.rom line 4: checksum does not match (S-record)"},
        {{FirmwareProblem::BelowBase, FirmwareFormat::IntelHex, 2, 0xC00000, ""},
         "ROM file type/base address mismatch (Intel HEX)\n\nClick Settings and make sure they are "
         "correct.",
         "fw.rom line 2: the record at 00C00000 lies below the base address 00C10000 (Intel HEX); "
         "give the right --base"},
        {{FirmwareProblem::TooLarge, FirmwareFormat::Elf, 0, 0x20000000, ""},
         "ROM file too large (ELF)",
         "fw.rom: the record at 20000000 lies more than 655360 bytes (640 KiB) past the base "
         "address 00C10000 (ELF), beyond what a unit holds; check --base"},
        {{FirmwareProblem::NoData, FirmwareFormat::SRecord, 0, std::nullopt, "no data records"},
         "ROM file holds no data (S-record)\n\nFlashing it would only erase the units. Select the "
         "firmware's ROM file.",
         "fw.rom: no data records (S-record): flashing it would only erase the units"},
        {{FirmwareProblem::Truncated, FirmwareFormat::IntelHex, 9, std::nullopt,
          "no end-of-file record"},
         "ROM file incomplete (Intel HEX)\n\nThe file ends early. Build it again and select it "
         "once the build has finished.",
         "fw.rom line 9: incomplete (Intel HEX): no end-of-file record; build it again and wait "
         "until the build has finished"},
        {{FirmwareProblem::RawBinary, FirmwareFormat::Unknown, 0, std::nullopt,
          "a raw binary image"},
         "ROM file is a raw binary image\n\nMake an S-record file of it first, for example:\n"
         "srec_cat fw.bin -binary -offset 0xC10000 -o fw.rom -motorola -address-length=4",
         "fw.rom: a raw binary image, not a firmware file; make an S-record file of it first, for "
         "example: srec_cat fw.bin -binary -offset 0xC10000 -o fw.rom -motorola "
         "-address-length=4"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RomRefusalText(row.refusal, kBase), row.window);
        EXPECT_EQ(RomRefusalLine(row.refusal, "fw.rom", kBase), row.line);
    }
}

// The window tells a refused S-record file in the words the Demon's reader uses for its own file.
TEST_F(FirmwareLoaderTest, SRecordRefusalsInTheReadersWords) {
    const std::pair<FirmwareProblem, const char*> rows[] = {
        {FirmwareProblem::ChecksumInvalid, "ROM file checksum invalid (S-record)"},
        {FirmwareProblem::AddressInvalid, "ROM file address value invalid (S-record)"},
        {FirmwareProblem::BelowBase,
         "ROM file type/base address mismatch (S-record)\n\nClick Settings and make sure they are "
         "correct."},
        {FirmwareProblem::PastAddressSpace,
         "ROM file size mismatch (S-record)\n\nClick Settings and make sure they are correct."},
        {FirmwareProblem::FormatInvalid, "ROM file format invalid (S-record)"},
        {FirmwareProblem::TooLarge, "ROM file too large (S-record)"},
    };
    for (const auto& [problem, window] : rows) {
        const FirmwareRefusal refusal{problem, FirmwareFormat::SRecord, 3, kBase, "detail"};
        EXPECT_EQ(RomRefusalText(refusal, kBase), window);
    }
}

}  // namespace
}  // namespace vantrel
