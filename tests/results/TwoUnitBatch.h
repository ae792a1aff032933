#pragma once

// A batch of two units, the second failed at the erase with its line lost: what the tests of a
// batch's summary, tally and record start from.
#include <chrono>
#include <optional>

#include "results/RunSummary.h"

namespace vantrel::testing {

inline RunSummary Batch(std::optional<RunOutcome> outcome, bool secondComplete) {
    RunSummary run;
    run.outcome = outcome;
    run.units = {{1, "/dev/ttyUSB0", "FW Load Complete", outcome == RunOutcome::Completed},
                 {2, "/dev/ttyUSB1", secondComplete ? "FW Load Complete" : "Erase Failed...",
                  secondComplete && outcome == RunOutcome::Completed}};
    run.units[1].endStage = 8;  // Erase Failed...
    run.units[1].cause = "line lost: Input/output error: /dev/ttyUSB1";
    run.units[0].durationMs = 900;
    run.units[1].durationMs = 400;
    run.finishedAt = run.startedAt + std::chrono::milliseconds(1500);
    return run;
}

}  // namespace vantrel::testing
