#pragma once

#include <string>
#include <vector>

#include "reports/StatsReport.h"
#include "runlog/RunRecord.h"

namespace vantrel {

// The stats page's charts, as inline SVG drawn 1000 units wide.

// Each port's units as one bar, passed on the left and failed on the right.
std::string YieldChart(const std::vector<StationStats>& stations);
// One chart per station of its units per hour (UTC), over the same hours and scale.
std::string HoursCharts(const std::vector<HourCount>& counts);
// Per port, its most frequent failure texts as bars, all on one scale.
std::string FailuresCharts(const std::vector<StationStats>& stations);

// The key to the charts' colours.
std::string Legend();
// "66.7%", as --stats prints it; "-" without a finished unit.
std::string Percent(const PortStats& stats);

inline constexpr const char* kPassedColour = "#2e8540";
inline constexpr const char* kFailedColour = "#c8372d";

}  // namespace vantrel
