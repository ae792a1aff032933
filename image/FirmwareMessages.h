#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "image/FirmwareFormat.h"

namespace vantrel {

// The window's box text for a refused ROM file: the S-record reader's texts for the faults
// they name, in that style for the rest, and each with the file's format in brackets.
std::string RomRefusalText(const FirmwareRefusal& refusal, std::uint32_t baseAddress);

// The command line's one-line reason: names the file, the line and address where they help,
// the base address and --base where the window says "Click Settings", and the size limit.
std::string RomRefusalLine(const FirmwareRefusal& refusal, std::string_view path,
                           std::uint32_t baseAddress);

// "00C10000": an address as both texts show it.
std::string AddressText(std::uint64_t address);

// How to make an S-record file of a raw binary placed at the base address.
std::string ConvertBinaryCommand(std::uint32_t baseAddress);

}  // namespace vantrel
