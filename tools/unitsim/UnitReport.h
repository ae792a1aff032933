#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/unitsim/UnitOptions.h"

namespace vantrel::sim {

// Where the unit's software is, in the order a download moves it.
enum class UnitState : int {
    Application = 0,
    Monitor = 1,
    DemonRunning = 2,
    Erased = 3,  // the Demon has erased the flash; firmware chunks are taken
};

std::string_view StateName(UnitState state);

// What a unit saw since it was powered up (started or power-cycled).
struct UnitReport {
    std::string name;  // "com1"
    std::string linkPath;
    std::string slavePath;
    std::vector<Fault> faults;

    // The unit's life at its port, in seconds since the bench started; these outlast a power
    // cycle.
    unsigned unit = 1;  // 1 for the first unit plugged at the port, 2 for the next, ...
    double pluggedSeconds = 0;
    std::optional<double> pulledSeconds;
    std::optional<double> finishedSeconds;  // when it first finished (see FinishWatch)

    UnitState state = UnitState::Application;
    bool reachedMonitor = false;
    bool reachedDemon = false;
    bool reachedErased = false;
    bool eraseInProgress = false;
    bool hungUp = false;
    std::uint32_t baud = 9600;  // the speed the unit listens at now
    std::string lastLine;       // settings of the last bytes read, e.g. "9600,O"

    std::uint64_t bytesReceived = 0;  // read from the line
    std::uint64_t bytesHandled = 0;   // of those, the ones the unit has dealt with
    unsigned enquiries = 0;           // enquiries the monitor took
    unsigned demonChunks = 0;         // Demon chunks written into RAM
    unsigned firmwareChunks = 0;      // firmware chunks written into flash
    unsigned erases = 0;
    unsigned acksSent = 0;           // ACK bytes put on the line
    unsigned noiseBytesIgnored = 0;  // bytes that came at line settings the unit did not expect
    unsigned noiseBytesSent = 0;     // rubbish bytes put on the line by the noise fault
    unsigned bytesDropped = 0;       // output nobody read, lost like on a real line

    std::vector<std::string> protocolErrors;  // frames refused, stray bytes
    std::vector<std::string> events;          // stage changes and faults that struck

    std::uint32_t flashBase = 0;
    std::uint32_t flashSize = 0;
    // The whole flash; a unit gone from its port keeps it only up to its highest written byte.
    std::vector<std::uint8_t> flash;
    std::uint64_t flashBytesWritten = 0;  // distinct bytes written since the last erase
    std::optional<std::uint32_t> lowestWritten;
    std::optional<std::uint32_t> highestWritten;

    bool Reached(UnitState s) const;
    // Flash bytes from the lowest to the highest written address; empty when none was written.
    std::span<const std::uint8_t> WrittenRange() const;
};

// The flash's written range as S3 records of 32 bytes and an S7 record. Only the range from the
// lowest to the highest written address goes out (0xFF gaps inside it included), so a file from
// a clean download reads back as the ROM image it came from.
std::string FlashSRecords(const UnitReport& report);
// A short summary without the flash bytes; written_sha256 is the SHA-256 of WrittenRange().
std::string ReportJson(const UnitReport& report);
// A JSON array of the summaries, in order.
std::string ReportsJson(std::span<const UnitReport> reports);

}  // namespace vantrel::sim
