#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantrel {

// Negative results of the reader.
enum class SRecordError : std::int32_t {
    ChecksumInvalid = -2,
    AddressInvalid = -3,
    TypeBaseMismatch = -4,
    SizeMismatch = -5,
    FormatInvalid = -6,
    ImageTooLarge = -7,
};

// Reads the Demon's S-record text into a flat image, and the record and base-address fields both
// it and the ROM files use. Only S3 records are placed; every other record is skipped untested.
// Stateless; never allocates, never writes outside the buffer. ROM files are read by
// LoadFirmware.
class SRecordReader {
  public:
    // Returns the text's length in characters, or an SRecordError. A null text is FormatInvalid.
    static std::int32_t LoadFromText(const char* text, std::span<std::uint8_t> buffer,
                                     std::uint32_t baseAddress);
    // Whether the checksum byte after `count` bytes is the ones' complement of their sum; the
    // count byte itself is the first of them. Any record type.
    static bool ChecksumMatches(std::string_view record, std::uint32_t count);
    // count - 5 of a good record, or -1.
    static std::int32_t CheckRecord(std::string_view record);
    // The 32-bit address field, or 0xFFFFFFFF when it cannot be read.
    static std::uint32_t ParseAddress(std::string_view record);
    // The remembered base-address text read as up to eight hex digits; 0 means invalid.
    static std::uint32_t ParseBaseAddress(std::string_view text);
};

// The message shown for a negative result of reading the Demon. Empty for a non-negative or
// unknown code. A refused ROM file is told by RomRefusalText.
std::string_view DemonErrorMessage(std::int32_t code);

inline constexpr std::string_view kInvalidBaseAddressMessage =
    "Invalid base address specified.\n\nClick Settings and             make sure correct base "
    "address is specified.";

}  // namespace vantrel
