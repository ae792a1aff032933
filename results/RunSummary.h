#pragma once

#include <QJsonObject>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "session/BatchTypes.h"

namespace vantrel {

// How a run ended, as a number: the command line exits with it, and the log keeps it for the
// window's runs too.
inline constexpr int kExitAllComplete = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitNothingFlashed = 2;
inline constexpr int kExitInternalError = 3;
inline constexpr int kExitInterrupted = 130;

struct RunSummary {
    std::string romPath;
    std::string baseAddress;
    std::optional<RunOutcome> outcome;  // nothing: the run never started
    bool interrupted = false;
    std::vector<std::string> messages;
    std::vector<UnitResult> units;
    // For the run log.
    std::string runKey;  // names the run's record from its start to its end
    int baud = 0;
    std::chrono::system_clock::time_point startedAt;
    std::chrono::system_clock::time_point finishedAt;
    std::optional<std::string> romSha256;  // of the file's bytes as read for this run
    std::optional<std::int64_t> romFileBytes;
    // Whether a byte went to the units: a run stopped before that flashed nothing.
    bool unitsTouched = false;
    std::string stopText = "interrupted";  // why a stopped run stopped

    int ExitCode() const;
    // Whether the run reached the units at all.
    bool Flashed() const {
        return outcome && *outcome != RunOutcome::ImageError &&
               !(*outcome == RunOutcome::Stopped && !unitsTouched);
    }
    std::string Text() const;
    QJsonObject JsonObject() const;
    // The object as indented JSON text, with more members (the tally) added.
    std::string Json(const QJsonObject& extraMembers = {}) const;
};

// A summary as a batch begins: a new key, the time, the file named, the base address, the line
// speed and each unit with its device, none complete yet.
RunSummary BeginRunSummary(const BatchRequest& request,
                           const std::vector<std::pair<int, std::string>>& units);
// The batch's result taken in: its outcome, the file's digest and each unit as the run and the
// session told it, and the time it ended.
void TakeResult(RunSummary& summary, const BatchResult& result);

// "COM3–COM9, COM12": ports in number order, runs of three or more as a range.
std::string PortRanges(std::vector<int> ports);
// What failed beyond the unit, without its device's path, which the summary leaves to the
// log and the tooltips: "line lost: Input/output error", "device gone".
std::string CauseWithoutDevice(const UnitResult& unit);
// The failed units, one line per text they failed with: "COM5, COM12: Force2Mon Failed...".
std::vector<std::string> FailureLines(const RunSummary& summary);

// "COM2  /dev/ttyUSB1              FAILED   Force2Mon Failed... (device gone)": a unit's line
// of a summary.
std::string UnitLine(const UnitResult& unit);
// A unit of a summary as JSON: port, device, status, complete, result and cause.
QJsonObject UnitJson(const RunSummary& summary, const UnitResult& unit);

// Passed, failed, or not flashed for a run that never reached the units.
std::string UnitResultName(const RunSummary& summary, const UnitResult& unit);
// "completed", "image-error", "all-units-failed", "stopped", "internal-error" or "not-started".
std::string OutcomeName(const std::optional<RunOutcome>& outcome);
// Passed units over all units counted, in percent; nothing without a unit.
std::optional<double> YieldPercent(std::int64_t passed, std::int64_t failed);
// "66.7": how the summaries show a share or a time; in JSON, the number rounded alike.
std::string OneDecimal(double value);
// A column of a text table: the text filled with blanks to the width on its right (left
// aligned) or left; a longer text is shown whole.
std::string LeftAligned(const std::string& text, std::size_t width);
std::string RightAligned(const std::string& text, std::size_t width);
double RoundedToOneDecimal(double value);

}  // namespace vantrel
