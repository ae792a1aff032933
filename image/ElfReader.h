#pragma once

#include "image/FirmwareFormat.h"

namespace vantrel {

// Linked ELF programs, 32- or 64-bit, of either byte order. The file bytes of each loadable
// segment (PT_LOAD) go to the sink at the segment's physical address, in program header order,
// as objcopy places them; the zero-filled rest of a segment (bss) is not sent. Sections are not
// looked at. Segments are numbered from 1 in program header order in refusals.
class ElfReader : public FirmwareFormatReader {
  public:
    FirmwareFormat Format() const override { return FirmwareFormat::Elf; }
    // An object file (no program headers) is refused; a program without a loadable byte hands
    // over nothing. Data records carry line 0: an ELF file has no lines.
    std::optional<FirmwareRefusal> Read(std::span<const std::uint8_t> content,
                                        FirmwareRecordSink& sink) const override;
};

}  // namespace vantrel
