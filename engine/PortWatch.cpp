#include "engine/PortWatch.h"

#include <exception>

#include "engine/DownloadSequence.h"
#include "engine/DownloadWorker.h"
#include "engine/QuietHost.h"

namespace vantrel {

void PortWatch::Run() noexcept {
    for (;;) {
        try {
            Step();
        } catch (const RunStopped&) {
            state_.SetInProgress(false);  // a probe may have been under way
            return;
        } catch (const std::exception& error) {
            // One port's trouble never ends the watch: told, then the port is tried again.
            try {
                station_.Trouble(error.what());
                host_.ClosePort(port_);
                host_.Sleep(kProbeInterval);
            } catch (...) {
                return;
            }
        } catch (...) {
            return;
        }
    }
}

void PortWatch::Step() {
    const auto begun = host_.Now();
    state_.Port(port_).selected.store(true);
    if (!station_.OpenPort()) {
        deviceWasMissing_ = true;
        Enter(WatchPhase::DeviceMissing);
        host_.SleepUntil(begun + kProbeInterval);
        return;
    }
    // A device gone and back brings a new unit, whatever stood there before.
    if (deviceWasMissing_ || phase_ != WatchPhase::Remove) {
        deviceWasMissing_ = false;
        Enter(WatchPhase::Waiting);
    }
    QuietHost quiet(host_);
    const bool answered = DownloadWorker(state_, quiet).Probe();
    if (phase_ == WatchPhase::Remove) {
        missedProbes_ = answered ? 0 : missedProbes_ + 1;
        state_.SetInProgress(false);
        if (missedProbes_ >= kMissedProbesUntilGone) {
            Enter(WatchPhase::Waiting);
        }
    } else if (answered) {
        if (const std::optional<RunPlan> plan = station_.UnitArrived()) {
            Enter(WatchPhase::Flashing);
            const RunResult result = DownloadWorker(state_, host_).Run(*plan, kProbeSteps);
            station_.UnitEnded(result);
            missedProbes_ = 0;
            Enter(WatchPhase::Remove);
            if (result.outcome == RunOutcome::Stopped) {
                throw RunStopped{};
            }
            return;  // the first look for the unit's going comes at once
        }
        state_.SetInProgress(false);
    }
    host_.SleepUntil(begun + kProbeInterval);
}

void PortWatch::Enter(WatchPhase phase) {
    if (phase_ != phase) {
        phase_ = phase;
        station_.PhaseChanged(phase);
    }
}

}  // namespace vantrel
