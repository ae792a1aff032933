#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reports/StatsReport.h"
#include "runlog/RunRecord.h"

namespace vantrel {

// What a stats page shows, and of which log and time.
struct StatsPageData {
    std::string target;       // the log as it may be shown (ShownLogTarget): never a password
    std::string since;        // an IsoUtc text; empty for all runs
    std::string generatedAt;  // an IsoUtc text
    std::vector<StationStats> stations;
    std::vector<HourCount> hours;
};

// One self-contained HTML page: yield per station and port, units per hour, the most frequent
// failures per port, and the table --stats prints. Charts are inline SVG; the page runs no
// script and its policy lets it load nothing, so it can be mailed or archived as it is.
std::string StatsPage(const StatsPageData& data);

// Writes the page whole or not at all: a temporary file beside it, renamed over it once
// complete. Throws ReportError.
void WriteStatsPage(const std::string& path, const std::string& page);

// Reads the log (only reads) and writes its page for the runs since the date (IsoUtc; empty:
// all). Throws ReportError, one line saying what failed: the log, shown without its password,
// or the file.
void WriteLogPage(const std::string& target, const std::string& since, const std::string& path);

}  // namespace vantrel
