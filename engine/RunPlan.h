#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "engine/LineSettings.h"
#include "engine/LoaderState.h"
#include "image/FirmwareFormat.h"
#include "image/FirmwareLoader.h"

namespace vantrel {

// What a run sends, prepared before it starts: the Demon and the firmware image are in the
// state's buffers, and the run only sends them.
struct RunPlan {
    std::size_t demonSize = 0;  // bytes of the Demon buffer, sent at the Demon's address
    std::size_t romSize = 0;    // bytes of the ROM buffer, sent at the base address
    std::uint32_t baseAddress = 0;
    // Asked of the units once the Demon runs; the erase and the firmware go at it.
    int demonBaud = kDefaultDemonBaud;
    // Remembered by the run as given, for the next start, once both images have loaded.
    std::string romPathText;
    std::string baseAddressText;
};

// Why a run was not planned: the text the window shows, and for a refused firmware file the
// refusal itself, so the command line can word it its own way.
struct PlanRefusal {
    std::string message;
    std::optional<FirmwareRefusal> firmware;
};

// Reads the Demon text (the built-in one unless a test gives another), the base address and the
// firmware, in that order, into the state's buffers by the rules every run applies; the first
// that fails refuses the run. The file's bytes are the bytes flashed.
std::variant<RunPlan, PlanRefusal> PlanRun(LoaderState& state, const FirmwareContent& firmware,
                                           const std::string& baseAddressText,
                                           int demonBaud = kDefaultDemonBaud,
                                           const char* demonText = nullptr);

}  // namespace vantrel
