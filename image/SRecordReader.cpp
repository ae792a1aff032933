#include "image/SRecordReader.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>

#include "image/TextLines.h"

namespace vantrel {
namespace {

constexpr std::uint32_t kUnreadableAddress = 0xFFFFFFFFu;
constexpr std::size_t kCountColumn = 2;
constexpr std::size_t kAddressColumn = 4;
constexpr std::size_t kDataColumn = 12;
constexpr std::size_t kAddressDigits = 8;

constexpr std::int32_t Code(SRecordError error) {
    return static_cast<std::int32_t>(error);
}

std::optional<std::uint32_t> ReadByte(std::string_view record, std::size_t column) {
    return ReadHexField(record, column, 2);
}

// Column 0 is deliberately not looked at: only the type character decides.
bool IsS3(std::string_view record) {
    return record.size() > 1 && record[1] == '3';
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

bool SRecordReader::ChecksumMatches(std::string_view record, std::uint32_t count) {
    // The count byte, the address bytes and the data bytes: count bytes in all.
    std::uint32_t sum = 0;
    for (std::size_t column = kCountColumn; column <= 2 * std::size_t{count}; column += 2) {
        const auto byte = ReadByte(record, column);
        if (!byte) {
            return false;
        }
        sum += *byte;
    }
    const auto checksum = ReadByte(record, kCountColumn + 2 * std::size_t{count});
    return checksum && *checksum == (~sum & 0xFFu);
}

std::int32_t SRecordReader::CheckRecord(std::string_view record) {
    const auto count = ReadByte(record, kCountColumn);
    if (!count || !ChecksumMatches(record, *count)) {
        return -1;
    }
    // A count of 4 gives -1 here too: such a record is bad even with a matching checksum.
    return static_cast<std::int32_t>(*count) - 5;
}

std::uint32_t SRecordReader::ParseAddress(std::string_view record) {
    return ReadHexField(record, kAddressColumn, kAddressDigits).value_or(kUnreadableAddress);
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
        const int digit = HexDigitValue(text[pos]);
        if (digit < 0) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return negative ? 0u - value : value;
}

std::string_view DemonErrorMessage(std::int32_t code) {
    switch (code) {
        case Code(SRecordError::ChecksumInvalid):
            return "Demon file checksum invalid (S-record)";
        case Code(SRecordError::AddressInvalid):
            return "Demon file address value invalid (S-record)";
        case Code(SRecordError::TypeBaseMismatch):
            return "Demon file type/base address mismatch (S-record)\n\n"
                   "Click Settings and make sure they are correct.";
        case Code(SRecordError::SizeMismatch):
            return "Demon file size mismatch (S-record)\n\n"
                   "Click Settings and make sure they are correct.";
        case Code(SRecordError::FormatInvalid):
            return "Demon file format invalid (S-record)";
        case Code(SRecordError::ImageTooLarge):
            return "Demon file too large (S-record)";
        default:
            return {};
    }
}

}  // namespace vantrel
