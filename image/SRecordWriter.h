#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vantrel {

// Writes bytes as S3 records (32 data bytes each) followed by an S7 record, one per line.
// Used for sample ROM files and for the unit simulator's flash dumps.
std::string FormatS3Records(std::span<const std::uint8_t> bytes, std::uint32_t address,
                            std::size_t bytesPerRecord = 32);
// One S3 record with the given address and data (at most 250 data bytes), without a line break.
std::string FormatS3Record(std::uint32_t address, std::span<const std::uint8_t> data);

}  // namespace vantrel
