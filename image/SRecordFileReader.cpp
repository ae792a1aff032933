#include "image/SRecordFileReader.h"

#include <algorithm>
#include <array>

#include "image/SRecordReader.h"
#include "image/TextLines.h"

namespace vantrel {
namespace {

constexpr std::size_t kCountColumn = 2;
constexpr std::size_t kAddressColumn = 4;

// A record line carries one record: past its checksum only blanks may follow, or a second
// record on the line would be skipped without a word. The address field of a short record
// reaches past its checksum and still belongs to it.
bool OnlyBlanksAfterRecord(std::string_view line, std::uint32_t count, std::size_t addressBytes) {
    const std::size_t end =
        std::max(kCountColumn + 2 * std::size_t{count} + 2, kAddressColumn + 2 * addressBytes);
    return end >= line.size() || std::all_of(line.begin() + static_cast<std::ptrdiff_t>(end),
                                             line.end(), [](char c) { return IsBlank(c); });
}

std::size_t AddressBytes(char type) {
    return static_cast<std::size_t>(type - '1') + 2;  // S1: 2, S2: 3, S3: 4
}

class Reading {
  public:
    explicit Reading(FirmwareRecordSink& sink) : sink_(sink) {}

    // Nothing when the line is fine; stopped_ is set when the sink asked to stop.
    std::optional<FirmwareRefusal> Line(std::string_view line, std::size_t number) {
        lastLine_ = number;
        if (line.size() < 2) {
            return std::nullopt;
        }
        const char type = line[1];
        switch (type) {
            case '1':
            case '2':
            case '3':
                return DataRecord(line, number, type);
            case '0':
                sink_.Counted("S0");
                sawHeader_ = true;
                lastWasEnd_ = false;
                dataRecords_ = 0;
                return std::nullopt;
            case '5':
            case '6':
                return CountRecord(line, number, type);
            case '7':
            case '8':
            case '9':
                sink_.Counted(type == '7' ? "S7" : type == '8' ? "S8" : "S9");
                lastWasEnd_ = true;
                return std::nullopt;
            default:
                return std::nullopt;
        }
    }

    std::optional<FirmwareRefusal> End() const {
        if (sawHeader_ && !lastWasEnd_) {
            return Refuse(FirmwareProblem::Truncated, lastLine_,
                          "no end or count record (S5 to S9) after the last data record");
        }
        return std::nullopt;
    }

    bool Stopped() const { return stopped_; }

  private:
    static FirmwareRefusal Refuse(FirmwareProblem problem, std::size_t line, std::string detail,
                                  std::optional<std::uint64_t> address = std::nullopt) {
        return {problem, FirmwareFormat::SRecord, line, address, std::move(detail)};
    }

    std::optional<FirmwareRefusal> DataRecord(std::string_view line, std::size_t number,
                                              char type) {
        static constexpr std::array<std::string_view, 3> kNames = {"S1", "S2", "S3"};
        const std::size_t addressBytes = AddressBytes(type);
        const auto count = ReadHexField(line, kCountColumn, 2);
        if (!count) {
            return Refuse(FirmwareProblem::FormatInvalid, number, "the record count is unreadable");
        }
        if (!OnlyBlanksAfterRecord(line, *count, addressBytes)) {
            return Refuse(FirmwareProblem::FormatInvalid, number,
                          "text follows the record on its line");
        }
        const auto length =
            static_cast<std::int64_t>(*count) - static_cast<std::int64_t>(addressBytes) - 1;
        // A count that leaves no room for the checksum is bad even if the checksum matches.
        if (length == -1 || !SRecordReader::ChecksumMatches(line, *count)) {
            return Refuse(FirmwareProblem::ChecksumInvalid, number, "checksum does not match");
        }
        const auto address = ReadHexField(line, kAddressColumn, 2 * addressBytes);
        // All ones is how an S3 address reads when it cannot be read: never a real record.
        if (!address || (addressBytes == 4 && *address == 0xFFFFFFFFu)) {
            return Refuse(FirmwareProblem::AddressInvalid, number, "the address is unreadable");
        }
        std::array<std::uint8_t, 255> data{};
        const std::size_t dataLength = length > 0 ? static_cast<std::size_t>(length) : 0;
        const std::size_t dataColumn = kAddressColumn + 2 * addressBytes;
        for (std::size_t k = 0; k < dataLength; ++k) {
            // Already proven readable by the checksum test.
            data[k] = static_cast<std::uint8_t>(*ReadHexField(line, dataColumn + 2 * k, 2));
        }
        sink_.Counted(kNames[addressBytes - 2]);
        ++dataRecords_;
        lastWasEnd_ = false;
        if (!sink_.Data(*address, std::span(data.data(), dataLength), number)) {
            stopped_ = true;
        }
        return std::nullopt;
    }

    // S5 and S6 count the data records since the header: a file cut short at a line end
    // shows up as a count that disagrees.
    std::optional<FirmwareRefusal> CountRecord(std::string_view line, std::size_t number,
                                               char type) {
        const std::size_t fieldBytes = type == '5' ? 2 : 3;
        const auto count = ReadHexField(line, kCountColumn, 2);
        if (!count || *count != fieldBytes + 1 || !SRecordReader::ChecksumMatches(line, *count)) {
            return Refuse(FirmwareProblem::ChecksumInvalid, number,
                          "the record count record is damaged");
        }
        sink_.Counted(type == '5' ? "S5" : "S6");
        const std::uint32_t said = *ReadHexField(line, kAddressColumn, 2 * fieldBytes);
        if (said != dataRecords_) {
            return Refuse(FirmwareProblem::Truncated, number,
                          "the file says it has " + std::to_string(said) +
                              " data records but has " + std::to_string(dataRecords_));
        }
        // A count that matches closes the file as an end record does.
        lastWasEnd_ = true;
        return std::nullopt;
    }

    FirmwareRecordSink& sink_;
    bool sawHeader_ = false;
    bool lastWasEnd_ = false;
    bool stopped_ = false;
    std::uint32_t dataRecords_ = 0;
    std::size_t lastLine_ = 0;
};

}  // namespace

std::optional<FirmwareRefusal> SRecordFileReader::Read(std::span<const std::uint8_t> content,
                                                       FirmwareRecordSink& sink) const {
    Reading reading(sink);
    TextLines lines(content);
    std::string_view line;
    while (lines.Next(line)) {
        if (auto refusal = reading.Line(line, lines.Number())) {
            return refusal;
        }
        if (reading.Stopped()) {
            return std::nullopt;
        }
    }
    return reading.End();
}

}  // namespace vantrel
