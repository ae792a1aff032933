#pragma once

#include <span>
#include <string>

namespace vantrel::cli {

// The commands of vantrel-cli, as bits: which of them an option goes with.
enum Command : unsigned {
    kFlash = 1,      // the default: flash the units on the ports named
    kStats = 2,      // --stats: the log's report
    kListPorts = 4,  // --list-ports
    kInspect = 8,    // --inspect: what a file would flash
    kEveryCommand = kFlash | kStats | kListPorts | kInspect,
};

// What the shell's completion offers for an option's value.
enum class ValueKind { Text, FirmwareFile, LineSpeed, PageFile, LogFile };

// One option, once: the parser, the exclusions, the usage text and the shell's completion are
// made of these, and the manual page is tested against them.
struct OptionSpec {
    const char* name;     // without its dashes
    const char* value;    // how the usage names its value; nothing for a flag
    unsigned commands;    // the commands it goes with
    const char* command;  // the command it selects, when it does: told in refusals
    ValueKind kind;       // what its value is, for the completion
    const char* missing;  // told when its value is missing
    const char* help;     // the usage's words, lines after the first indented
};

std::span<const OptionSpec> OptionTable();
// The option of that name; nothing when there is none.
const OptionSpec* FindOption(const std::string& name);

// What a command's refusal of another option says: "--inspect flashes nothing: it takes only
// --base and --json".
const char* CommandRefusal(Command command);

// The bash completion of vantrel-cli, made from the table.
std::string BashCompletion();

}  // namespace vantrel::cli
