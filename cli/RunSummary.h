#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/DownloadWorker.h"

namespace vantrel::cli {

inline constexpr int kExitAllComplete = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitNothingFlashed = 2;
inline constexpr int kExitInternalError = 3;
inline constexpr int kExitInterrupted = 130;

struct UnitResult {
    int port = 0;
    std::string device;
    std::string status;  // the text the unit's status ended with
    bool complete = false;
};

struct RunSummary {
    std::string romPath;
    std::string baseAddress;
    std::optional<RunOutcome> outcome;  // nothing: the run never started
    bool interrupted = false;
    std::vector<std::string> messages;
    std::vector<UnitResult> units;

    int ExitCode() const;
    std::string Text() const;
    std::string Json() const;
};

// "completed", "image-error", "all-units-failed", "stopped", "internal-error" or "not-started".
std::string OutcomeName(const std::optional<RunOutcome>& outcome);
std::string JsonString(const std::string& text);

}  // namespace vantrel::cli
