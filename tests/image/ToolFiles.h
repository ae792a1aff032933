#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/FirmwareFormat.h"

namespace vantrel::testing {

// A firmware file written by a real tool (binutils, srec_cat, a cross linker), and what Vantrel
// must make of it: exactly this image from the base address, or this refusal.
struct ToolFile {
    std::string name;
    std::filesystem::path path;
    std::uint32_t base = 0;
    std::vector<std::uint8_t> image;  // empty when refused
    std::optional<FirmwareProblem> refusal;
};

// Writes every file into dir with the tools; the first error of a tool fails with its command.
// The tools are objcopy, srec_cat and m68k-linux-gnu-as/ld/objcopy.
std::vector<ToolFile> MakeToolFiles(const std::filesystem::path& dir);

}  // namespace vantrel::testing
