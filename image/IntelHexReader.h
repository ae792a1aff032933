#pragma once

#include "image/FirmwareFormat.h"

namespace vantrel {

// Intel HEX files as toolchains write them: one record per line, upper- or lower-case digits,
// blanks and tabs allowed around a record. LF, CR LF and a lone CR end a line.
// Data records (00) are placed by the last extended segment (02) or extended linear (04) address
// record; start address records (03, 05) are checked and otherwise skipped. Under a segment base
// the offset wraps at 64 KiB, so a record crossing the wrap reaches the sink as two pieces.
class IntelHexReader : public FirmwareFormatReader {
  public:
    FirmwareFormat Format() const override { return FirmwareFormat::IntelHex; }
    // The last record must be an end-of-file record (01), so a file cut short at a line end is
    // told apart from a complete one. Records after an earlier end-of-file record are read as a
    // further file, from base 0 again. Content without any record hands over nothing.
    std::optional<FirmwareRefusal> Read(std::span<const std::uint8_t> content,
                                        FirmwareRecordSink& sink) const override;
};

}  // namespace vantrel
