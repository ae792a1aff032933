#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

// The kinds of firmware file Vantrel reads, told apart by their content, never by their name.
enum class FirmwareFormat { Unknown, SRecord, IntelHex, Elf };

// Why a firmware file is refused. The first six mirror the S-record reader's codes.
enum class FirmwareProblem {
    ChecksumInvalid,   // a record's checksum does not match its bytes
    AddressInvalid,    // a record's address field cannot be read
    BelowBase,         // a record lies below the base address
    PastAddressSpace,  // the image would end above address FFFFFFFF
    FormatInvalid,     // a record or header is malformed, or the file cannot be read
    TooLarge,          // the image spans more than the unit's 640 KiB
    NoData,            // not one data byte: flashing it would only erase the units
    Truncated,         // the file ends before its format says it does
    NotFirmware,       // text of no known firmware format
    RawBinary,         // bytes of no known format: a binary image wants its address first
};

// One refusal, with what helps to find the fault. Line numbers count from 1; 0 means none.
struct FirmwareRefusal {
    FirmwareProblem problem = FirmwareProblem::FormatInvalid;
    FirmwareFormat format = FirmwareFormat::Unknown;
    std::size_t line = 0;
    std::optional<std::uint64_t> address;  // the record's or segment's first address
    std::string detail;  // a short phrase in plain words: what was wrong, or what the file is
};

// Receives a file's records in file order, as a format reader finds them.
class FirmwareRecordSink {
  public:
    virtual ~FirmwareRecordSink() = default;
    // A record that carries firmware: its bytes belong at address onwards. The bytes are valid
    // only during the call. False stops the read; the reader then returns nothing more.
    virtual bool Data(std::uint64_t address, std::span<const std::uint8_t> bytes,
                      std::size_t line) = 0;
    // Every record the reader meets, data or not, by its name in its format ("S3", "04",
    // "PT_LOAD"), for the file's description.
    virtual void Counted(std::string_view kind) { (void)kind; }
};

// Reads one firmware format. Stateless; never writes outside what it is given.
class FirmwareFormatReader {
  public:
    virtual ~FirmwareFormatReader() = default;
    virtual FirmwareFormat Format() const = 0;
    // Hands every data record of the content to the sink. Nothing when the whole file was read
    // and its format says it is complete; otherwise why it is refused.
    virtual std::optional<FirmwareRefusal> Read(std::span<const std::uint8_t> content,
                                                FirmwareRecordSink& sink) const = 0;
};

// How the file and its refusals are named to the user: "S-record", "Intel HEX", "ELF".
std::string_view FormatName(FirmwareFormat format);

}  // namespace vantrel
