#include "cli/StatsCommand.h"

#include <algorithm>
#include <chrono>

#include "cli/StatsPage.h"
#include "cli/StatsReport.h"
#include "runlog/IsoTime.h"
#include "runlog/RunLog.h"
#include "station/RunSummary.h"

namespace vantrel::cli {
namespace {

// A driver's message may span lines; ours is one.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\t'; }, ' ');
    return text;
}

}  // namespace

int RunStatsCommand(const StatsRequest& request, std::ostream& out, std::ostream& err) {
    const std::string shown = ShownLogTarget(request.target);
    const std::string notWritten =
        request.htmlPath.empty() ? "" : "; " + request.htmlPath + " not written";
    const auto target = ParseLogTarget(request.target);
    if (const auto* error = std::get_if<LogTargetError>(&target)) {
        err << "vantrel-cli: " << error->text << notWritten << '\n';
        return kExitNothingFlashed;
    }
    try {
        const RunLog log(std::get<LogTarget>(target), RunLog::Mode::ReadOnly);
        const auto stations = GatherStats(log.Counts(request.since));
        if (request.htmlPath.empty()) {
            out << (request.json ? StatsJson(stations, request.since)
                                 : StatsText(stations, request.since));
            return kExitAllComplete;
        }
        const StatsPageData page{shown, request.since, IsoUtc(std::chrono::system_clock::now()),
                                 stations, log.UnitsPerHour(request.since)};
        if (const auto error = WriteStatsPage(request.htmlPath, StatsPage(page))) {
            err << "vantrel-cli: cannot write " << request.htmlPath << ": " << OneLine(*error)
                << '\n';
            return kExitNothingFlashed;
        }
    } catch (const RunLogError& error) {
        err << "vantrel-cli: cannot read the log " << shown << ": " << OneLine(error.what())
            << notWritten << '\n';
        return kExitNothingFlashed;
    }
    return kExitAllComplete;
}

}  // namespace vantrel::cli
