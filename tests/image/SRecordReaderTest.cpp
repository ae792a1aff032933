#include "image/SRecordReader.h"

#include "image/FirmwareLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/DemonImageText.h"
#include "image/ImageBuffer.h"

namespace vantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBase = 0x00C10000;
constexpr std::uint8_t kUntouched = 0xA5;  // what the buffers hold before a read
constexpr std::size_t kGuard = 64;         // bytes past the span handed to the reader
constexpr std::int32_t kChecksumInvalid = -2;
constexpr std::int32_t kAddressInvalid = -3;
constexpr std::int32_t kTypeBaseMismatch = -4;
constexpr std::int32_t kSizeMismatch = -5;
constexpr std::int32_t kFormatInvalid = -6;
constexpr std::int32_t kImageTooLarge = -7;
constexpr std::int32_t kNoData = -8;
constexpr std::int32_t kTruncated = -9;
constexpr std::int32_t kNotFirmware = -10;

// A ROM file's load as one number, like the Demon's: its size, or its problem's code.
std::int32_t Result(const FirmwareLoad& load) {
    if (const auto* layout = std::get_if<FirmwareLayout>(&load)) {
        return static_cast<std::int32_t>(layout->size);
    }
    switch (std::get<FirmwareRefusal>(load).problem) {
        case FirmwareProblem::ChecksumInvalid:
            return kChecksumInvalid;
        case FirmwareProblem::AddressInvalid:
            return kAddressInvalid;
        case FirmwareProblem::BelowBase:
            return kTypeBaseMismatch;
        case FirmwareProblem::PastAddressSpace:
            return kSizeMismatch;
        case FirmwareProblem::FormatInvalid:
            return kFormatInvalid;
        case FirmwareProblem::TooLarge:
            return kImageTooLarge;
        case FirmwareProblem::NoData:
            return kNoData;
        case FirmwareProblem::Truncated:
            return kTruncated;
        case FirmwareProblem::NotFirmware:
        case FirmwareProblem::RawBinary:
            return kNotFirmware;
    }
    return 0;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The record from the reader's own documentation: one data byte 12 at 00C10000.
constexpr std::string_view kExample = "S30600C100001226";

std::string Hex(std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    }
    return out;
}

// A record of any type whose count and checksum match the bytes after the count.
std::string Record(char type, const Bytes& fields) {
    std::string out = {'S', type};
    unsigned sum = static_cast<unsigned>(fields.size() + 1);
    out += Hex(sum, 2);
    for (std::uint8_t byte : fields) {
        sum += byte;
        out += Hex(byte, 2);
    }
    return out + Hex(~sum & 0xFF, 2);
}

std::string S3(std::uint32_t address, const Bytes& data) {
    Bytes fields = {static_cast<std::uint8_t>(address >> 24),
                    static_cast<std::uint8_t>(address >> 16),
                    static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    fields.insert(fields.end(), data.begin(), data.end());
    return Record('3', fields);
}

Bytes Pattern(std::size_t length, std::uint8_t first) {
    Bytes out(length);
    for (std::size_t i = 0; i < length; ++i) {
        out[i] = static_cast<std::uint8_t>(first + 7 * i);
    }
    return out;
}

std::string Join(std::initializer_list<std::string> records, std::string_view separator) {
    std::string out;
    for (const std::string& record : records) {
        out += record;
        out += separator;
    }
    return out;
}

std::string Lines(std::initializer_list<std::string> records) {
    return Join(records, "\n");
}

std::string With(std::string_view record, std::size_t column, std::string_view field) {
    std::string out(record);
    return out.replace(column, field.size(), field);
}

// Number of bytes that differ from value.
std::size_t CountOther(std::span<const std::uint8_t> bytes, std::uint8_t value) {
    return static_cast<std::size_t>(
        std::count_if(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b != value; }));
}

Bytes Slice(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t length) {
    const auto part = bytes.subspan(from, length);
    return Bytes(part.begin(), part.end());
}

// A temporary stream holding content, left positioned at its end.
class TempFile {
  public:
    explicit TempFile(std::string_view content) : file_(std::tmpfile()) {
        if (file_ != nullptr) {
            std::fwrite(content.data(), 1, content.size(), file_);
            std::fflush(file_);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    std::FILE* get() const { return file_; }

  private:
    std::FILE* file_;
};

// ---------------------------------------------------------------------------------------------
// CheckRecord

TEST(CheckRecordTest, GoodRecordGivesItsDataLength) {
    EXPECT_EQ(SRecordReader::CheckRecord(kExample), 1);
    EXPECT_EQ(SRecordReader::CheckRecord("S30600c100001226"), 1);  // lower-case digits
    EXPECT_EQ(SRecordReader::CheckRecord(S3(kBase, Pattern(32, 1))), 32);
    EXPECT_EQ(SRecordReader::CheckRecord(S3(kBase, Pattern(250, 1))), 250);  // count FF
    EXPECT_EQ(SRecordReader::CheckRecord(S3(kBase, {})), 0);
    // Whatever follows the checksum is not read.
    EXPECT_EQ(SRecordReader::CheckRecord(std::string(kExample) + "zz \r\n"), 1);
}

TEST(CheckRecordTest, ChecksumMismatchIsBad) {
    EXPECT_EQ(SRecordReader::CheckRecord("S30600C100001227"), -1);
    EXPECT_EQ(SRecordReader::CheckRecord("S30600C100001326"), -1);  // data changed
    EXPECT_EQ(SRecordReader::CheckRecord("S30600C200001226"), -1);  // address changed
    EXPECT_EQ(SRecordReader::CheckRecord("S30700C100001226"), -1);  // count changed
}

TEST(CheckRecordTest, CountFourIsBadEvenWithMatchingChecksum) {
    // 04 + 00 + C1 + 00 = C5, whose complement 3A sits where the last address byte belongs.
    EXPECT_EQ(SRecordReader::CheckRecord("S30400C1003A"), -1);
    EXPECT_EQ(SRecordReader::CheckRecord("S30400C1003A00"), -1);
}

TEST(CheckRecordTest, CountsOneToThreeWithMatchingChecksumAreNotRejected) {
    EXPECT_EQ(SRecordReader::CheckRecord("S301FE"), -4);      // sum 01
    EXPECT_EQ(SRecordReader::CheckRecord("S30200FD"), -3);    // sum 02
    EXPECT_EQ(SRecordReader::CheckRecord("S30300C13B"), -2);  // sum C4
    EXPECT_EQ(SRecordReader::CheckRecord("S30300C13C"), -1);
}

TEST(CheckRecordTest, CountZeroCanNeverMatch) {
    // The checksum column is the count itself: 00 against the complement FF.
    EXPECT_EQ(SRecordReader::CheckRecord("S300"), -1);
    EXPECT_EQ(SRecordReader::CheckRecord("S300FF"), -1);
}

TEST(CheckRecordTest, RecordEndingEarlyIsBad) {
    for (std::string_view record :
         {"", "S", "S3", "S30", "S30600C1", "S30600C1000012", "S30600C10000122"}) {
        EXPECT_EQ(SRecordReader::CheckRecord(record), -1) << record;
    }
}

TEST(CheckRecordTest, EveryFieldMustBeExactlyTwoHexDigits) {
    // Each damaged field still means the same value to a lenient conversion, so only the strict
    // reading rejects these records.
    const std::string count = std::string(kExample);  // count 06 at column 2
    const std::string data = "S30600C100000236";      // data 02 at column 12
    const std::string sum = "S30600C100003206";       // checksum 06 at column 14
    ASSERT_EQ(SRecordReader::CheckRecord(count), 1);
    ASSERT_EQ(SRecordReader::CheckRecord(data), 1);
    ASSERT_EQ(SRecordReader::CheckRecord(sum), 1);
    for (std::string_view field : {" 6", "+6", "6 ", "0x", "G6", "\t6"}) {
        EXPECT_EQ(SRecordReader::CheckRecord(With(count, 2, field)), -1) << "count " << field;
        EXPECT_EQ(SRecordReader::CheckRecord(With(sum, 14, field)), -1) << "checksum " << field;
    }
    for (std::string_view field : {" 2", "+2", "2 ", "0x", "x2", "G2"}) {
        EXPECT_EQ(SRecordReader::CheckRecord(With(data, 12, field)), -1) << "data " << field;
    }
    EXPECT_EQ(SRecordReader::CheckRecord("S306 0C100001226"), -1);  // blank in an address byte
}

// ---------------------------------------------------------------------------------------------
// ParseAddress

TEST(ParseAddressTest, ReadsEightHexDigitsAtColumnFour) {
    EXPECT_EQ(SRecordReader::ParseAddress(kExample), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseAddress("S30600c1abCD"), 0x00C1ABCDu);
    EXPECT_EQ(SRecordReader::ParseAddress("S3060000000012"), 0u);
    EXPECT_EQ(SRecordReader::ParseAddress("S3FF12345678"), 0x12345678u);  // checksum not tested
    EXPECT_EQ(SRecordReader::ParseAddress("S306FFFFFFFE"), 0xFFFFFFFEu);
}

TEST(ParseAddressTest, UnreadableFieldGivesAllOnes) {
    for (std::string_view record :
         {"", "S306", "S30600C1", "S30600C1000", "S306 0C10000", "S306+0C10000", "S306-0C10000",
          "S3060xC10000", "S30600C1G000", "S30600C1000 "}) {
        EXPECT_EQ(SRecordReader::ParseAddress(record), 0xFFFFFFFFu) << record;
    }
}

// ---------------------------------------------------------------------------------------------
// ParseBaseAddress

TEST(ParseBaseAddressTest, ReadsHexLikeTheRememberedSetting) {
    EXPECT_EQ(SRecordReader::ParseBaseAddress("00C10000"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("00c10000"),
              SRecordReader::ParseBaseAddress("00C10000"));
    EXPECT_EQ(SRecordReader::ParseBaseAddress("C10000"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("1"), 1u);
}

TEST(ParseBaseAddressTest, AcceptsBlanksSignAndPrefix) {
    EXPECT_EQ(SRecordReader::ParseBaseAddress("0xC10000"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("0XC10000"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress(" C10000"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("\t 00C10000"), 0x00C10000u);  // blanks take no width
    EXPECT_EQ(SRecordReader::ParseBaseAddress("+C10000"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("-1"),
              0xFFFFFFFFu);  // negated, as the conversion does
}

TEST(ParseBaseAddressTest, ReadsAtMostEightCharactersAndStopsAtNonHex) {
    EXPECT_EQ(SRecordReader::ParseBaseAddress("00C1000012"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("123456789ABC"), 0x12345678u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("C10000zz"), 0x00C10000u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("C1 0000"), 0xC1u);
    // Sign and prefix count towards the eight characters.
    EXPECT_EQ(SRecordReader::ParseBaseAddress("0x00C10000"), 0x00C100u);
    EXPECT_EQ(SRecordReader::ParseBaseAddress("+00C10000"), 0x00C1000u);
}

TEST(ParseBaseAddressTest, ZeroMeansInvalid) {
    for (std::string_view text : {"", "zz", "00000000", "0", "   ", "0x", "+", "-", "x10000"}) {
        EXPECT_EQ(SRecordReader::ParseBaseAddress(text), 0u) << '"' << text << '"';
    }
}

// ---------------------------------------------------------------------------------------------
// Fixtures for the two reads. Each buffer is followed by guard bytes that the reader never sees,
// so a write past the span shows up.

class ReaderTest : public ::testing::Test {
  protected:
    std::int32_t LoadFile(std::string_view content, std::uint32_t base = kBase) {
        return Result(LoadFirmware(AsBytes(content), base, Rom()));
    }
    // The file read once from an open stream, then loaded.
    std::int32_t LoadStream(std::FILE* file, std::uint32_t base = kBase) {
        const FirmwareContent content = ReadFirmwareContent(file);
        if (const auto* refusal = std::get_if<FirmwareRefusal>(&content)) {
            return Result(*refusal);
        }
        return Result(LoadFirmware(std::get<std::vector<std::uint8_t>>(content), base, Rom()));
    }
    std::int32_t LoadText(const std::string& text, std::uint32_t base = kBase) {
        return SRecordReader::LoadFromText(text.c_str(), Demon(), base);
    }

    std::span<std::uint8_t> Rom() { return std::span(rom_).first(kRomImageCapacity); }
    std::span<std::uint8_t> Demon() { return std::span(demon_).first(kDemonImageCapacity); }
    std::span<const std::uint8_t> RomGuard() const {
        return std::span(rom_).subspan(kRomImageCapacity);
    }
    std::span<const std::uint8_t> DemonGuard() const {
        return std::span(demon_).subspan(kDemonImageCapacity);
    }

    std::vector<std::uint8_t> rom_ = Bytes(kRomImageCapacity + kGuard, kUntouched);
    std::vector<std::uint8_t> demon_ = Bytes(kDemonImageCapacity + kGuard, kUntouched);
};

// ---------------------------------------------------------------------------------------------
// LoadFromFile

using LoadFromFileTest = ReaderTest;

TEST_F(LoadFromFileTest, FileWithoutDataIsRefusedUntouched) {
    // Flashing it would erase the units and write nothing.
    for (const std::string& content :
         {std::string(), std::string("\n \n"),
          Lines({Record('0', {0, 0, 'V', 'T'}), "S70500000000FA"}), Lines({S3(kBase, {})})}) {
        EXPECT_EQ(LoadFile(content), kNoData) << content;
    }
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u);
}

TEST_F(LoadFromFileTest, HeaderCountAndEndRecordsAreSkippedUntested) {
    const std::string content = Lines({
        "S00600004844521C",  // checksum off by one
        std::string(kExample),
        "S5030001FB",
        "S70500000000FF",
        "S8040000FF",
        "S9",
    });
    EXPECT_EQ(LoadFile(content), 1);
    EXPECT_EQ(rom_[0], 0x12);
    EXPECT_EQ(rom_[1], kUntouched);
}

TEST_F(LoadFromFileTest, ExampleRecordGivesOneByteImage) {
    EXPECT_EQ(LoadFile(Lines({std::string(kExample)})), 1);
    EXPECT_EQ(rom_[0], 0x12);
    EXPECT_EQ(CountOther(Rom().subspan(1), kUntouched), 0u);
}

TEST_F(LoadFromFileTest, ExampleRecordAgainstOtherBases) {
    EXPECT_EQ(LoadFile(kExample, 0x00C10001), kTypeBaseMismatch);
    EXPECT_EQ(LoadFile(kExample, 0x00C00000), 65537);  // the span from the base
    EXPECT_EQ(LoadFile(kExample, 0x00C10000), 1);
}

TEST_F(LoadFromFileTest, StreamIsRewoundAndLeftAtItsEnd) {
    TempFile file(Lines({std::string(kExample), S3(kBase + 1, {0x34})}));
    std::fseek(file.get(), 7, SEEK_SET);
    EXPECT_EQ(LoadStream(file.get()), 2);
    EXPECT_EQ(std::fgetc(file.get()), EOF);
    EXPECT_EQ(Slice(rom_, 0, 2), (Bytes{0x12, 0x34}));
    // The same open stream serves the next run.
    EXPECT_EQ(LoadStream(file.get()), 2);
}

TEST_F(LoadFromFileTest, GapsAreSentAsErasedBytes) {
    // The image is the address span: every record's data is sent, the gap as erased flash.
    const Bytes first = Pattern(32, 1);
    const Bytes second = Pattern(32, 2);
    EXPECT_EQ(LoadFile(Lines({S3(kBase + 64, second), S3(kBase, first)})), 96);
    EXPECT_EQ(Slice(rom_, 0, 32), first);
    EXPECT_EQ(CountOther(Rom().subspan(32, 32), 0xFF), 0u);
    EXPECT_EQ(Slice(rom_, 64, 32), second);
    EXPECT_EQ(rom_[96], kUntouched);
}

TEST_F(LoadFromFileTest, RepeatedRecordsNeverLengthenTheImage) {
    const std::string build = Lines({S3(kBase, Pattern(32, 1)), S3(kBase + 32, Pattern(8, 2))});
    EXPECT_EQ(LoadFile(build + build), 40);
    EXPECT_EQ(rom_[40], kUntouched);
}

TEST_F(LoadFromFileTest, RecordsEndingAtTheImageEndAreAccepted) {
    const Bytes a = Pattern(32, 1);
    const Bytes b = Pattern(32, 2);
    EXPECT_EQ(LoadFile(Lines({S3(kBase + 32, b), S3(kBase, a)})), 64);
    EXPECT_EQ(Slice(rom_, 0, 32), a);
    EXPECT_EQ(Slice(rom_, 32, 32), b);
    EXPECT_EQ(rom_[64], kUntouched);
}

TEST_F(LoadFromFileTest, EmptyRecordAtOffsetEqualToSizeIsAccepted) {
    EXPECT_EQ(LoadFile(Lines({S3(kBase, {1, 2, 3, 4}), S3(kBase + 4, {})})), 4);
    EXPECT_EQ(LoadFile(Lines({S3(kBase, {1, 2, 3, 4}), S3(kBase + 5, {})})), 4)
        << "an empty record adds no byte";
}

TEST_F(LoadFromFileTest, RecordsFarPastTheBaseAreTooLarge) {
    EXPECT_EQ(LoadFile(S3(0x80000100, {1}), 0x100), kImageTooLarge);
    EXPECT_EQ(LoadFile(S3(0xFFFFFF00, {1}), 0x10), kImageTooLarge);
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u);
}

TEST_F(LoadFromFileTest, ShortRecordsPlaceNothing) {
    // "S30300C13B00": count 3, checksum 3B at columns 8-9, address field 00C13B00.
    const std::uint32_t base = 0x00C13B00;
    const Bytes a = {0x11, 0x12, 0x13, 0x14};
    const Bytes b = {0x21, 0x22, 0x23, 0x24};
    const std::string content = Lines({S3(base, a), "S30300C13B00", S3(base, b)});
    EXPECT_EQ(LoadFile(content, base), 4);
    EXPECT_EQ(Slice(rom_, 0, 4), b);
    EXPECT_EQ(rom_[4], kUntouched);
    // Its address is still tested.
    EXPECT_EQ(LoadFile(content, base + 1), kTypeBaseMismatch);
}

TEST_F(LoadFromFileTest, ShortRecordsAloneAreNoData) {
    EXPECT_EQ(LoadFile("S30300C13B00\n", 0x00C13B00), kNoData);
    EXPECT_EQ(LoadFile("S30400C1003A\n"), kChecksumInvalid);
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u);
}

TEST_F(LoadFromFileTest, LineWithThreeInColumnOneIsAnS3Record) {
    EXPECT_EQ(LoadFile("X30600C100001226\n"), 1);
    EXPECT_EQ(rom_[0], 0x12);
    std::string lowerCase = S3(kBase, {0x13});
    lowerCase[0] = 's';
    EXPECT_EQ(LoadFile(lowerCase), 1);
    EXPECT_EQ(rom_[0], 0x13);
    EXPECT_EQ(LoadFile("S 30600C100001226\n"), kNotFirmware);
}

TEST_F(LoadFromFileTest, UnreadableCountFailsBeforeTheBufferIsTouched) {
    for (std::string_view bad : {"S3", "S3\n", "S3Z600C100001226\n", "S3 600C100001226\n"}) {
        EXPECT_EQ(LoadFile(std::string(kExample) + "\n" + std::string(bad)), kFormatInvalid) << bad;
    }
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u);
    EXPECT_EQ(LoadStream(nullptr), kFormatInvalid);
}

// Consecutive count-FF records from kBase carrying `total` data bytes, and the image they make.
std::string ContiguousImage(std::size_t total, Bytes& image) {
    std::string content;
    image.clear();
    for (std::size_t offset = 0; offset < total; offset += 250) {
        const Bytes data = Pattern(std::min<std::size_t>(250, total - offset),
                                   static_cast<std::uint8_t>(offset / 250));
        content += S3(kBase + static_cast<std::uint32_t>(offset), data) + "\n";
        image.insert(image.end(), data.begin(), data.end());
    }
    return content;
}

TEST_F(LoadFromFileTest, ImageFillingTheWholeBufferIsRead) {
    Bytes image;
    const std::string content = ContiguousImage(kRomImageCapacity, image);
    EXPECT_EQ(LoadFile(content), static_cast<std::int32_t>(kRomImageCapacity));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), rom_.begin()));
    EXPECT_EQ(CountOther(RomGuard(), kUntouched), 0u);
}

TEST_F(LoadFromFileTest, ImageLargerThanTheBufferIsRejectedUntouched) {
    Bytes image;
    EXPECT_EQ(LoadFile(ContiguousImage(kRomImageCapacity + 1, image)), kImageTooLarge);
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u);
}

TEST_F(LoadFromFileTest, RecordReachingPastTheBufferIsTooLarge) {
    // Size exactly the capacity, but the last record starts 10 bytes before the buffer's end.
    Bytes image;
    const std::string content =
        ContiguousImage(kRomImageCapacity - 16, image) +
        S3(kBase + static_cast<std::uint32_t>(kRomImageCapacity) - 10, Pattern(16, 9));
    EXPECT_EQ(LoadFile(content), kImageTooLarge);
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u) << "refused before the buffer is touched";
}

TEST_F(LoadFromFileTest, RestOfAVeryLongLineIsNeverANewRecord) {
    // A second record hidden 765 characters into the line, past anything a record can use: the
    // line is refused rather than flashed without it. Blanks alone there are harmless.
    const std::string blanks(765 - kExample.size(), ' ');
    const std::string content = Lines({std::string(kExample) + blanks + S3(kBase + 1, {0x34})});
    EXPECT_EQ(LoadFile(content), kFormatInvalid);
    EXPECT_EQ(rom_[0], kUntouched);
    EXPECT_EQ(LoadFile(Lines({std::string(kExample) + blanks + "\t"})), 1);
}

TEST_F(LoadFromFileTest, AnS3LineCarriesOneRecordFollowedOnlyByBlanks) {
    const std::string first = S3(kBase, Pattern(16, 1));
    const std::string second = S3(kBase + 16, Pattern(16, 2));
    for (const std::string& line :
         {first + second, first + " " + second, first + "\t" + second, first + "junk"}) {
        EXPECT_EQ(LoadFile(Lines({line})), kFormatInvalid) << line;
        EXPECT_EQ(rom_[0], kUntouched) << "refused before the buffer is touched";
    }
    EXPECT_EQ(LoadFile(Lines({first + " \t ", second})), 32);
    // Every data record type alike.
    EXPECT_EQ(LoadFile(Lines({Record('1', {0, 0, 1}) + second, first})), kFormatInvalid);
}

// A failing stream is made with glibc's fopencookie; the read it fails is the same on Windows.
#ifdef __GLIBC__
// A stream whose reads fail once `failAfter` bytes have been read in all (both passes).
std::FILE* FailingStream(std::string content, std::size_t failAfter) {
    struct Source {
        std::string content;
        std::size_t position = 0;
        std::size_t budget = 0;
    };
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* out, std::size_t size) -> ssize_t {
        auto* source = static_cast<Source*>(cookie);
        if (source->budget == 0) {
            errno = EIO;
            return -1;
        }
        size = std::min({size, source->budget, source->content.size() - source->position});
        std::copy_n(source->content.data() + source->position, size, out);
        source->position += size;
        source->budget -= size;
        return static_cast<ssize_t>(size);
    };
    io.seek = [](void* cookie, off64_t* offset, int whence) -> int {
        auto* source = static_cast<Source*>(cookie);
        if (whence != SEEK_SET) {
            return -1;
        }
        source->position = static_cast<std::size_t>(*offset);
        return 0;
    };
    io.close = [](void* cookie) -> int {
        delete static_cast<Source*>(cookie);
        return 0;
    };
    return fopencookie(new Source{std::move(content), 0, failAfter}, "r", io);
}

TEST_F(LoadFromFileTest, AReadErrorIsNeverTakenForTheEndOfTheFile) {
    const std::string content = Lines({S3(kBase, Pattern(64, 1)), S3(kBase + 64, Pattern(64, 2))});
    // Early, and just before the end, where what was read is a good file on its own.
    for (const std::size_t failAfter : {std::size_t{10}, content.size() / 2 + 1}) {
        std::FILE* file = FailingStream(content, failAfter);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(LoadStream(file), kFormatInvalid) << failAfter;
        std::fclose(file);
    }
    EXPECT_EQ(CountOther(rom_, kUntouched), 0u);
}

#endif

TEST_F(LoadFromFileTest, ImageMustEndWithinTheAddressSpace) {
    const Bytes data = Pattern(16, 3);
    EXPECT_EQ(LoadFile(Lines({S3(0xFFFFFFF0, data)}), 0xFFFFFFF0), 16) << "ends at FFFFFFFF";
    EXPECT_EQ(LoadFile(Lines({S3(0xFFFFFFF0, data), S3(0xFFFFFFF0, {7})}), 0xFFFFFFF0), 16)
        << "overlaps never lengthen the image";
    EXPECT_EQ(LoadFile(Lines({S3(0xFFFFFFF8, data)}), 0xFFFFFFF0), kSizeMismatch);
    EXPECT_EQ(rom_[0], 7) << "buffer untouched by the refused read";
}

// ---------------------------------------------------------------------------------------------
// LoadFromText

using LoadFromTextTest = ReaderTest;

TEST_F(LoadFromTextTest, MissingTextIsFormatInvalid) {
    EXPECT_EQ(SRecordReader::LoadFromText(nullptr, Demon(), kDemonBaseAddress), kFormatInvalid);
    EXPECT_EQ(CountOther(demon_, kUntouched), 0u);
}

TEST_F(LoadFromTextTest, EmptyTextIsAnEmptyImage) {
    EXPECT_EQ(LoadText(""), 0);
    EXPECT_EQ(CountOther(demon_, kUntouched), 0u);
}

TEST_F(LoadFromTextTest, TextWithoutS3RecordsIsItsLengthOfErasedBytes) {
    const std::string text = Record('0', {0, 0, 'V', 'T'}) + "S1zz\nS70500000000FA";
    EXPECT_EQ(LoadText(text), static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(CountOther(Demon().first(text.size()), 0xFF), 0u);
    EXPECT_EQ(CountOther(Demon().subspan(text.size()), kUntouched), 0u);
}

TEST_F(LoadFromTextTest, SizeIsTheTextLength) {
    EXPECT_EQ(LoadText(std::string(kExample)), 16);
    EXPECT_EQ(demon_[0], 0x12);
    EXPECT_EQ(CountOther(Demon().subspan(1, 15), 0xFF), 0u);
    EXPECT_EQ(demon_[16], kUntouched);
}

TEST_F(LoadFromTextTest, ExampleRecordAgainstOtherBases) {
    EXPECT_EQ(LoadText(std::string(kExample), 0x00C10001), kTypeBaseMismatch);
    EXPECT_EQ(LoadText(std::string(kExample), 0x00C00000), kSizeMismatch);
}

TEST_F(LoadFromTextTest, OnlyUpperCaseSStartsAPiece) {
    // The lower-case record is trailing text of the first piece and places nothing.
    const std::string second = S3(kBase + 1, {0x13});
    EXPECT_EQ(LoadText(std::string(kExample) + "s" + second.substr(1)), 32);
    EXPECT_EQ(Slice(demon_, 0, 2), (Bytes{0x12, 0xFF}));
    // Split at upper-case S, the same record is placed.
    EXPECT_EQ(LoadText(std::string(kExample) + second), 32);
    EXPECT_EQ(Slice(demon_, 0, 2), (Bytes{0x12, 0x13}));
}

TEST_F(LoadFromTextTest, FirstPieceStartsWithWhateverCharacterComesFirst) {
    EXPECT_EQ(LoadText("X30600C100001226"), 16);  // read as an S3 record
    EXPECT_EQ(demon_[0], 0x12);
    // "x" is a piece of its own.
    EXPECT_EQ(LoadText(std::string("x").append(S3(kBase, {0x13}))), 17);
    EXPECT_EQ(demon_[0], 0x13);
}

TEST_F(LoadFromTextTest, RecordNeverReadsIntoTheNextPiece) {
    // The first record lacks its checksum; the next record's 'S' ends it.
    EXPECT_EQ(LoadText("S30600C1000012" + S3(kBase + 1, {0x34})), kChecksumInvalid);
}

TEST_F(LoadFromTextTest, RecordDataMustLieWithinTheTextLength) {
    const std::string first = S3(kBase, {1, 2, 3, 4});  // 22 characters
    ASSERT_EQ(first.size(), 22u);
    EXPECT_EQ(LoadText(first + S3(kBase + 40, {5, 6, 7, 8})), 44);  // ends at 44
    EXPECT_EQ(Slice(demon_, 40, 4), (Bytes{5, 6, 7, 8}));
    EXPECT_EQ(LoadText(first + S3(kBase + 41, {5, 6, 7, 8})), kSizeMismatch);
    EXPECT_EQ(LoadText(first + S3(kBase + 42, {5})), kSizeMismatch);  // offset == size, 1 byte
    EXPECT_EQ(LoadText(S3(kBase + 14, {})), 14);  // empty record at offset == size
}

TEST_F(LoadFromTextTest, TextLongerThanTheBufferIsRejectedUntouched) {
    const std::string record = S3(kDemonBaseAddress, {1, 2, 3, 4});
    const std::string fits = record + std::string(kDemonImageCapacity - record.size(), '0');
    EXPECT_EQ(LoadText(fits + "0", kDemonBaseAddress), kImageTooLarge);
    EXPECT_EQ(CountOther(demon_, kUntouched), 0u);

    EXPECT_EQ(LoadText(fits, kDemonBaseAddress), static_cast<std::int32_t>(kDemonImageCapacity));
    EXPECT_EQ(Slice(demon_, 0, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(CountOther(Demon().subspan(4), 0xFF), 0u);
    EXPECT_EQ(CountOther(DemonGuard(), kUntouched), 0u);
}

TEST_F(LoadFromTextTest, RecordReachingPastTheBufferIsTooLarge) {
    const std::string record =
        S3(kDemonBaseAddress + static_cast<std::uint32_t>(kDemonImageCapacity) - 8, Pattern(16, 1));
    const std::string text = record + std::string(kDemonImageCapacity - record.size(), '0');
    EXPECT_EQ(LoadText(text, kDemonBaseAddress), kImageTooLarge);
    EXPECT_EQ(CountOther(Demon().last(8), 0xFF), 0u);
    EXPECT_EQ(CountOther(DemonGuard(), kUntouched), 0u);
}

// ---------------------------------------------------------------------------------------------
// Record handling common to both reads

enum class Form { File, Text };

void PrintTo(Form form, std::ostream* out) {
    *out << (form == Form::File ? "File" : "Text");
}

class BothFormsTest : public ReaderTest, public ::testing::WithParamInterface<Form> {
  protected:
    bool IsFile() const { return GetParam() == Form::File; }
    // Records one to a line; the text form gets the same characters.
    std::int32_t Load(const std::string& content, std::uint32_t base = kBase) {
        return IsFile() ? LoadFile(content, base) : LoadText(content, base);
    }
    std::span<const std::uint8_t> Image() { return IsFile() ? Rom() : Demon(); }
    // The file form counts data bytes; the text form counts characters.
    std::int32_t SizeOf(const std::string& content, std::size_t dataBytes) const {
        return static_cast<std::int32_t>(IsFile() ? dataBytes : content.size());
    }
};

TEST_P(BothFormsTest, CountFourFailsEvenWithMatchingChecksum) {
    // Listed first: it ends the read before the file's size could be too small for the rest.
    EXPECT_EQ(Load(Lines({"S30400C1003A", S3(kBase, Pattern(8, 0))})), kChecksumInvalid);
}

TEST_P(BothFormsTest, AllOnesAddressIsInvalidWhateverTheBase) {
    const std::string content = Lines({S3(0xFFFFFFFF, {0x12})});
    for (std::uint32_t base : {0x1u, kBase, 0xFFFFFFFFu}) {
        EXPECT_EQ(Load(content, base), kAddressInvalid) << base;
    }
}

TEST_P(BothFormsTest, AddressBelowTheBaseIsAMismatch) {
    EXPECT_EQ(Load(Lines({S3(kBase, {1}), S3(kBase - 1, {2})})), kTypeBaseMismatch);
}

TEST_P(BothFormsTest, LaterRecordsWinOverlaps) {
    const std::string content =
        Lines({S3(kBase, {0x11, 0x12, 0x13, 0x14}), S3(kBase + 2, {0x21, 0x22, 0x23, 0x24})});
    EXPECT_EQ(Load(content), SizeOf(content, 6));
    EXPECT_EQ(Slice(Image(), 0, 6), (Bytes{0x11, 0x12, 0x21, 0x22, 0x23, 0x24}));
}

TEST_P(BothFormsTest, FirstFailingRecordEndsTheRead) {
    std::string bad = S3(kBase + 4, {0x21, 0x22, 0x23, 0x24});
    bad.back() = bad.back() == '0' ? '1' : '0';
    const std::string content =
        Lines({S3(kBase, {0x11, 0x12, 0x13, 0x14}), bad, S3(kBase + 8, {0x31, 0x32, 0x33, 0x34}),
               S3(kBase - 1, {0})});
    EXPECT_EQ(Load(content), kChecksumInvalid);
    if (IsFile()) {
        EXPECT_EQ(CountOther(Image(), kUntouched), 0u) << "a ROM file is never placed in part";
    } else {
        EXPECT_EQ(Slice(Image(), 0, 4), (Bytes{0x11, 0x12, 0x13, 0x14}));
        EXPECT_EQ(CountOther(Image().subspan(4, 8), 0xFF), 0u);
    }
}

TEST_P(BothFormsTest, DamagedFieldsAreRejected) {
    // A good record follows each damaged one so that the file's size stays sensible.
    const std::string tail = S3(kBase, Pattern(8, 1));
    const std::string count = std::string(kExample);
    const std::string data = "S30600C100000236";
    const std::string sum = "S30600C100003206";
    ASSERT_GT(Load(Lines({count, data, sum, tail})), 0);
    for (std::string_view field : {" 6", "+6", "0x", "G6"}) {
        EXPECT_EQ(Load(Lines({With(count, 2, field), tail})),
                  IsFile() ? kFormatInvalid : kChecksumInvalid)
            << "count " << field;
        EXPECT_EQ(Load(Lines({With(sum, 14, field), tail})), kChecksumInvalid)
            << "checksum " << field;
    }
    for (std::string_view field : {" 2", "+2", "0x", "x2", "G2"}) {
        EXPECT_EQ(Load(Lines({With(data, 12, field), tail})), kChecksumInvalid) << "data " << field;
    }
}

TEST_P(BothFormsTest, DamagedAddressOfShortRecordIsInvalid) {
    // In a count-3 record the checksum does not cover the last address byte, so only the address
    // field itself can catch it.
    const std::uint32_t base = 0x00C13B00;
    const std::string tail = S3(base, Pattern(4, 1)) + "\n" + S3(base, Pattern(4, 2));
    const std::string good = Lines({"S30300C13B00", tail});
    ASSERT_EQ(Load(good, base), SizeOf(good, 4));
    for (std::string_view field : {" 0", "+0", "0 ", "G0"}) {
        EXPECT_EQ(Load(Lines({With("S30300C13B00", 10, field), tail}), base), kAddressInvalid)
            << field;
    }
    EXPECT_EQ(Load(Lines({"S30300C13B", tail}), base), kAddressInvalid);  // ends early
}

TEST_P(BothFormsTest, LongestRecordIsReadWhole) {
    // From data byte 120 on the record reads "3333...", so a record cut after 255 or 256
    // characters would leave a tail that looks like an S3 record of its own.
    Bytes data(250, 0x33);
    for (std::size_t k = 0; k < 120; ++k) {
        data[k] = static_cast<std::uint8_t>(k);
    }
    const std::string longest = S3(kBase, data);
    ASSERT_EQ(longest.size(), 514u);
    const Bytes next = Pattern(32, 0x80);
    const std::string content = Lines({longest, S3(kBase + 250, next)});
    EXPECT_EQ(Load(content), SizeOf(content, 282));
    EXPECT_EQ(Slice(Image(), 0, 250), data);
    EXPECT_EQ(Slice(Image(), 250, 32), next);
}

TEST_P(BothFormsTest, CrLfAndLoneCrReadLikeLf) {
    const std::initializer_list<std::string> records = {
        Record('0', {0, 0}), S3(kBase, Pattern(20, 5)), S3(kBase + 10, Pattern(20, 9)),
        "S70500000000FA"};
    const std::string lf = Join(records, "\n");
    EXPECT_EQ(Load(lf), SizeOf(lf, 30));
    const Bytes expected = Slice(Image(), 0, 30);
    for (const char* end : {"\r\n", "\r"}) {
        const std::string other = Join(records, end);
        std::fill(rom_.begin(), rom_.end(), kUntouched);
        EXPECT_EQ(Load(other), SizeOf(other, 30));
        EXPECT_EQ(Slice(Image(), 0, 30), expected);
    }

    // Damaged records fail alike.
    EXPECT_EQ(Load("S30600C1000012\r\n"), kChecksumInvalid);
    EXPECT_EQ(Load("S30600C1000012\n"), kChecksumInvalid);
    EXPECT_EQ(Load(Lines({S3(kBase, Pattern(8, 0))}) + "S3\r\n"),
              IsFile() ? kFormatInvalid : kChecksumInvalid);
}

INSTANTIATE_TEST_SUITE_P(Reads, BothFormsTest, ::testing::Values(Form::File, Form::Text),
                         [](const ::testing::TestParamInfo<Form>& param) {
                             return param.param == Form::File ? "File" : "Text";
                         });

// ---------------------------------------------------------------------------------------------
// Property: ROM files as other tools write them read back as exactly their image

struct FileShape {
    const char* name;
    std::vector<std::string> lineEnds;  // each line takes one of these at random
    bool lowerCase;
};

void PrintTo(const FileShape& shape, std::ostream* out) {
    *out << shape.name;
}

class RomFileShapeTest : public ReaderTest, public ::testing::WithParamInterface<FileShape> {
  protected:
    struct Generated {
        std::vector<std::string> lines;  // record lines with their line ends
        Bytes image;
        std::uint32_t base;
    };

    Generated Generate(std::mt19937& random) {
        const auto pick = [&](std::size_t low, std::size_t high) {
            return std::uniform_int_distribution<std::size_t>(low, high)(random);
        };
        Generated out;
        out.image.resize(pick(1, 4000));
        for (auto& byte : out.image) {
            byte = static_cast<std::uint8_t>(pick(0, 255));
        }
        out.base = static_cast<std::uint32_t>(pick(1, 0xFFFFFFFFu - out.image.size()));
        for (std::size_t offset = 0; offset < out.image.size();) {
            const std::size_t length = std::min(pick(1, 250), out.image.size() - offset);
            const auto first = out.image.begin() + static_cast<std::ptrdiff_t>(offset);
            std::string line = S3(out.base + static_cast<std::uint32_t>(offset),
                                  Bytes(first, first + static_cast<std::ptrdiff_t>(length)));
            if (GetParam().lowerCase && pick(0, 1) == 1) {
                std::transform(line.begin() + 2, line.end(), line.begin() + 2,
                               [](char c) { return static_cast<char>(std::tolower(c)); });
            }
            const auto& ends = GetParam().lineEnds;
            out.lines.push_back(line + ends[pick(0, ends.size() - 1)]);
            offset += length;
        }
        std::shuffle(out.lines.begin(), out.lines.end(), random);
        return out;
    }

    static std::string Concatenate(const std::vector<std::string>& lines) {
        std::string out = "S00600004844521B\n";
        for (const auto& line : lines) {
            out += line;
        }
        return out + "S9030000FC\n";
    }

    // The read either fails or gives exactly the image; never a different one.
    void ExpectExactOrFailed(const std::string& content, const Generated& file,
                             const std::string& what) {
        const std::int32_t size = LoadFile(content, file.base);
        if (size >= 0) {
            ASSERT_EQ(size, static_cast<std::int32_t>(file.image.size())) << what;
            ASSERT_EQ(Slice(rom_, 0, file.image.size()), file.image) << what;
        }
    }
};

TEST_P(RomFileShapeTest, ReadsExactlyTheImageAndNoCorruptionGivesAnother) {
    std::mt19937 random(0x5EC0 + static_cast<unsigned>(std::string_view(GetParam().name).size()));
    static constexpr std::string_view kReplacements = "0123456789abcdefABCDEFSsGx+- \t\r\n";
    for (int round = 0; round < 20; ++round) {
        const Generated file = Generate(random);
        const std::string content = Concatenate(file.lines);
        ASSERT_EQ(LoadFile(content, file.base), static_cast<std::int32_t>(file.image.size()));
        ASSERT_EQ(Slice(rom_, 0, file.image.size()), file.image);

        for (int damage = 0; damage < 40; ++damage) {
            std::vector<std::string> lines = file.lines;
            std::string& line = lines[random() % lines.size()];
            // Damage that changes a line's type character makes it a record of another type,
            // skipped by design: column 1, and the LF of a CR LF, which would put a character
            // in front of the next line.
            const std::size_t column = 2 + random() % (line.size() - 2);
            const char replacement = kReplacements[random() % kReplacements.size()];
            if (line[column] == replacement || (line[column] == '\n' && line[column - 1] == '\r')) {
                continue;
            }
            line[column] = replacement;
            ExpectExactOrFailed(Concatenate(lines), file,
                                "column " + std::to_string(column) + " of " + line);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RomFileShapeTest,
    ::testing::Values(FileShape{"Lf", {"\n"}, false}, FileShape{"CrLf", {"\r\n"}, true},
                      FileShape{"Cr", {"\r"}, false},
                      FileShape{"MixedWithTrailingBlanks", {"\n", "\r\n", "\r", " \t\n"}, true}),
    [](const ::testing::TestParamInfo<FileShape>& param) { return param.param.name; });

// ---------------------------------------------------------------------------------------------
// Messages

TEST(DemonErrorMessageTest, DemonTexts) {
    const std::pair<std::int32_t, std::string_view> rows[] = {
        {-2, "Demon file checksum invalid (S-record)"},
        {-3, "Demon file address value invalid (S-record)"},
        {-4,
         "Demon file type/base address mismatch (S-record)\n\nClick Settings and make sure they "
         "are correct."},
        {-5,
         "Demon file size mismatch (S-record)\n\nClick Settings and make sure they are correct."},
        {-6, "Demon file format invalid (S-record)"},
        {-7, "Demon file too large (S-record)"},
    };
    for (const auto& [code, text] : rows) {
        EXPECT_EQ(DemonErrorMessage(code), text) << code;
    }
}

TEST(DemonErrorMessageTest, NoTextForOtherCodes) {
    for (std::int32_t code : {1, 0, -1, -8, 5630}) {
        EXPECT_TRUE(DemonErrorMessage(code).empty()) << code;
    }
}

TEST(DemonErrorMessageTest, InvalidBaseAddressText) {
    EXPECT_EQ(kInvalidBaseAddressMessage, "Invalid base address specified.\n\nClick Settings and" +
                                              std::string(13, ' ') +
                                              "make sure correct base address is specified.");
}

}  // namespace
}  // namespace vantrel
