#include "image/SRecordReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <optional>

namespace vantrel {
namespace {

constexpr std::uint32_t kUnreadableAddress = 0xFFFFFFFFu;
constexpr std::size_t kCountColumn = 2;
constexpr std::size_t kAddressColumn = 4;
constexpr std::size_t kDataColumn = 12;
constexpr std::size_t kAddressDigits = 8;

// The longest record there is: count FF puts the checksum at columns 512 and 513. Characters of a
// line past this never hold a field, so a fixed buffer of this size reads any record whole.
constexpr std::size_t kMaxRecordChars = kCountColumn + 2 * 0xFF + 2;

using LineStorage = std::array<char, kMaxRecordChars>;

constexpr std::int32_t Code(SRecordError error) {
    return static_cast<std::int32_t>(error);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Exactly `digits` hex digits starting at `column`. Blanks, signs, prefixes or a record that ends
// too early make the field unreadable: a lenient conversion would let a damaged record through.
std::optional<std::uint32_t> ReadHex(std::string_view record, std::size_t column,
                                     std::size_t digits) {
    if (column > record.size() || record.size() - column < digits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int digit = HexDigit(record[column + i]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::uint32_t> ReadByte(std::string_view record, std::size_t column) {
    return ReadHex(record, column, 2);
}

// Column 0 is deliberately not looked at: only the type character decides.
bool IsS3(std::string_view record) {
    return record.size() > 1 && record[1] == '3';
}

// One line of the stream, as far as a record can reach. LF, CR LF and a lone CR each end a line,
// so a file written by any tool reads alike. The rest of a longer line is never handed back as a
// line of its own; whether it held anything but blanks is kept, since that makes an S3 line bad.
struct Line {
    std::string_view text;
    bool droppedText = false;
};

enum class LineRead { Line, End, Error };

bool IsBlank(int c) {
    return c == ' ' || c == '\t';
}

LineRead ReadLine(std::FILE* file, LineStorage& storage, Line& line) {
    std::size_t kept = 0;
    bool readAny = false;
    line.droppedText = false;
    for (;;) {
        const int c = std::getc(file);
        if (c == EOF) {
            // A failing stream must never pass for a complete file.
            if (std::ferror(file)) {
                return LineRead::Error;
            }
            break;
        }
        readAny = true;
        if (c == '\n') {
            break;
        }
        if (c == '\r') {
            const int next = std::getc(file);
            if (next != '\n' && next != EOF) {
                std::ungetc(next, file);
            }
            break;
        }
        if (kept < storage.size()) {
            storage[kept++] = static_cast<char>(c);
        } else if (!IsBlank(c)) {
            line.droppedText = true;
        }
    }
    if (!readAny) {
        return LineRead::End;
    }
    line.text = std::string_view(storage.data(), kept);
    return LineRead::Line;
}

// An S3 line carries one record: past its checksum only blanks may follow. A second record on
// the same line would otherwise be skipped without a word and the unit flashed short. The
// address field of a short record reaches past its checksum and still belongs to it.
bool OnlyBlanksAfterRecord(const Line& line, std::size_t count) {
    const std::size_t end = std::max(kCountColumn + 2 * count + 2, kDataColumn);
    if (line.droppedText) {
        return false;
    }
    for (std::size_t i = end; i < line.text.size(); ++i) {
        if (!IsBlank(line.text[i])) {
            return false;
        }
    }
    return true;
}

// The image's last byte must have a 32-bit address, or the chunk addresses would wrap to 0.
bool FitsAddressSpace(std::uint32_t baseAddress, std::int32_t size) {
    return size <= 0 || std::uint64_t{baseAddress} + static_cast<std::uint64_t>(size) - 1 <=
                            std::uint64_t{0xFFFFFFFFu};
}

// Tests one S3 record and copies its data into the image. Returns 0, or the result that ends the
// read. No byte is written unless the whole record lies inside both the image and the buffer.
std::int32_t PlaceRecord(std::string_view record, std::span<std::uint8_t> buffer,
                         std::uint32_t baseAddress, std::int32_t size) {
    const std::int32_t length = SRecordReader::CheckRecord(record);
    if (length == -1) {
        return Code(SRecordError::ChecksumInvalid);
    }
    const std::uint32_t address = SRecordReader::ParseAddress(record);
    if (address == kUnreadableAddress) {
        return Code(SRecordError::AddressInvalid);
    }
    if (address < baseAddress) {
        return Code(SRecordError::TypeBaseMismatch);
    }
    const auto offset = static_cast<std::int32_t>(address - baseAddress);
    if (offset < 0 || offset > size) {
        return Code(SRecordError::SizeMismatch);
    }
    if (length <= 0) {
        return 0;  // a short record places nothing
    }
    const auto start = static_cast<std::size_t>(offset);
    const std::size_t end = start + static_cast<std::size_t>(length);
    if (end > buffer.size()) {
        return Code(SRecordError::ImageTooLarge);
    }
    // Data past the image size would never be sent, so the firmware would go out incomplete.
    if (end > static_cast<std::size_t>(size)) {
        return Code(SRecordError::SizeMismatch);
    }
    for (std::size_t k = 0; k < end - start; ++k) {
        // Already proven readable by the checksum test.
        buffer[start + k] = static_cast<std::uint8_t>(*ReadByte(record, kDataColumn + 2 * k));
    }
    return 0;
}

constexpr std::size_t kMaxImageSize = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::int32_t SRecordReader::LoadFromFile(std::FILE* file, std::span<std::uint8_t> buffer,
                                         std::uint32_t baseAddress) {
    const std::int32_t size = MeasureFile(file);
    if (size < 0) {
        return Code(SRecordError::FormatInvalid);
    }
    if (static_cast<std::size_t>(size) > buffer.size()) {
        return Code(SRecordError::ImageTooLarge);
    }
    if (!FitsAddressSpace(baseAddress, size)) {
        return Code(SRecordError::SizeMismatch);
    }
    std::fill_n(buffer.begin(), size, std::uint8_t{0xFF});

    std::rewind(file);
    LineStorage storage{};
    Line line;
    for (;;) {
        const LineRead read = ReadLine(file, storage, line);
        if (read == LineRead::Error) {
            return Code(SRecordError::FormatInvalid);
        }
        if (read == LineRead::End) {
            return size;
        }
        if (!IsS3(line.text)) {
            continue;
        }
        if (const std::int32_t result = PlaceRecord(line.text, buffer, baseAddress, size);
            result < 0) {
            return result;
        }
    }
}

std::int32_t SRecordReader::LoadFromText(const char* text, std::span<std::uint8_t> buffer,
                                         std::uint32_t baseAddress) {
    if (text == nullptr) {
        return Code(SRecordError::FormatInvalid);
    }
    const std::string_view all(text);
    if (all.size() > buffer.size() || all.size() > kMaxImageSize) {
        return Code(SRecordError::ImageTooLarge);
    }
    const auto size = static_cast<std::int32_t>(all.size());
    std::fill_n(buffer.begin(), size, std::uint8_t{0xFF});

    std::size_t start = 0;
    while (start < all.size()) {
        // A piece starts with whatever character comes next and runs up to the next upper-case
        // 'S'. It has no length limit, so a long record is never cut into two.
        const std::size_t end = std::min(all.find('S', start + 1), all.size());
        const std::string_view piece = all.substr(start, end - start);
        start = end;
        if (!IsS3(piece)) {
            continue;
        }
        if (const std::int32_t result = PlaceRecord(piece, buffer, baseAddress, size); result < 0) {
            return result;
        }
    }
    return size;
}

std::int32_t SRecordReader::MeasureFile(std::FILE* file) {
    if (file == nullptr) {
        return -1;
    }
    std::rewind(file);
    LineStorage storage{};
    Line line;
    std::int64_t total = 0;
    for (;;) {
        const LineRead read = ReadLine(file, storage, line);
        if (read == LineRead::Error) {
            return -1;
        }
        if (read == LineRead::End) {
            break;
        }
        if (!IsS3(line.text)) {
            continue;
        }
        const auto count = ReadByte(line.text, kCountColumn);
        if (!count || !OnlyBlanksAfterRecord(line, *count)) {
            return -1;
        }
        total += static_cast<std::int64_t>(*count) - 5;
    }
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        total, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t SRecordReader::CheckRecord(std::string_view record) {
    const auto count = ReadByte(record, kCountColumn);
    if (!count) {
        return -1;
    }
    // The count byte, the address bytes and the data bytes: count bytes in all.
    std::uint32_t sum = 0;
    for (std::size_t column = kCountColumn; column <= 2 * std::size_t{*count}; column += 2) {
        const auto byte = ReadByte(record, column);
        if (!byte) {
            return -1;
        }
        sum += *byte;
    }
    const auto checksum = ReadByte(record, kCountColumn + 2 * std::size_t{*count});
    if (!checksum || *checksum != (~sum & 0xFFu)) {
        return -1;
    }
    // A count of 4 gives -1 here too: such a record is bad even with a matching checksum.
    return static_cast<std::int32_t>(*count) - 5;
}

std::uint32_t SRecordReader::ParseAddress(std::string_view record) {
    return ReadHex(record, kAddressColumn, kAddressDigits).value_or(kUnreadableAddress);
}

std::uint32_t SRecordReader::ParseBaseAddress(std::string_view text) {
    // The remembered text is read the way the formatted hex conversion of width 8 reads it:
    // leading blanks, a sign and a 0x prefix are allowed, and the sign and prefix use up width.
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) {
        ++pos;
    }
    std::size_t width = 8;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
        --width;
    }
    if (width >= 2 && text.size() - pos >= 2 && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        pos += 2;
        width -= 2;
    }
    std::uint32_t value = 0;
    for (; width > 0 && pos < text.size(); --width, ++pos) {
        const int digit = HexDigit(text[pos]);
        if (digit < 0) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return negative ? 0u - value : value;
}

std::string_view SRecordErrorMessage(std::int32_t code, ImageSource source) {
    const bool rom = source == ImageSource::Rom;
    switch (code) {
        case Code(SRecordError::ChecksumInvalid):
            return rom ? "ROM file checksum invalid (S-record)"
                       : "Demon file checksum invalid (S-record)";
        case Code(SRecordError::AddressInvalid):
            return rom ? "ROM file address value invalid (S-record)"
                       : "Demon file address value invalid (S-record)";
        case Code(SRecordError::TypeBaseMismatch):
            return rom ? "ROM file type/base address mismatch (S-record)\n\n"
                         "Click Settings and make sure they are correct."
                       : "Demon file type/base address mismatch (S-record)\n\n"
                         "Click Settings and make sure they are correct.";
        case Code(SRecordError::SizeMismatch):
            return rom ? "ROM file size mismatch (S-record)\n\n"
                         "Click Settings and make sure they are correct."
                       : "Demon file size mismatch (S-record)\n\n"
                         "Click Settings and make sure they are correct.";
        case Code(SRecordError::FormatInvalid):
            return rom ? "ROM file format invalid (S-record)"
                       : "Demon file format invalid (S-record)";
        case Code(SRecordError::ImageTooLarge):
            return rom ? "ROM file too large (S-record)" : "Demon file too large (S-record)";
        default:
            return {};
    }
}

}  // namespace vantrel
