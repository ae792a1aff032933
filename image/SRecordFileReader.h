#pragma once

#include "image/FirmwareFormat.h"

namespace vantrel {

// Motorola S-record files as toolchains write them. S1, S2 and S3 records carry data at 16-,
// 24- and 32-bit addresses and are tested alike; S5 and S6 counts are checked; S0, S7, S8 and S9
// are otherwise skipped. Column 0 of a line is not examined: its type character decides. Each
// data line holds one record, followed at most by blanks. LF, CR LF and a lone CR end a line.
class SRecordFileReader : public FirmwareFormatReader {
  public:
    FirmwareFormat Format() const override { return FirmwareFormat::SRecord; }
    // A file with a header (S0) must end with an end record (S7, S8 or S9) or a count record
    // that matches, so a file cut short at a line end is told apart from a complete one.
    std::optional<FirmwareRefusal> Read(std::span<const std::uint8_t> content,
                                        FirmwareRecordSink& sink) const override;
};

}  // namespace vantrel
