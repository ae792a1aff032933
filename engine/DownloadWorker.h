#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/DownloadHost.h"
#include "engine/DownloadSequence.h"
#include "engine/LineSettings.h"
#include "engine/LoaderState.h"
#include "engine/MonitorPackets.h"
#include "engine/RunPlan.h"
#include "engine/RunResult.h"
#include "engine/TextLedger.h"
#include "engine/UnitTracker.h"

namespace vantrel {

// Shown, with the error's own text after it, when something unexpected ends a run.
inline constexpr std::string_view kInternalErrorMessage =
    "The download was stopped by an internal error:\n\n";

// One download run of a prepared plan: drives every selected unit through the monitor, the
// Demon, the erase and the firmware, in lock step, and returns how each unit ended.
class DownloadWorker {
  public:
    DownloadWorker(LoaderState& state, DownloadHost& host) : state_(state), host_(host) {}
    DownloadWorker(const DownloadWorker&) = delete;
    DownloadWorker& operator=(const DownloadWorker&) = delete;

    // Never throws: whatever goes wrong inside a run ends that run. From firstStep on: after a
    // probe the selected units are in their monitor, and the run goes on from kProbeSteps.
    RunResult Run(const RunPlan& plan, std::size_t firstStep = 0) noexcept;
    // The probe of the selected ports: the download's first steps, each unit's answer waited
    // for as a run waits, but no unit given up or closed. True when every selected unit
    // answered; the run is then in progress, ready to go on. Throws what the host throws.
    bool Probe();

  private:
    using ChunkBuilder = std::uint16_t (*)(PacketBuffer&, std::span<const std::uint8_t>,
                                           std::uint32_t);

    // Ends the run as finish-run does, after telling the user what went wrong.
    RunOutcome EndAfterInternalError(const char* what) noexcept;
    void Send(std::uint16_t length);
    void RunStep(const SequenceStep& step, const RunPlan& plan, UnitTracker& units);
    // An image in chunks, each acknowledged as the step says.
    void Transfer(std::span<const std::uint8_t> image, std::uint32_t startAddress,
                  ChunkBuilder build, const SequenceStep& step);
    RunResult Result() const;

    LoaderState& state_;
    // Every call of the run goes through it, so each unit's last text is known at the end.
    TextLedger host_;
    PacketBuffer packet_{};
    RunOutcome outcome_ = RunOutcome::AllUnitsFailed;
};

}  // namespace vantrel
