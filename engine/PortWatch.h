#pragma once

#include <chrono>
#include <optional>
#include <string_view>

#include "engine/DownloadHost.h"
#include "engine/LoaderState.h"
#include "engine/RunPlan.h"
#include "engine/RunResult.h"

namespace vantrel {

// An empty port is probed at most this often; a unit is gone once this many probes in a row
// went unanswered.
inline constexpr std::chrono::milliseconds kProbeInterval{500};
inline constexpr int kMissedProbesUntilGone = 3;

enum class WatchPhase {
    DeviceMissing,  // the port's device cannot be opened; tried again each interval
    Waiting,        // no unit: probed quietly
    Flashing,
    Remove,  // flashed (passed or failed): probed until the unit is gone
};

// What a watched port asks of its station and tells it. Called on the watch's thread; the
// station carries out what it must elsewhere and waits for it, bounded.
class WatchStation {
  public:
    virtual ~WatchStation() = default;
    // The port open and ready for a probe; false while its device is missing.
    virtual bool OpenPort() = 0;
    // A unit answered: the plan to flash it with, its images in the state's buffers and its
    // flash on record; nothing leaves it alone for now, and it is asked again at its next
    // answer.
    virtual std::optional<RunPlan> UnitArrived() = 0;
    virtual void UnitEnded(const RunResult& result) = 0;
    virtual void PhaseChanged(WatchPhase phase) = 0;
    // Something unexpected went wrong on the port; the watch goes on at the next interval.
    virtual void Trouble(std::string_view what) = 0;
};

// One port on its own: probes it while it is empty, flashes the unit that answers with the
// download's sequence for a batch of one, then waits until that unit is gone (its probes
// unanswered, or its device gone and back) before it waits for the next. A unit that stays is
// never flashed twice. The state's only selected port is the watched one.
class PortWatch {
  public:
    PortWatch(LoaderState& state, DownloadHost& host, WatchStation& station, int port)
        : state_(state), host_(host), station_(station), port_(port) {}
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Watches until the host is stopped. Never throws: a run stopped mid-flash still tells
    // its end to the station first.
    void Run() noexcept;

  private:
    // One probe and what follows from its answer.
    void Step();
    void Enter(WatchPhase phase);

    LoaderState& state_;
    DownloadHost& host_;
    WatchStation& station_;
    int port_;
    std::optional<WatchPhase> phase_;
    int missedProbes_ = 0;
    bool deviceWasMissing_ = false;
};

}  // namespace vantrel
