#pragma once

#include <chrono>
#include <cstdint>

#include "engine/DownloadHost.h"
#include "engine/LoaderState.h"

namespace vantrel {

// Thrown by finish-run: the run is over and unwinds to the top of the worker.
struct RunFinished {};

// The worker's side of the unit stages: set every active unit's stage, wait for the units to
// acknowledge, drop the ones that did not, and end the run when none is left.
class UnitTracker {
  public:
    // What a wait does with the units that did not answer: a run gives them up; a probe of an
    // empty port only looks, and leaves them selected and their ports open.
    enum class Missing { GiveUp, Keep };

    UnitTracker(LoaderState& state, DownloadHost& host, Missing missing = Missing::GiveUp)
        : state_(state), host_(host), missing_(missing) {}

    // Every selected port gets the stage and its text, while a run is in progress.
    void SetStage(int stage);
    // Only the texts: for a chunk that went out on the UI thread, which set the stages.
    void ShowStage(int stage);
    // Waits until every active unit reached expected, at most interval × tries from now. It
    // looks at every interval and the moment the last unit's ACK is counted, and ends as soon
    // as no unit is pending. The last look, with a unit still behind, first has the host take in
    // what has arrived. Units that did not reach it are reported, deselected and closed; with no
    // unit left the run ends. A look that finds nothing new costs no host call. An armed chunk is
    // taken back before any unit is given up; true when it went out, which it does only once every
    // unit reached expected.
    bool WaitForStage(int expected, std::chrono::milliseconds interval, std::int8_t tries);
    // Ends the run: clears the in-progress flag, closes the selected ports, enables Start, and
    // unwinds to the top of the worker. Start comes last, so that a new run can never have its
    // ports closed by this one.
    [[noreturn]] void FinishRun();

  private:
    LoaderState& state_;
    DownloadHost& host_;
    Missing missing_;
};

}  // namespace vantrel
