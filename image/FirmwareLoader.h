#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "image/FirmwareFormat.h"

namespace vantrel {

// A run of image bytes, by their offset from the base address.
struct ImageRange {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// What a firmware file puts into a unit. The image itself is in the buffer given to the load.
struct FirmwareLayout {
    FirmwareFormat format = FirmwareFormat::Unknown;
    std::uint32_t baseAddress = 0;
    // From the base address to the end of the highest data byte: what is flashed.
    std::size_t size = 0;
    std::size_t dataBytes = 0;         // image bytes some record covers
    std::vector<ImageRange> gaps;      // covered by no record: sent as 0xFF, as erased flash
    std::vector<ImageRange> overlaps;  // written by more than one record: the later one wins
    std::vector<std::pair<std::string, std::size_t>> recordCounts;  // by kind, first seen first
};

using FirmwareLoad = std::variant<FirmwareLayout, FirmwareRefusal>;

// The one rule for whether a file would flash, used by every run and by inspection. Reads the
// content of a firmware file of any known format into the buffer as the image that goes to the
// units at the base address. On a refusal the buffer is untouched; bytes past the image are
// never touched.
FirmwareLoad LoadFirmware(std::span<const std::uint8_t> content, std::uint32_t baseAddress,
                          std::span<std::uint8_t> buffer);

// What the content is, by its first bytes; Unknown for anything no reader takes.
FirmwareFormat DetectFormat(std::span<const std::uint8_t> content);

// Files larger than this are refused unread: no firmware file for a 640 KiB unit comes close,
// even an ELF with its debug sections.
inline constexpr std::size_t kMaxFirmwareFileBytes = 64u << 20;

// A firmware file's bytes, or why they could not be read.
using FirmwareContent = std::variant<std::vector<std::uint8_t>, FirmwareRefusal>;

// The whole content of an open stream, read once from its start. A missing stream, a read error
// or a file past kMaxFirmwareFileBytes is a refusal.
FirmwareContent ReadFirmwareContent(std::FILE* file);

}  // namespace vantrel
