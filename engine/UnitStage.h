#pragma once

#include <array>
#include <string_view>

namespace vantrel {

// How far a unit has come. A command-sent stage s is acknowledged by moving to s + 1.
enum UnitStage : int {
    kInitState = 0,
    kEnqSent = 1,
    kForce2MonSuccessful = 2,
    kLoadingDemon = 3,
    kDemonLoadCmdSent = 4,
    kDemonLoadCmdAck = 5,
    kDemonRunning = 6,
    kEraseCmdSent = 7,
    kEraseSuccessful = 8,
    kFwLoadCmdSent = 9,
    kFwLoadCmdAck = 10,
    kFwLoadComplete = 11,
};

inline constexpr int kStageCount = 12;

// Shown while a unit is at, or has just reached, a stage.
inline constexpr std::array<std::string_view, kStageCount> StageTextTable = {
    "Init State",          "ENQ Sent",           "Force2Mon Successful", "Loading Demon",
    "Demon Load Cmd Sent", "Demon Load Cmd Ack", "Demon Running",        "Erase Cmd Sent",
    "Erase Successful",    "FW Load Cmd Sent",   "FW Load Cmd Ack",      "FW Load Complete",
};

// Shown when a unit failed to reach a stage.
inline constexpr std::array<std::string_view, kStageCount> StageFailTextTable = {
    "Init State...",          "ENQ Sent...",
    "Force2Mon Failed...",    "Loading Demon...",
    "Demon Load Cmd Sent...", "Demon Load Cmd Not Ack...",
    "Demon Not Running...",   "Erase Cmd Sent...",
    "Erase Failed...",        "FW Load Cmd Sent...",
    "FW Load Cmd Not Ack...", "FW Load Incomplete...",
};

// Whether a status text tells that its unit failed a wait.
constexpr bool IsFailureText(std::string_view text) {
    for (const std::string_view failure : StageFailTextTable) {
        if (text == failure) {
            return true;
        }
    }
    return false;
}

}  // namespace vantrel
