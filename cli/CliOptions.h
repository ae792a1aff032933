#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/LineSettings.h"

namespace vantrel::cli {

// One unit named on the command line: a COM port number, or a device path given a free slot.
struct PortChoice {
    int port = 0;            // slot, 1 to 16: names the unit in messages ("COM 3")
    std::string devicePath;  // empty: the port's device comes from the settings
    std::string argument;    // as typed
};

struct CliOptions {
    std::string romPath;
    std::optional<std::string> baseAddress;  // --base; else the remembered one
    int baud = kDefaultDemonBaud;            // the erase and the firmware go at it
    bool json = false;
    bool remember = false;
    bool listPorts = false;  // list the machine's serial ports instead of flashing
    std::vector<PortChoice> ports;
};

enum class CliAction { Help, Version };

struct CliUsageError {
    std::string text;
};

using ParsedArguments = std::variant<CliOptions, CliAction, CliUsageError>;

ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

std::string UsageText(const std::string& program);
inline constexpr const char* kVersionText = "Vantrel 1.00";

}  // namespace vantrel::cli
