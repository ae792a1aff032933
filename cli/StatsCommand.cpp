#include "cli/StatsCommand.h"

#include "reports/StatsPage.h"
#include "reports/StatsReport.h"
#include "results/RunSummary.h"
#include "runlog/RunLog.h"

namespace vantrel::cli {

int RunStatsCommand(const StatsRequest& request, std::ostream& out, std::ostream& err) {
    try {
        if (!request.htmlPath.empty()) {
            WriteLogPage(request.target, request.since, request.htmlPath);
        } else {
            ReadLog(request.target, [&](RunLog& log) {
                const auto stations = GatherStats(log.Counts(request.since));
                out << (request.json ? StatsJson(stations, request.since)
                                     : StatsText(stations, request.since));
            });
        }
    } catch (const ReportError& error) {
        err << "vantrel-cli: " << error.what() << '\n';
        return kExitNothingFlashed;
    }
    return kExitAllComplete;
}

}  // namespace vantrel::cli
