#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/FirmwareFormat.h"

namespace vantrel::testing {

// One data record as a reader handed it over.
struct Piece {
    std::uint64_t address;
    std::vector<std::uint8_t> bytes;
    std::size_t line;
    bool operator==(const Piece&) const = default;
};

// Keeps what a format reader hands over; may ask it to stop.
struct RecordingSink : FirmwareRecordSink {
    bool Data(std::uint64_t address, std::span<const std::uint8_t> bytes,
              std::size_t line) override {
        pieces.push_back({address, {bytes.begin(), bytes.end()}, line});
        return pieces.size() != stopAfter;
    }
    void Counted(std::string_view kind) override { kinds.emplace_back(kind); }
    std::vector<Piece> pieces;
    std::vector<std::string> kinds;
    std::size_t stopAfter = 0;  // the piece after which Data says stop; 0 never
};

}  // namespace vantrel::testing
