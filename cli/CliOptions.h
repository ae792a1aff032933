#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/LineSettings.h"

namespace vantrel::cli {

// One unit named on the command line: a COM port number, or a device path given a free slot.
struct PortChoice {
    int port = 0;            // slot, 1 to 16: names the unit in messages ("COM3")
    std::string devicePath;  // absolute; empty: the port's device comes from the settings
    std::string argument;    // as typed
};

struct CliOptions {
    std::string romPath;                     // with --watch, empty for the remembered one
    std::optional<std::string> baseAddress;  // --base; else the remembered one
    int baud = kDefaultDemonBaud;            // the erase and the firmware go at it
    bool json = false;
    bool remember = false;
    bool listPorts = false;  // list the machine's serial ports instead of flashing
    bool loop = false;       // flash batch after batch until q
    bool watch = false;      // hands-free: each port flashes every unit plugged in, on its own
    std::optional<std::string> logTarget;     // --log: an SQLite file or a PostgreSQL address
    std::optional<std::string> station;       // else the host name
    std::optional<std::string> operatorName;  // else the login name
    std::vector<PortChoice> ports;
};

// --stats: a report of the log instead of a run.
struct StatsRequest {
    std::string target;
    std::string since;  // an IsoUtc text; empty for all
    bool json = false;
    std::string htmlPath;  // --html: the report as a page in this file; empty: printed
};

// --inspect: what a firmware file would flash, without touching a port.
struct InspectRequest {
    std::string path;
    std::optional<std::string> baseAddress;  // --base; else the remembered one
    bool json = false;
};

enum class CliAction { Help, Version };

struct CliUsageError {
    std::string text;
};

using ParsedArguments =
    std::variant<CliOptions, StatsRequest, InspectRequest, CliAction, CliUsageError>;

ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

std::string UsageText(const std::string& program);
// "Vantrel 1.00"
std::string VersionText();

}  // namespace vantrel::cli
