#include "engine/DownloadWorker.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <string>

#include "engine/LineSettings.h"
#include "engine/UnitStage.h"
#include "image/DemonImageText.h"

namespace vantrel {

using std::chrono::milliseconds;

namespace {

// Ready for a run or a probe: no unit has failed yet, and a chunk armed by a run that was
// stopped must not go out in this one.
void ClearUnitFailures(LoaderState& state) {
    for (int port = 1; port <= kPortCount; ++port) {
        state.Port(port).failedAt.store(-1);
    }
    state.DisarmChunk();
}

}  // namespace

bool DownloadWorker::Probe() {
    UnitTracker units(state_, host_, UnitTracker::Missing::Keep);
    ClearUnitFailures(state_);
    state_.SetInProgress(false);
    const RunPlan noImages;
    for (std::size_t step = 0; step < kProbeSteps; ++step) {
        RunStep(kDownloadSequence[step], noImages, units);
    }
    bool answered = true;
    for (int port = 1; port <= kPortCount; ++port) {
        if (state_.Port(port).selected.load() &&
            state_.Port(port).stage.load() != kForce2MonSuccessful) {
            answered = false;
        }
    }
    state_.SetInProgress(answered);
    return answered;
}

RunResult DownloadWorker::Run(const RunPlan& plan, std::size_t firstStep) noexcept {
    UnitTracker units(state_, host_);
    outcome_ = RunOutcome::AllUnitsFailed;
    ClearUnitFailures(state_);
    state_.SetBytesSent(false);
    // Units that answered a probe take part from the first step on.
    if (firstStep > 0) {
        state_.SetInProgress(true);
    }
    RunResult result;
    for (int port = 1; port <= kPortCount; ++port) {
        if (state_.Port(port).selected.load()) {
            result.units.push_back({port});
        }
    }
    try {
        result.started = host_.Now();
        host_.RememberSettings(plan.romPathText, plan.baseAddressText);
        for (std::size_t step = firstStep; step < std::size(kDownloadSequence); ++step) {
            RunStep(kDownloadSequence[step], plan, units);
        }
        host_.SetProgress(100);
        units.SetStage(kFwLoadComplete);
        outcome_ = RunOutcome::Completed;
        units.FinishRun();
    } catch (const RunFinished&) {
    } catch (const RunStopped&) {
        // A stop requested just before the enquiry found the flag still clear; setting it then
        // must not outlive the stop.
        state_.SetInProgress(false);
        outcome_ = RunOutcome::Stopped;
    } catch (const std::exception& error) {
        outcome_ = EndAfterInternalError(error.what());
    } catch (...) {
        outcome_ = EndAfterInternalError("unknown error");
    }
    result.outcome = outcome_;
    result.bytesSent = state_.BytesSent();
    for (UnitRun& unit : result.units) {
        const PortSlot& slot = state_.Port(unit.port);
        unit.stage = slot.stage.load();
        if (const int failedAt = slot.failedAt.load(); failedAt >= 0) {
            unit.failedStage = failedAt;
        }
        unit.text = host_.Last(unit.port).text;
        unit.lastText = host_.Last(unit.port).when;
        unit.complete = outcome_ == RunOutcome::Completed && slot.selected.load() &&
                        unit.stage == kFwLoadComplete;
    }
    return result;
}

RunOutcome DownloadWorker::EndAfterInternalError(const char* what) noexcept {
    state_.SetInProgress(false);
    // Each step on its own: a host that failed once may fail again, and the rest must still run.
    // After a stop request every step declines and the host is left alone.
    bool stopped = false;
    const auto attempt = [&stopped](auto&& step) {
        try {
            step();
        } catch (const RunStopped&) {
            stopped = true;
        } catch (...) {
        }
    };
    attempt([&] {
        host_.ShowMessage(std::string(kInternalErrorMessage) + what, MessageButtons::Ok,
                          MessageIcon::Exclamation);
    });
    attempt([&] { host_.CloseSelectedPorts(); });
    attempt([&] { host_.EnableStart(); });
    return stopped ? RunOutcome::Stopped : RunOutcome::InternalError;
}

void DownloadWorker::Send(std::uint16_t length) {
    // Before the call: a write carried out while a stop comes may still reach the units.
    state_.SetBytesSent(true);
    host_.WriteToSelected(std::span<const std::uint8_t>(packet_.data(), length));
}

void DownloadWorker::RunStep(const SequenceStep& step, const RunPlan& plan, UnitTracker& units) {
    if (step.line != StepLine::Unchanged) {
        host_.SetLineSettings(LineOf(step.line, plan.demonBaud));
    }
    if (step.shownStage >= 0) {
        units.SetStage(step.shownStage);
    }
    if (step.progress >= 0) {
        host_.SetProgress(step.progress);
    }
    // From the first command a unit answers on, its answers count.
    if (step.sentStage >= 0 && !state_.InProgress()) {
        state_.SetInProgress(true);
    }
    switch (step.sends) {
        case StepSends::Nothing:
            break;
        case StepSends::Demon:
            Transfer(std::span(state_.DemonBuffer().data(), plan.demonSize), kDemonBaseAddress,
                     &BuildLoadDemonChunk, step);
            break;
        case StepSends::Firmware:
            Transfer(std::span(state_.RomBuffer().data(), plan.romSize), plan.baseAddress,
                     &BuildLoadFirmwareChunk, step);
            break;
        default:
            if (step.sentStage >= 0) {
                units.SetStage(step.sentStage);
            }
            Send(BuildStepPacket(packet_, step.sends, plan.demonBaud));
            if (step.sentStage >= 0) {
                units.WaitForStage(step.sentStage + 1, step.ack.poll, step.ack.tries);
            }
            break;
    }
    if (step.pause.count() > 0) {
        host_.Sleep(step.pause);
    }
}

void DownloadWorker::Transfer(std::span<const std::uint8_t> image, std::uint32_t startAddress,
                              ChunkBuilder build, const SequenceStep& step) {
    const int sentStage = step.sentStage;
    UnitTracker units(state_, host_);
    const std::size_t size = image.size();
    const std::size_t progressStep = size / 100;
    std::size_t threshold = progressStep;
    std::size_t sent = 0;
    bool goneOut = false;  // this chunk went out on the UI thread already
    const auto packet = [&](std::size_t offset) {
        const std::size_t chunk = std::min(kMaxChunkData, size - offset);
        return std::span<const std::uint8_t>(
            packet_.data(), build(packet_, image.subspan(offset, chunk),
                                  startAddress + static_cast<std::uint32_t>(offset)));
    };
    while (sent < size) {
        if (goneOut) {
            units.ShowStage(sentStage);
        } else {
            units.SetStage(sentStage);
            host_.WriteToSelected(packet(sent));
        }
        sent += std::min(kMaxChunkData, size - sent);
        if (sent > threshold) {
            host_.StepProgress();
            threshold += progressStep;
        }
        if (sent < size) {
            state_.ArmChunk(packet(sent), sentStage + 1, sentStage);
        }
        goneOut = units.WaitForStage(sentStage + 1, step.ack.poll, step.ack.tries);
    }
}

}  // namespace vantrel
