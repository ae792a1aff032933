#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/LineSettings.h"
#include "engine/RunPlan.h"
#include "engine/RunResult.h"

namespace vantrel {

// What a batch is asked to flash.
struct BatchRequest {
    std::string romPathText;
    std::string baseAddressText;
    int demonBaud = kDefaultDemonBaud;
    const char* demonText = nullptr;  // the built-in Demon unless a test gives another
};

// A batch that will touch its units once its record is kept: the file read once, checked and
// hashed, its images in the buffers, its devices open.
struct PreparedBatch {
    BatchRequest request;
    std::string fileSha256;  // of the file's bytes as read
    std::int64_t fileBytes = 0;
    std::vector<std::pair<int, std::string>> units;  // port and device, in port order
    RunPlan plan;
};

// Why a batch was refused before it touched a unit.
struct BatchRefusal {
    enum class Kind {
        FileNotOpened,
        Demon,
        BaseAddress,
        Firmware,
        PortNotOpened,
        NotRecorded,
        SameDevice  // two ports lead to one device
    };
    Kind kind = Kind::Firmware;
    std::string message;                      // as the window shows it
    std::optional<FirmwareRefusal> firmware;  // for a refused file
    std::string cause;                        // the system's own words, where it gave some
};

// How one unit of a batch ended: the run's own account, and what the session knows beyond it.
struct UnitResult {
    int port = 0;
    std::string device;
    std::string status;  // the text its status ended with
    bool complete = false;
    // The stage it failed to reach, else the one it stood at when the run ended.
    std::optional<int> endStage = std::nullopt;
    std::string cause = {};  // beyond the unit: its line lost, its device gone, not opened
    std::optional<std::int64_t> durationMs = std::nullopt;  // from the run's start to its last text
};

// How a batch ended.
struct BatchResult {
    std::optional<RunOutcome> outcome;    // nothing: refused before it touched a unit
    std::optional<BatchRefusal> refusal;  // why it was refused
    bool unitsTouched = false;            // a byte went to the units
    std::optional<std::string> fileSha256;
    std::optional<std::int64_t> fileBytes;
    std::vector<UnitResult> units;  // every unit it was to flash, in port order
};

}  // namespace vantrel
