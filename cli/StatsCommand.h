#pragma once

#include <ostream>

#include "cli/CliOptions.h"

namespace vantrel::cli {

// --stats: reads the log and prints its report, or writes it as a page with --html. Returns the
// exit code: 0, or 2 when the log cannot be read or the page cannot be written.
int RunStatsCommand(const StatsRequest& request, std::ostream& out, std::ostream& err);

}  // namespace vantrel::cli
