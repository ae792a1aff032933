#include "cli/StatsCommand.h"

#include "runlog/RunLog.h"
#include "station/RunSummary.h"
#include "station/StatsPage.h"
#include "station/StatsReport.h"

namespace vantrel::cli {

int RunStatsCommand(const StatsRequest& request, std::ostream& out, std::ostream& err) {
    if (!request.htmlPath.empty()) {
        if (const auto error = WriteLogPage(request.target, request.since, request.htmlPath)) {
            err << "vantrel-cli: " << *error << '\n';
            return kExitNothingFlashed;
        }
        return kExitAllComplete;
    }
    const auto target = ParseLogTarget(request.target);
    if (const auto* error = std::get_if<LogTargetError>(&target)) {
        err << "vantrel-cli: " << error->text << '\n';
        return kExitNothingFlashed;
    }
    try {
        const RunLog log(std::get<LogTarget>(target), RunLog::Mode::ReadOnly);
        const auto stations = GatherStats(log.Counts(request.since));
        out << (request.json ? StatsJson(stations, request.since)
                             : StatsText(stations, request.since));
    } catch (const RunLogError& error) {
        err << "vantrel-cli: cannot read the log " << ShownLogTarget(request.target) << ": "
            << error.what() << '\n';
        return kExitNothingFlashed;
    }
    return kExitAllComplete;
}

}  // namespace vantrel::cli
