#include "cli/CliOptions.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "engine/LoaderState.h"
#include "engine/MonitorPackets.h"
#include "runlog/IsoTime.h"
#include "runlog/NameRules.h"
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

#ifdef _WIN32
constexpr const char* kPortUsage =
    "  PORT          COM1 to COM16 (devices from the Vantrel settings, section Ports,\n"
    "                values Com1..Com16; default: the Windows port of that name), or a\n"
    "                Windows device name such as \\\\.\\COM20\n";
#else
constexpr const char* kPortUsage =
    "  PORT          COM1 to COM16 (devices from the Vantrel settings, section Ports,\n"
    "                values Com1..Com16; default /dev/ttyS0 for COM1), or a device path\n";
#endif

// \\.\COM20: a port beyond COM16, by the name Windows opens it by.
bool IsWindowsDeviceName([[maybe_unused]] const std::string& argument) {
#ifdef _WIN32
    return argument.starts_with("\\\\.\\") && argument.size() > 4;
#else
    return false;
#endif
}

bool IsHexText(const std::string& text) {
    return !text.empty() && text.size() <= 8 &&
           std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// --stats reads the log only: nothing of a run goes with it.
ParsedArguments Stats(const CliOptions& options, const std::string& target,
                      const std::optional<std::string>& since,
                      const std::optional<std::string>& html,
                      const std::vector<std::string>& portArguments) {
    if (!options.romPath.empty() || options.loop || options.logTarget || options.remember ||
        !portArguments.empty()) {
        return CliUsageError{"--stats takes only --since and --json or --html"};
    }
    if (options.json && html) {
        return CliUsageError{"--html writes a page, --json prints: give one of them"};
    }
    StatsRequest request{target, {}, options.json, html.value_or("")};
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

// The options that take a value, and what a missing value is told as.
constexpr std::pair<const char*, const char*> kValueOptions[] = {
    {"rom", "--rom needs a file"},
    {"base", "--base needs a hexadecimal address"},
    {"baud", "--baud needs a line speed"},
    {"log", "--log needs a file or a postgresql:// address"},
    {"station", "--station needs a name"},
    {"operator", "--operator needs a name"},
    {"stats", "--stats needs a file or a postgresql:// address"},
    {"since", "--since needs a date"},
    {"html", "--html needs a file"},
    {"inspect", "--inspect needs a firmware file"},
};
constexpr const char* kFlagOptions[] = {"json", "remember", "list-ports", "loop", "version"};

QList<QCommandLineOption> KnownOptions() {
    QList<QCommandLineOption> known = {QCommandLineOption(QStringList{"h", "help"})};
    for (const auto& [name, missing] : kValueOptions) {
        known.append(QCommandLineOption(name, {}, QStringLiteral("value")));
    }
    for (const char* name : kFlagOptions) {
        known.append(QCommandLineOption(name));
    }
    return known;
}

// "--base=1" and "-base" name the option base, as the parser reads them.
std::string OptionName(std::string typed) {
    typed.erase(0, typed.starts_with("--") ? 2 : 1);
    return typed.substr(0, typed.find('='));
}

// What the parser could not take, in the program's words: an option it does not know or a flag
// given a value ("--json=1"), as typed; else the option at the end, which lacks its value.
std::string ParseFailure(const QCommandLineParser& parser,
                         const std::vector<std::string>& arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    for (const std::string& argument : arguments) {
        if (argument.size() < 2 || argument[0] != '-') {
            continue;
        }
        const std::string name = OptionName(argument);
        const bool flag =
            std::ranges::none_of(kValueOptions, [&](auto o) { return name == o.first; });
        if ((!unknown.isEmpty() && name == unknown.first().toStdString()) ||
            (flag && argument.find('=') != std::string::npos)) {
            return "unknown option " + argument;
        }
    }
    for (const auto& [name, missing] : kValueOptions) {
        if (OptionName(arguments.back()) == name) {
            return missing;
        }
    }
    return parser.errorText().toStdString();
}

// The values given to an option, as typed: the parser's own text would have turned bytes that
// are not UTF-8 into U+FFFD.
std::vector<std::string> TypedValues(const std::vector<std::string>& arguments, const char* name) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            break;
        }
        if (argument.size() < 2 || argument[0] != '-' || OptionName(argument) != name) {
            continue;
        }
        if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
            values.push_back(argument.substr(equals + 1));
        } else if (i + 1 < arguments.size()) {
            values.push_back(arguments[++i]);
        }
    }
    return values;
}

// A name that goes into the log must be one its reports can show as it is.
std::optional<std::string> NameRefusal(const std::vector<std::string>& arguments,
                                       const char* name) {
    for (const std::string& value : TypedValues(arguments, name)) {
        if (const auto fault = NameFault(value)) {
            return "--" + std::string(name) + " " + *fault +
                   ": give a name in UTF-8 without control characters";
        }
    }
    return std::nullopt;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(KnownOptions());
    QStringList typed = {QStringLiteral("vantrel-cli")};
    for (const std::string& argument : arguments) {
        typed.append(QString::fromStdString(argument));
    }
    const bool parsed = parser.parse(typed);
    if (parser.isSet(QStringLiteral("help"))) {
        return CliAction::Help;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        return CliAction::Version;
    }
    if (!parsed) {
        return CliUsageError{ParseFailure(parser, arguments)};
    }
    const auto text = [&](const char* name) -> std::optional<std::string> {
        if (!parser.isSet(QString::fromLatin1(name))) {
            return std::nullopt;
        }
        return parser.value(QString::fromLatin1(name)).toStdString();
    };
    CliOptions options;
    options.romPath = text("rom").value_or("");
    options.baseAddress = text("base");
    if (options.baseAddress && !IsHexText(*options.baseAddress)) {
        return CliUsageError{"--base takes 1 to 8 hexadecimal digits, without 0x: " +
                             *options.baseAddress};
    }
    if (const auto baud = text("baud")) {
        const auto rate = UnitRate(*baud);
        if (!rate) {
            return CliUsageError{"--baud takes " + UnitLineSpeedChoices() + ": " + *baud};
        }
        options.baud = *rate;
    }
    options.json = parser.isSet(QStringLiteral("json"));
    options.remember = parser.isSet(QStringLiteral("remember"));
    options.listPorts = parser.isSet(QStringLiteral("list-ports"));
    options.loop = parser.isSet(QStringLiteral("loop"));
    options.logTarget = text("log");
    options.station = text("station");
    options.operatorName = text("operator");
    for (const char* name : {"station", "operator"}) {
        if (const auto refusal = NameRefusal(arguments, name)) {
            return CliUsageError{*refusal};
        }
    }
    const auto statsTarget = text("stats");
    const auto since = text("since");
    const auto inspectTarget = text("inspect");
    const auto html = text("html");
    std::vector<std::string> portArguments;
    for (const QString& port : parser.positionalArguments()) {
        portArguments.push_back(port.toStdString());
    }
    if (options.listPorts) {
        if (!options.romPath.empty() || options.baseAddress || options.remember || options.loop ||
            options.logTarget || statsTarget || since || html || inspectTarget ||
            !portArguments.empty()) {
            return CliUsageError{"--list-ports flashes nothing: it takes only --json"};
        }
        return options;
    }
    if (inspectTarget) {
        if (!options.romPath.empty() || options.remember || options.loop || options.logTarget ||
            statsTarget || since || html || options.listPorts || !portArguments.empty()) {
            return CliUsageError{"--inspect flashes nothing: it takes only --base and --json"};
        }
        return InspectRequest{*inspectTarget, options.baseAddress, options.json};
    }
    if (statsTarget) {
        return Stats(options, *statsTarget, since, html, portArguments);
    }
    if (since || html) {
        return CliUsageError{since ? "--since goes with --stats" : "--html goes with --stats"};
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
        } else if (IsWindowsDeviceName(argument)) {
            options.ports.push_back({0, argument, argument});
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
           " --stats TARGET [--since DATE] [--json | --html FILE]\n"
           "       " +
           program +
           " --list-ports [--json]\n"
           "       " +
           program +
           " --inspect FILE [--base HEX] [--json]\n"
           "\n"
           "Flashes the units on the given ports with the firmware FILE, all at once.\n"
           "\n" +
           std::string(kPortUsage) +
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
           "  --html FILE   with --stats: write the report as one HTML page with charts (yield\n"
           "                per port, units per hour, failures per port) that loads nothing\n"
           "                from elsewhere; FILE is replaced whole or left as it was\n"
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
           "or 2 when the log cannot be read or the page cannot be written.\n";
}

std::string VersionText() {
    return std::string(kProgramName) + " " + kProgramVersion;
}

}  // namespace vantrel::cli
