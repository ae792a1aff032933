#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/unitsim/UnitSim.h"

namespace vantrel::sim {

inline constexpr unsigned kMaxUnits = 64;

struct ProgramOptions {
    std::string dir;  // empty: the program makes a temporary one and says where
    unsigned count = 1;
    bool fast = false;
    bool quiet = false;
    bool spin = false;
    bool help = false;
    std::optional<std::chrono::milliseconds> eraseTime;
    std::optional<std::chrono::milliseconds> writeTime;
    std::uint32_t flashBase = 0x00C10000;
    std::uint32_t flashSize = 640 * 1024;
    std::uint32_t maxBaud = UnitOptions{}.maxBaud;  // every unit's, unless it has its own
    std::map<unsigned, std::uint32_t> unitMaxBaud;
    std::map<unsigned, std::vector<Fault>> faults;
    std::map<std::pair<unsigned, unsigned>, std::vector<Fault>> instanceFaults;  // U#N
    std::optional<PlugPlan> plug;  // its seed from --seed
    std::optional<std::chrono::milliseconds> operatorSwap;
};

struct ParsedCommandLine {
    std::optional<ProgramOptions> options;
    std::string error;  // set when options is empty
};

// args are the arguments after the program's name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args);
std::string UsageText(std::string_view program);
// --fast drops the line time and, unless given, the erase and write times.
BenchOptions MakeBenchOptions(const ProgramOptions& options);

}  // namespace vantrel::sim
