#include "cli/CliOptionTable.h"

#include <algorithm>
#include <iterator>

namespace vantrel::cli {
namespace {

constexpr unsigned kRun = kFlash;

constexpr OptionSpec kOptions[] = {
    {"rom", "FILE", kRun, nullptr, ValueKind::FirmwareFile, "--rom needs a file",
     "the firmware: Motorola S-record (S1, S2, S3), Intel HEX or ELF;\n"
     "the image runs from the base address to the highest data byte,\n"
     "gaps sent as FF. A file that would not flash exactly is refused\n"
     "before any port is touched"},
    {"base", "HEX", kRun | kInspect, nullptr, ValueKind::Text, "--base needs a hexadecimal address",
     "firmware base address, 1 to 8 hex digits (default: the remembered\n"
     "one, else 00C10000)"},
    {"baud", "RATE", kRun, nullptr, ValueKind::LineSpeed, "--baud needs a line speed",
     "line speed for the erase and the firmware: 38400, 57600 (default,\n"
     "as the window) or 115200. A unit that does not have the rate stays\n"
     "at its old speed, does not hear the erase and fails with\n"
     "\"Erase Failed...\" before anything on it is erased"},
    {"json", nullptr, kRun | kStats | kListPorts | kInspect, nullptr, ValueKind::Text, nullptr,
     "print the summary, or the port list, as JSON"},
    {"remember", nullptr, kRun, nullptr, ValueKind::Text, nullptr,
     "remember the ROM file and base address, as the window does"},
    {"list-ports", nullptr, kListPorts, "--list-ports", ValueKind::Text, nullptr,
     "list the serial ports found, with their /dev/serial/by-id names,\n"
     "USB ids and serial numbers, and the COM number mapped to each"},
    {"loop", nullptr, kRun, nullptr, ValueKind::Text, nullptr,
     "after each run, wait for the next batch: Enter flashes again (the\n"
     "ROM file read anew), q or the end of input quits; tallies per port\n"
     "and for the station follow each summary"},
    {"watch", nullptr, kRun, nullptr, ValueKind::Text, nullptr,
     "hands-free: each port on its own probes its line while it is empty,\n"
     "flashes the unit that answers at once and waits until it is gone;\n"
     "one line per unit, each unit a run of one in the log. A rebuilt ROM\n"
     "file is flashed from the next unit on. Runs until Ctrl+C, SIGTERM\n"
     "or SIGHUP, then prints the tallies. Without --rom, the remembered\n"
     "ROM file"},
    {"log", "TARGET", kRun, nullptr, ValueKind::LogFile,
     "--log needs a file or a postgresql:// address",
     "record every run and unit: an SQLite file (created on first use)\n"
     "or postgresql://user@host[:port]/dbname (?host=/socket/folder,\n"
     "?sslmode=require); written before the first byte goes to a unit,\n"
     "kept in a spool file until the log takes it"},
    {"station", "NAME", kRun, nullptr, ValueKind::Text, "--station needs a name",
     "for the log (default: the host name); one live process per name"},
    {"operator", "NAME", kRun, nullptr, ValueKind::Text, "--operator needs a name",
     "for the log (default: the login name)"},
    {"stats", "TARGET", kStats, "--stats", ValueKind::LogFile,
     "--stats needs a file or a postgresql:// address",
     "per station and port of the log: passed, failed, yield and the most\n"
     "frequent failures"},
    {"since", "DATE", kStats, nullptr, ValueKind::Text, "--since needs a date",
     "with --stats: count runs from DATE (UTC) on"},
    {"html", "FILE", kStats, nullptr, ValueKind::PageFile, "--html needs a file",
     "with --stats: write the report as one HTML page with charts (yield\n"
     "per port, units per hour, failures per port) that loads nothing\n"
     "from elsewhere; FILE is replaced whole or left as it was"},
    {"inspect", "FILE", kInspect, "--inspect", ValueKind::FirmwareFile,
     "--inspect needs a firmware file",
     "what FILE would flash at the base address: format, records,\n"
     "address range, size, gaps, overlaps, SHA-256, chunks and the\n"
     "expected time; exit 0 if it would flash, 2 if it would be refused"},
    {"help", nullptr, kEveryCommand, nullptr, ValueKind::Text, nullptr, "this text"},
    {"version", nullptr, kEveryCommand, nullptr, ValueKind::Text, nullptr, "the program's version"},
};

// The words after the option in a completion's case, for a value of that kind.
const char* CompletionOf(ValueKind kind) {
    switch (kind) {
        case ValueKind::FirmwareFile:
            return "            # Firmware files of every format read, by their usual names, in "
                   "any case.\n"
                   "            compopt -o filenames 2>/dev/null\n"
                   "            mapfile -t COMPREPLY < <(compgen -d -- \"$cur\"; compgen -f -- "
                   "\"$cur\" |\n"
                   "                grep -iE '\\.(rom|hex|ihex|srec|s19|s28|s37|mot|elf)$')\n";
        case ValueKind::LineSpeed:
            return "            mapfile -t COMPREPLY < <(compgen -W '38400 57600 115200' -- "
                   "\"$cur\")\n";
        case ValueKind::PageFile:
            return "            # The page to write: an HTML file, or a folder to put it in.\n"
                   "            compopt -o filenames 2>/dev/null\n"
                   "            mapfile -t COMPREPLY < <(compgen -d -- \"$cur\"; compgen -f -- "
                   "\"$cur\" | grep -iE '\\.html?$')\n";
        case ValueKind::LogFile:
            return "            compopt -o filenames 2>/dev/null\n"
                   "            mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n";
        case ValueKind::Text:
            break;
    }
    return "";
}

constexpr const char* kCompletionTail = R"(
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '%OPTIONS%' -- "$cur")
        return
    fi
    # Any other path is a device too (a USB adapter's link, a simulated unit).
    if [[ $cur == */* || $cur == .* || $cur == "~"* ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
    fi

    # A port may be named only once; COM names in any case.
    local -A named=()
    local word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        [[ -n $word ]] || continue
        named[$word]=1
        named[${word^^}]=1
    done
    local candidates=() port device
    for port in COM{1..16}; do
        [[ -z ${named[$port]-} ]] && candidates+=("$port")
    done
    if [[ -z $cur ]]; then
        for device in /dev/serial/by-id/* /dev/tty*; do
            [[ -e $device && -z ${named[$device]-} ]] && candidates+=("$device")
        done
    fi
    mapfile -t COMPREPLY < <(compgen -W "${candidates[*]}" -- "${cur^^}")
}

complete -F _vantrel_cli vantrel-cli
)";

}  // namespace

std::span<const OptionSpec> OptionTable() {
    return kOptions;
}

const OptionSpec* FindOption(const std::string& name) {
    const auto found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                    [&](const OptionSpec& option) { return name == option.name; });
    return found == std::end(kOptions) ? nullptr : &*found;
}

const char* CommandRefusal(Command command) {
    switch (command) {
        case kStats:
            return "--stats takes only --since and --json or --html";
        case kListPorts:
            return "--list-ports flashes nothing: it takes only --json";
        case kInspect:
            return "--inspect flashes nothing: it takes only --base and --json";
        default:
            return "";
    }
}

std::string BashCompletion() {
    std::string script =
        "# bash completion for vantrel-cli, made from the program's table of options\n\n"
        "_vantrel_cli() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]}\n"
        "    local prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
        "    COMPREPLY=()\n\n"
        "    case $prev in\n";
    std::string names;
    for (const ValueKind kind : {ValueKind::FirmwareFile, ValueKind::Text, ValueKind::LineSpeed,
                                 ValueKind::PageFile, ValueKind::LogFile}) {
        std::string options;
        for (const OptionSpec& option : kOptions) {
            if (option.value != nullptr && option.kind == kind) {
                options += (options.empty() ? "--" : "|--") + std::string(option.name);
            }
        }
        if (!options.empty()) {
            script += "        " + options + ")\n" + CompletionOf(kind) + "            return\n" +
                      "            ;;\n";
        }
    }
    for (const OptionSpec& option : kOptions) {
        names += (names.empty() ? "--" : " --") + std::string(option.name);
    }
    script += "    esac\n";
    std::string tail = kCompletionTail;
    tail.replace(tail.find("%OPTIONS%"), 9, names);
    return script + tail;
}

}  // namespace vantrel::cli
