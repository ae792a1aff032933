#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/LineSettings.h"
#include "engine/MonitorPackets.h"
#include "engine/UnitStage.h"

namespace vantrel {

// What a step sends: one packet, or an image in acknowledged chunks.
enum class StepSends {
    Nothing,
    ForceMonitor,
    Enquiry,
    Demon,
    RunDemon,
    SetBaudRate,
    EraseFlash,
    Firmware
};
// The line settings a step applies to every selected port before it sends.
enum class StepLine { Unchanged, ForceMonitor, Monitor, Demon };

// How an acknowledged command is waited for: a look every poll, at most tries looks.
struct AckWait {
    std::chrono::milliseconds poll{0};
    std::int8_t tries = 0;
};

// One step of a download, in the order its parts are done.
struct SequenceStep {
    StepLine line = StepLine::Unchanged;
    int progress = -1;    // the bar's position set first; -1: none
    int shownStage = -1;  // set and shown before it sends, with no wait; -1: none
    StepSends sends = StepSends::Nothing;
    // Set before each packet and acknowledged by moving to the next stage; -1: no answer.
    int sentStage = -1;
    AckWait ack = {};
    std::chrono::milliseconds pause{0};  // after it: the units need it to switch
};

// The download, step by step: what the worker runs, and what the times a run cannot beat are
// summed from. The run is in progress from the first step that waits for an answer.
inline constexpr SequenceStep kDownloadSequence[] = {
    {.line = StepLine::ForceMonitor,
     .sends = StepSends::ForceMonitor,
     .pause = std::chrono::milliseconds{400}},
    {.line = StepLine::Monitor,
     .sends = StepSends::Enquiry,
     .sentStage = kEnqSent,
     .ack = {std::chrono::milliseconds{20}, 15},
     .pause = std::chrono::milliseconds{100}},
    {.shownStage = kLoadingDemon,
     .sends = StepSends::Demon,
     .sentStage = kDemonLoadCmdSent,
     .ack = {std::chrono::milliseconds{5}, 60}},
    {.progress = 100,
     .shownStage = kDemonRunning,
     .sends = StepSends::RunDemon,
     .pause = std::chrono::milliseconds{300}},
    {.sends = StepSends::SetBaudRate, .pause = std::chrono::milliseconds{100}},
    {.line = StepLine::Demon, .pause = std::chrono::milliseconds{600}},
    {.sends = StepSends::EraseFlash,
     .sentStage = kEraseCmdSent,
     .ack = {std::chrono::milliseconds{500}, 40}},
    {.progress = 0,
     .sends = StepSends::Firmware,
     .sentStage = kFwLoadCmdSent,
     .ack = {std::chrono::milliseconds{5}, 60}},
};

// The steps a probe of a port sends, the first of the download: the force to the monitor and
// the enquiry. A unit that answers them is in its monitor, and its download goes on after them.
inline constexpr std::size_t kProbeSteps = 2;

// The line settings of a step's kind, for a run whose units switch to demonBaud.
constexpr LineSettings LineOf(StepLine line, int demonBaud) {
    switch (line) {
        case StepLine::ForceMonitor:
            return kForceMonitorLine;
        case StepLine::Demon:
            return DemonLine(demonBaud);
        default:
            return kMonitorLine;
    }
}

// The one packet a step sends (not an image's chunks), built into the buffer; its length.
std::uint16_t BuildStepPacket(PacketBuffer& buffer, StepSends sends, int demonBaud);

// What a unit of this kind spends of its own: the erase, and the write of each firmware chunk.
// The unit simulator works at these times, and the floors count them.
struct UnitTimes {
    std::chrono::milliseconds erase{1500};
    std::chrono::milliseconds write{2};
};

}  // namespace vantrel
