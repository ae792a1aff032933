#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "runlog/RunLog.h"
#include "runlog/RunRecord.h"

namespace vantrel {

// How the units of one port of a station (or all its ports, port "all") ended.
struct PortStats {
    std::string port;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::int64_t unknown = 0;  // units of runs that never finished: possibly erased
    // Failure texts with their counts, the most frequent first.
    std::vector<std::pair<std::string, std::int64_t>> failures;
};

struct StationStats {
    std::string station;
    PortStats total;
    std::vector<PortStats> ports;  // COM1, COM2, ... COM10 in number order
};

// The log's counts by station and port. Units never flashed are left out.
std::vector<StationStats> GatherStats(const std::vector<UnitCount>& counts);

// Up to this many failure texts per row.
inline constexpr std::size_t kTopFailures = 3;

// "66.7", or nothing without a unit passed or failed.
std::optional<std::string> YieldText(const PortStats& stats);
// "Force2Mon Failed... (3), Erase Failed... (1)": the first kTopFailures.
std::string TopFailuresText(const PortStats& stats);

// The one way a report fails: one line that says what failed, a log shown without its
// password.
class ReportError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Opens the log at target for reading only and hands it to read. Throws ReportError.
void ReadLog(const std::string& target, const std::function<void(RunLog& log)>& read);

std::string StatsText(const std::vector<StationStats>& stations, const std::string& since);
std::string StatsJson(const std::vector<StationStats>& stations, const std::string& since);

}  // namespace vantrel
