#include "image/ElfReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace vantrel {
namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {0x7F, 'E', 'L', 'F'};
constexpr std::size_t kClassAt = 4;
constexpr std::size_t kDataAt = 5;
constexpr std::size_t kIdentVersionAt = 6;
constexpr std::uint8_t kClass32 = 1;
constexpr std::uint8_t kClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::uint8_t kBigEndian = 2;
constexpr std::uint64_t kCurrentVersion = 1;
constexpr std::uint64_t kLoadable = 1;
// Past this count the real one lives in the first section header; no firmware needs that many.
constexpr std::uint64_t kExtendedCount = 0xFFFF;

// Where a class keeps the fields the reader needs: offsets into the ELF header and into one
// program header, and their sizes.
struct Layout {
    std::size_t headerSize;
    std::size_t wordSize;  // addresses and file offsets
    std::size_t versionAt;
    std::size_t phoffAt;
    std::size_t phentsizeAt;
    std::size_t phnumAt;
    std::size_t entrySize;
    std::size_t offsetAt;
    std::size_t paddrAt;
    std::size_t fileszAt;
};

constexpr Layout kElf32 = {52, 4, 20, 28, 42, 44, 32, 4, 12, 16};
constexpr Layout kElf64 = {64, 8, 20, 32, 54, 56, 56, 8, 24, 32};

// Reads fields in the file's own byte order. Callers keep every field inside the bytes.
class Fields {
  public:
    Fields(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    std::uint64_t Read(std::uint64_t at, std::size_t size) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t index =
                static_cast<std::size_t>(at) + (bigEndian_ ? i : size - 1 - i);
            value = value << 8 | bytes_[index];
        }
        return value;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
};

FirmwareRefusal Refuse(FirmwareProblem problem, std::string detail,
                       std::optional<std::uint64_t> address = std::nullopt) {
    return {problem, FirmwareFormat::Elf, 0, address, std::move(detail)};
}

// The identification bytes the file has; a short file is judged on what it holds.
std::optional<FirmwareRefusal> CheckIdent(std::span<const std::uint8_t> content) {
    const std::size_t known = std::min(content.size(), kMagic.size());
    if (!std::equal(kMagic.begin(), kMagic.begin() + static_cast<std::ptrdiff_t>(known),
                    content.begin())) {
        return Refuse(FirmwareProblem::FormatInvalid, "not an ELF file");
    }
    if (content.size() > kClassAt && content[kClassAt] != kClass32 &&
        content[kClassAt] != kClass64) {
        return Refuse(
            FirmwareProblem::FormatInvalid,
            "ELF class " + std::to_string(content[kClassAt]) + " is neither 32- nor 64-bit");
    }
    if (content.size() > kDataAt && content[kDataAt] != kLittleEndian &&
        content[kDataAt] != kBigEndian) {
        return Refuse(FirmwareProblem::FormatInvalid, "ELF byte order " +
                                                          std::to_string(content[kDataAt]) +
                                                          " is neither little- nor big-endian");
    }
    if (content.size() > kIdentVersionAt && content[kIdentVersionAt] != kCurrentVersion) {
        return Refuse(FirmwareProblem::FormatInvalid,
                      "ELF version " + std::to_string(content[kIdentVersionAt]) + " is not 1");
    }
    return std::nullopt;
}

}  // namespace

std::optional<FirmwareRefusal> ElfReader::Read(std::span<const std::uint8_t> content,
                                               FirmwareRecordSink& sink) const {
    if (auto refusal = CheckIdent(content)) {
        return refusal;
    }
    const Layout& layout =
        content.size() > kClassAt && content[kClassAt] == kClass64 ? kElf64 : kElf32;
    if (content.size() < layout.headerSize) {
        return Refuse(FirmwareProblem::Truncated, "file ends inside the ELF header");
    }
    const Fields fields(content, content[kDataAt] == kBigEndian);
    if (const std::uint64_t version = fields.Read(layout.versionAt, 4);
        version != kCurrentVersion) {
        return Refuse(FirmwareProblem::FormatInvalid,
                      "ELF version " + std::to_string(version) + " is not 1");
    }
    const std::uint64_t phoff = fields.Read(layout.phoffAt, layout.wordSize);
    const std::uint64_t phentsize = fields.Read(layout.phentsizeAt, 2);
    const std::uint64_t phnum = fields.Read(layout.phnumAt, 2);
    if (phnum == 0) {
        return Refuse(FirmwareProblem::FormatInvalid,
                      "no program headers: an object file, not a linked program");
    }
    if (phnum == kExtendedCount) {
        return Refuse(FirmwareProblem::FormatInvalid, "too many program headers");
    }
    if (phentsize < layout.entrySize) {
        return Refuse(FirmwareProblem::FormatInvalid, "program header size " +
                                                          std::to_string(phentsize) + " is below " +
                                                          std::to_string(layout.entrySize));
    }
    const std::uint64_t size = content.size();
    // Both factors fit 16 bits, so the table's size cannot overflow.
    if (phoff > size || size - phoff < phentsize * phnum) {
        return Refuse(FirmwareProblem::Truncated,
                      "program header table runs past the end of the file");
    }
    for (std::uint64_t i = 0; i < phnum; ++i) {
        const std::uint64_t entry = phoff + i * phentsize;
        if (fields.Read(entry, 4) != kLoadable) {
            continue;
        }
        sink.Counted("PT_LOAD");
        const std::uint64_t offset = fields.Read(entry + layout.offsetAt, layout.wordSize);
        const std::uint64_t paddr = fields.Read(entry + layout.paddrAt, layout.wordSize);
        const std::uint64_t filesz = fields.Read(entry + layout.fileszAt, layout.wordSize);
        if (filesz == 0) {
            continue;  // all bss: nothing the flash has to hold
        }
        if (offset > size || filesz > size - offset) {
            return Refuse(FirmwareProblem::Truncated,
                          "segment " + std::to_string(i + 1) + " runs past the end of the file",
                          paddr);
        }
        // The load address, not the run address: initialised data is copied to RAM from there.
        if (!sink.Data(
                paddr,
                content.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(filesz)),
                0)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace vantrel
