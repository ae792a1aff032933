#include "cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "engine/LoaderState.h"
#include "engine/MonitorPackets.h"
#include "runlog/IsoTime.h"
#include "settings/PortLabel.h"
#include "settings/ProgramIdentity.h"

namespace vantrel::cli {
namespace {

std::optional<int> UnitRate(const std::string& text) {
    for (std::uint32_t baud : kUnitLineSpeeds) {
        if (text == std::to_string(baud)) {
            return static_cast<int>(baud);
        }
    }
    return std::nullopt;
}

// "38400, 57600 or 115200"
std::string UnitRateChoices() {
    std::string choices;
    for (std::size_t i = 0; i < kUnitLineSpeeds.size(); ++i) {
        const bool last = i + 1 == kUnitLineSpeeds.size();
        choices += (i == 0 ? "" : last ? " or " : ", ") + std::to_string(kUnitLineSpeeds[i]);
    }
    return choices;
}

// A path typed on the command line means one from the current directory; the serial layer
// would look for units/com1 under /dev.
std::string AbsoluteDevicePath(std::string path) {
    while (path.starts_with("./") && path.size() > 2) {
        path.erase(0, 2);
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

bool IsHexText(const std::string& text) {
    return !text.empty() && text.size() <= 8 &&
           std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// --stats reads the log only: nothing of a run goes with it.
ParsedArguments Stats(const CliOptions& options, const std::string& target,
                      const std::optional<std::string>& since,
                      const std::vector<std::string>& portArguments) {
    if (!options.romPath.empty() || options.loop || options.logTarget || options.remember ||
        !portArguments.empty()) {
        return CliUsageError{"--stats takes only --since and --json"};
    }
    StatsRequest request{target, {}, options.json};
    if (since) {
        const auto moment = ParseIsoMoment(*since);
        if (!moment) {
            return CliUsageError{
                "--since takes a date, 2024-05-31, or a time, 2024-05-31T14:00Z: " + *since};
        }
        request.since = *moment;
    }
    return request;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
    CliOptions options;
    std::optional<std::string> statsTarget;
    std::optional<std::string> since;
    std::optional<std::string> inspectTarget;
    std::vector<std::string> portArguments;
    // Options that take a text, by name: what a missing value is told as, and where it goes.
    const std::map<std::string, std::pair<const char*, std::optional<std::string>*>> texts = {
        {"--log", {"--log needs a file or a postgresql:// address", &options.logTarget}},
        {"--station", {"--station needs a name", &options.station}},
        {"--operator", {"--operator needs a name", &options.operatorName}},
        {"--stats", {"--stats needs a file or a postgresql:// address", &statsTarget}},
        {"--since", {"--since needs a date", &since}},
        {"--inspect", {"--inspect needs a firmware file", &inspectTarget}},
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size()) {
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            return CliAction::Help;
        }
        if (argument == "--version") {
            return CliAction::Version;
        }
        if (const auto named = texts.find(argument); named != texts.end()) {
            auto given = value();
            if (!given) {
                return CliUsageError{named->second.first};
            }
            *named->second.second = *given;
        } else if (argument == "--rom") {
            auto path = value();
            if (!path) {
                return CliUsageError{"--rom needs a file"};
            }
            options.romPath = *path;
        } else if (argument == "--base") {
            auto base = value();
            if (!base) {
                return CliUsageError{"--base needs a hexadecimal address"};
            }
            if (!IsHexText(*base)) {
                return CliUsageError{"--base takes 1 to 8 hexadecimal digits, without 0x: " +
                                     *base};
            }
            options.baseAddress = *base;
        } else if (argument == "--baud") {
            auto text = value();
            if (!text) {
                return CliUsageError{"--baud needs a line speed"};
            }
            const auto baud = UnitRate(*text);
            if (!baud) {
                return CliUsageError{"--baud takes " + UnitRateChoices() + ": " + *text};
            }
            options.baud = *baud;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--remember") {
            options.remember = true;
        } else if (argument == "--list-ports") {
            options.listPorts = true;
        } else if (argument == "--loop") {
            options.loop = true;
        } else if (argument.starts_with("-") && argument.size() > 1) {
            return CliUsageError{"unknown option " + argument};
        } else {
            portArguments.push_back(argument);
        }
    }
    if (options.listPorts) {
        if (!options.romPath.empty() || options.baseAddress || options.remember || options.loop ||
            options.logTarget || statsTarget || since || inspectTarget || !portArguments.empty()) {
            return CliUsageError{"--list-ports flashes nothing: it takes only --json"};
        }
        return options;
    }
    if (inspectTarget) {
        if (!options.romPath.empty() || options.remember || options.loop || options.logTarget ||
            statsTarget || since || options.listPorts || !portArguments.empty()) {
            return CliUsageError{"--inspect flashes nothing: it takes only --base and --json"};
        }
        return InspectRequest{*inspectTarget, options.baseAddress, options.json};
    }
    if (statsTarget) {
        return Stats(options, *statsTarget, since, portArguments);
    }
    if (since) {
        return CliUsageError{"--since goes with --stats"};
    }
    if (options.romPath.empty()) {
        return CliUsageError{"no ROM file: give --rom FILE"};
    }
    if (portArguments.empty()) {
        return CliUsageError{"no port: name COM1 to COM16 or a device path"};
    }

    std::vector<bool> taken(kPortCount + 1, false);
    for (const std::string& argument : portArguments) {
        if (auto number = PortFromLabel(argument)) {
            if (*number < 1 || *number > kPortCount) {
                return CliUsageError{"no such port " + argument + ": COM1 to COM16"};
            }
            if (taken[static_cast<std::size_t>(*number)]) {
                return CliUsageError{"port named twice: " + argument};
            }
            taken[static_cast<std::size_t>(*number)] = true;
            options.ports.push_back({*number, {}, argument});
        } else if (argument.find('/') != std::string::npos) {
            options.ports.push_back({0, AbsoluteDevicePath(argument), argument});
        } else {
            return CliUsageError{"not a port: " + argument + " (COM1 to COM16 or a device path)"};
        }
    }
    // Two names for one device are refused once the devices of the COM ports are known too.
    for (PortChoice& choice : options.ports) {
        if (choice.port != 0) {
            continue;
        }
        auto free = std::find(taken.begin() + 1, taken.end(), false);
        if (free == taken.end()) {
            return CliUsageError{"at most 16 ports"};
        }
        *free = true;
        choice.port = static_cast<int>(free - taken.begin());
    }
    std::sort(options.ports.begin(), options.ports.end(),
              [](const PortChoice& a, const PortChoice& b) { return a.port < b.port; });
    return options;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " --rom FILE [--base HEX] [--baud RATE] [--json] [--remember] [--loop]\n"
           "       [--log TARGET [--station NAME] [--operator NAME]] PORT...\n"
           "       " +
           program +
           " --stats TARGET [--since DATE] [--json]\n"
           "       " +
           program +
           " --list-ports [--json]\n"
           "       " +
           program +
           " --inspect FILE [--base HEX] [--json]\n"
           "\n"
           "Flashes the units on the given ports with the firmware FILE, all at once.\n"
           "\n"
           "  PORT          COM1 to COM16 (devices from the Vantrel settings, section Ports,\n"
           "                values Com1..Com16; default /dev/ttyS0 for COM1), or a device path\n"
           "  --rom FILE    the firmware: Motorola S-record (S1, S2, S3), Intel HEX or ELF;\n"
           "                the image runs from the base address to the highest data byte,\n"
           "                gaps sent as FF. A file that would not flash exactly is refused\n"
           "                before any port is touched\n"
           "  --base HEX    firmware base address, 1 to 8 hex digits (default: the remembered\n"
           "                one, else 00C10000)\n"
           "  --baud RATE   line speed for the erase and the firmware: 38400, 57600 (default,\n"
           "                as the window) or 115200. A unit that does not have the rate stays\n"
           "                at its old speed, does not hear the erase and fails with\n"
           "                \"Erase Failed...\" before anything on it is erased\n"
           "  --json        print the summary, or the port list, as JSON\n"
           "  --remember    remember the ROM file and base address, as the window does\n"
           "  --list-ports  list the serial ports found, with their /dev/serial/by-id names,\n"
           "                USB ids and serial numbers, and the COM number mapped to each\n"
           "  --loop        after each run, wait for the next batch: Enter flashes again (the\n"
           "                ROM file read anew), q or the end of input quits; tallies per port\n"
           "                and for the station follow each summary\n"
           "  --log TARGET  record every run and unit: an SQLite file (created on first use)\n"
           "                or postgresql://user@host[:port]/dbname (?host=/socket/folder,\n"
           "                ?sslmode=require); written before the first byte goes to a unit,\n"
           "                kept in a spool file until the log takes it\n"
           "  --station NAME, --operator NAME\n"
           "                for the log (default: the host name, the login name)\n"
           "  --stats TARGET\n"
           "                per station and port of the log: passed, failed, yield and the most\n"
           "                frequent failures; --since DATE (UTC) counts runs from then on\n"
           "  --inspect FILE\n"
           "                what FILE would flash at the base address: format, records,\n"
           "                address range, size, gaps, overlaps, SHA-256, chunks and the\n"
           "                expected time; exit 0 if it would flash, 2 if it would be refused\n"
           "  --help        this text\n"
           "  --version     the program's version\n"
           "\n"
           "Exit status: 0 every unit completed, 1 some unit failed, 2 nothing was flashed\n"
           "(ROM file, base address, port or a log that cannot be opened), 3 the run was\n"
           "stopped by an internal error, 4 a run's record reached neither the log nor its\n"
           "spool, 130 interrupted. A loop ends with the status of its last run. --stats: 0,\n"
           "or 2 when the log cannot be read.\n";
}

std::string VersionText() {
    return std::string(kProgramName) + " " + kProgramVersion;
}

}  // namespace vantrel::cli
