#include "image/IntelHexReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "image/TextLines.h"

namespace vantrel {
namespace {

// Count, two address bytes and type, before the data.
constexpr std::size_t kHeaderBytes = 4;
// The longest record there is: 255 data bytes and the checksum after the header.
constexpr std::size_t kMaxRecordBytes = kHeaderBytes + 0xFF + 1;
// A segment base reaches 64 KiB: the offset wraps inside it.
constexpr std::uint64_t kSegmentSpan = 0x10000;

constexpr std::uint8_t kData = 0x00;
constexpr std::uint8_t kEndOfFile = 0x01;
constexpr std::uint8_t kExtendedSegment = 0x02;
constexpr std::uint8_t kStartSegment = 0x03;
constexpr std::uint8_t kExtendedLinear = 0x04;
constexpr std::uint8_t kStartLinear = 0x05;

struct RecordType {
    std::string_view kind;  // as counted for the file's description
    std::string_view name;
    std::size_t count;  // the data bytes the type carries; data records carry any number
};

constexpr std::array<RecordType, 6> kTypes = {{
    {"00", "data", 0},
    {"01", "end-of-file", 0},
    {"02", "extended segment address", 2},
    {"03", "start segment address", 4},
    {"04", "extended linear address", 2},
    {"05", "start linear address", 4},
}};

std::string Hex2(unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

// One record's bytes, from its count to its checksum.
struct Record {
    std::array<std::uint8_t, kMaxRecordBytes> bytes{};
    std::size_t size = 0;

    std::size_t Count() const { return bytes[0]; }
    std::uint64_t Offset() const { return std::uint64_t{bytes[1]} << 8 | bytes[2]; }
    std::uint8_t Type() const { return bytes[3]; }
    std::span<const std::uint8_t> Data() const {
        return std::span(bytes).subspan(kHeaderBytes, Count());
    }
    std::uint64_t Value() const {  // a base record's two bytes
        return std::uint64_t{bytes[4]} << 8 | bytes[5];
    }
    std::uint8_t Checksum() const { return bytes[size - 1]; }
    // What the checksum must be for the bytes before it.
    std::uint8_t ExpectedChecksum() const {
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < size; ++i) {
            sum += bytes[i];
        }
        return static_cast<std::uint8_t>(-sum);
    }
};

// Reads the record of a line with its blanks trimmed; column is where it starts in the line, so
// a fault is named where the user's editor shows it. Returns what is wrong, or nothing.
std::string Decode(std::string_view text, std::size_t column, Record& record) {
    if (text.front() != ':') {
        return "line does not start with ':'";
    }
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (HexDigitValue(text[i]) < 0) {
            return "character " + std::to_string(column + i + 1) + " is not a hex digit";
        }
    }
    const std::string_view digits = text.substr(1);
    if (digits.size() < 2 * (kHeaderBytes + 1)) {
        return "record is too short";
    }
    const auto count =
        static_cast<std::size_t>(HexDigitValue(digits[0]) << 4 | HexDigitValue(digits[1]));
    if (digits.size() != 2 * (kHeaderBytes + count + 1)) {
        return "byte count " + Hex2(static_cast<unsigned>(count)) +
               " does not match the record's length";
    }
    record.size = digits.size() / 2;
    for (std::size_t i = 0; i < record.size; ++i) {
        record.bytes[i] = static_cast<std::uint8_t>(HexDigitValue(digits[2 * i]) << 4 |
                                                    HexDigitValue(digits[2 * i + 1]));
    }
    return {};
}

// Where the records of a file place their data. The last base record decides.
struct Base {
    std::uint64_t base = 0;
    bool segmented = false;

    std::uint64_t Address(std::uint64_t offset) const { return base + offset; }
};

// Hands a data record to the sink; a record crossing a segment's wrap goes as two pieces.
bool Place(const Record& record, const Base& base, std::size_t line, FirmwareRecordSink& sink) {
    const std::span<const std::uint8_t> data = record.Data();
    const std::uint64_t offset = record.Offset();
    if (data.empty()) {
        return true;
    }
    if (base.segmented && offset + data.size() > kSegmentSpan) {
        const auto first = static_cast<std::size_t>(kSegmentSpan - offset);
        return sink.Data(base.Address(offset), data.first(first), line) &&
               sink.Data(base.Address(0), data.subspan(first), line);
    }
    return sink.Data(base.Address(offset), data, line);
}

FirmwareRefusal Refuse(FirmwareProblem problem, std::size_t line,
                       std::optional<std::uint64_t> address, std::string detail) {
    return {problem, FirmwareFormat::IntelHex, line, address, std::move(detail)};
}

}  // namespace

std::optional<FirmwareRefusal> IntelHexReader::Read(std::span<const std::uint8_t> content,
                                                    FirmwareRecordSink& sink) const {
    TextLines lines(content);
    Base base;
    Record record;
    bool anyRecord = false;
    bool ended = false;  // the last record read was an end-of-file record
    std::size_t lastRecordLine = 0;
    std::string_view line;
    while (lines.Next(line)) {
        const std::size_t number = lines.Number();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) {
            continue;
        }
        const std::size_t last = line.find_last_not_of(" \t");
        if (std::string detail = Decode(line.substr(first, last + 1 - first), first, record);
            !detail.empty()) {
            return Refuse(FirmwareProblem::FormatInvalid, number, std::nullopt, std::move(detail));
        }
        const std::uint8_t type = record.Type();
        const std::optional<std::uint64_t> address =
            type == kData ? std::optional(base.Address(record.Offset())) : std::nullopt;
        if (record.Checksum() != record.ExpectedChecksum()) {
            return Refuse(FirmwareProblem::ChecksumInvalid, number, address,
                          "checksum " + Hex2(record.Checksum()) +
                              " does not match the record (it should be " +
                              Hex2(record.ExpectedChecksum()) + ")");
        }
        if (type >= kTypes.size()) {
            return Refuse(FirmwareProblem::FormatInvalid, number, std::nullopt,
                          "record type " + Hex2(type) + " is not an Intel HEX type");
        }
        const RecordType& kind = kTypes[type];
        if (type != kData && record.Count() != kind.count) {
            return Refuse(FirmwareProblem::FormatInvalid, number, std::nullopt,
                          std::string(kind.name) + " record (" + std::string(kind.kind) +
                              ") must carry " + std::to_string(kind.count) + " bytes, not " +
                              std::to_string(record.Count()));
        }
        anyRecord = true;
        ended = type == kEndOfFile;
        lastRecordLine = number;
        sink.Counted(kind.kind);
        switch (type) {
            case kData:
                if (!Place(record, base, number, sink)) {
                    return std::nullopt;
                }
                break;
            case kEndOfFile:
                // What follows is another file, written from base 0 like any other.
                base = Base{};
                break;
            case kExtendedSegment:
                base = Base{record.Value() * 16, true};
                break;
            case kExtendedLinear:
                base = Base{record.Value() << 16, false};
                break;
            case kStartSegment:
            case kStartLinear:
            default:
                break;  // where the program starts is the unit's business, not the flash's
        }
    }
    if (anyRecord && !ended) {
        return Refuse(FirmwareProblem::Truncated, lastRecordLine, std::nullopt,
                      "no end-of-file record");
    }
    return std::nullopt;
}

}  // namespace vantrel
