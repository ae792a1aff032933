#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// One unit of a run, as the store keeps it. Empty optionals are stored as NULL.
struct UnitRecord {
    std::string comPort;  // "COM3"
    std::string device;
    std::optional<std::string> byIdPath;
    std::optional<std::string> usbSerial;
    std::string result;                // one of the results below
    std::optional<std::string> cause;  // why it failed where known: "line lost", ...
    std::optional<int> failedStage;
    std::optional<std::string> failedText;
    std::optional<std::int64_t> durationMs;
};

// One run: what was flashed, where, by whom, and how it ended. Times are UTC ISO 8601.
struct RunRecord {
    // Names the run for as long as it is written: first while it runs, then when it ended.
    std::string key;
    std::string startedAt;
    std::string finishedAt;
    std::string station;
    std::string operatorName;
    std::string toolVersion;
    std::string romPath;
    std::optional<std::string> romSha256;  // nothing when the file could not be read
    std::optional<std::int64_t> romBytes;
    std::string baseAddress;
    int baud = 0;
    std::string outcome;  // "running" until the run's end is written
    int exitCode = 0;
    std::vector<UnitRecord> units;
    // The process that writes it: a run left running is interrupted only once it is gone.
    std::string host;
    std::optional<std::int64_t> pid;
};

// A unit's result once its run ended; a unit its run never reached was not flashed.
inline constexpr const char* kPassedResult = "passed";
inline constexpr const char* kFailedResult = "failed";
inline constexpr const char* kNotFlashedResult = "not-flashed";

// Outcome and unit result of a run written before its first byte went to a unit.
inline constexpr const char* kRunningOutcome = "running";
inline constexpr const char* kInterruptedOutcome = "interrupted";
inline constexpr const char* kUnknownResult = "unknown";

// A run whose end was never written: the process was killed or the machine lost power.
struct InterruptedRun {
    std::int64_t id = 0;
    std::string startedAt;
    std::string station;
    std::vector<std::string> comPorts;
    std::optional<std::string> host;  // of the process that wrote it; none in older logs
    std::optional<std::int64_t> pid;
};

// How often units of one station and port ended one way: a row of the store's report.
struct UnitCount {
    std::string station;
    std::string comPort;
    std::string result;
    std::optional<std::string> failedText;
    std::int64_t count = 0;
};

// Units of finished runs of one station that started in one hour, by how they ended.
struct HourCount {
    std::string station;
    std::string hour;  // UTC, "2026-12-07T14"
    std::int64_t passed = 0;
    std::int64_t failed = 0;
};

}  // namespace vantrel
