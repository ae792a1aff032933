#include "cli/CliOptions.h"

#include "cli/CliOptionTable.h"

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
                      const std::optional<std::string>& html) {
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

QList<QCommandLineOption> KnownOptions() {
    QList<QCommandLineOption> known;
    for (const OptionSpec& option : OptionTable()) {
        QStringList names = {QString::fromLatin1(option.name)};
        if (names.front() == QStringLiteral("help")) {
            names.prepend(QStringLiteral("h"));
        }
        known.append(option.value != nullptr
                         ? QCommandLineOption(names, {}, QStringLiteral("value"))
                         : QCommandLineOption(names));
    }
    return known;
}

// The command the given options select; the first refusal of an option that does not go with
// it, if any.
std::optional<std::string> MisplacedOption(const QStringList& given, bool portsGiven,
                                           Command& command) {
    command = kFlash;
    for (const Command selecting : {kListPorts, kInspect, kStats}) {
        for (const QString& name : given) {
            const OptionSpec* option = FindOption(name.toStdString());
            if (option != nullptr && option->command != nullptr && option->commands == selecting &&
                command == kFlash) {
                command = selecting;
            }
        }
    }
    if (command != kFlash && portsGiven) {
        return CommandRefusal(command);
    }
    for (const QString& name : given) {
        const OptionSpec* option =
            FindOption(name == QStringLiteral("h") ? "help" : name.toStdString());
        if (option == nullptr || (option->commands & command) != 0) {
            continue;
        }
        if (command != kFlash) {
            return CommandRefusal(command);
        }
        // An option of another command, without that command.
        for (const OptionSpec& selector : OptionTable()) {
            if (selector.command != nullptr && (selector.commands & option->commands) != 0) {
                return "--" + name.toStdString() + " goes with " + selector.command;
            }
        }
    }
    return std::nullopt;
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
        const OptionSpec* known = FindOption(name);
        const bool flag = known == nullptr || known->value == nullptr;
        if ((!unknown.isEmpty() && name == unknown.first().toStdString()) ||
            (flag && argument.find('=') != std::string::npos)) {
            return "unknown option " + argument;
        }
    }
    if (const OptionSpec* last = FindOption(OptionName(arguments.back()));
        last != nullptr && last->missing != nullptr) {
        return last->missing;
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
    options.watch = parser.isSet(QStringLiteral("watch"));
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
    Command command = kFlash;
    if (const auto refusal =
            MisplacedOption(parser.optionNames(), !portArguments.empty(), command)) {
        return CliUsageError{*refusal};
    }
    switch (command) {
        case kListPorts:
            return options;
        case kInspect:
            return InspectRequest{*inspectTarget, options.baseAddress, options.json};
        case kStats:
            return Stats(options, *statsTarget, since, html);
        default:
            break;
    }
    if (options.watch && options.loop) {
        return CliUsageError{
            "--watch flashes every unit as it comes, --loop batch by batch: "
            "give one of them"};
    }
    if (options.romPath.empty() && !options.watch) {
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

// "  --rom FILE    the firmware: ..." with the help's later lines under its first.
std::string OptionsUsage() {
    constexpr std::size_t kColumn = 16;
    std::string text;
    for (const OptionSpec& option : OptionTable()) {
        std::string head = "  --" + std::string(option.name) +
                           (option.value != nullptr ? " " + std::string(option.value) : "");
        head = head.size() + 2 > kColumn ? head + "\n" + std::string(kColumn, ' ')
                                         : head + std::string(kColumn - head.size(), ' ');
        std::string help = option.help;
        for (std::size_t at = help.find('\n'); at != std::string::npos;
             at = help.find('\n', at + 1)) {
            help.insert(at + 1, kColumn, ' ');
        }
        text += head + help + "\n";
    }
    return text;
}

std::string UsageText(const std::string& program) {
    return "Usage: " + program +
           " --rom FILE [--base HEX] [--baud RATE] [--json] [--remember] [--loop]\n"
           "       [--log TARGET [--station NAME] [--operator NAME]] PORT...\n"
           "       " +
           program +
           " --watch [--rom FILE] [--base HEX] [--baud RATE] [--json]\n"
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
           std::string(kPortUsage) + OptionsUsage() +
           "\n"
           "Exit status: 0 every unit completed, 1 some unit failed, 2 nothing was flashed\n"
           "(ROM file, base address, port or a log that cannot be opened), 3 the run was\n"
           "stopped by an internal error, 4 a run's record reached neither the log nor its\n"
           "spool, 130 interrupted. A loop ends with the status of its last run. --watch: 0\n"
           "when every unit passed, else 1, or 2 or 4 as above. --stats: 0, or 2 when the\n"
           "log cannot be read or the page cannot be written.\n";
}

std::string VersionText() {
    return std::string(kProgramName) + " " + kProgramVersion;
}

}  // namespace vantrel::cli
