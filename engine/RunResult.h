#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

enum class RunOutcome {
    Completed,       // every command was sent; the surviving units are complete
    ImageError,      // the run was refused before it began: nothing was sent
    AllUnitsFailed,  // every unit failed one wait
    Stopped,         // the run was asked to stop and left its host alone from then on
    InternalError,   // something unexpected ended the run; reported, ports closed, Start enabled
};

// How one unit's part in a run ended, as the run saw it.
struct UnitRun {
    int port = 0;
    int stage = 0;                                  // where it stood when the run ended
    std::optional<int> failedStage = std::nullopt;  // the stage it failed to reach at a wait
    std::string text = {};                          // the status text it was given last
    bool complete = false;  // at "FW Load Complete", still selected, in a completed run
    // When it was given its last text, on the run's clock.
    std::chrono::steady_clock::time_point lastText{};
};

// What a run returns: how it ended and each unit that took part (the ports selected when it
// began, in port order).
struct RunResult {
    RunOutcome outcome = RunOutcome::AllUnitsFailed;
    bool bytesSent = false;  // a byte went to the units: a stop before that flashed nothing
    std::chrono::steady_clock::time_point started{};
    std::vector<UnitRun> units;
};

}  // namespace vantrel
