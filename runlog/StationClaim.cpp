#include "runlog/StationClaim.h"

#include <QDir>
#include <chrono>

#include "runlog/IsoTime.h"
#include "runlog/RunLogError.h"
#include "runlog/WriterProcess.h"

namespace vantrel {
namespace {

QString ClaimPath(const std::string& logName, const std::string& station) {
    return StateFileFor("station", logName + '\n' + station, ".lock");
}

FileLock Claimed(const std::string& logName, const std::string& station) {
    const QString path = ClaimPath(logName, station);
    auto lock = FileLock::TryTake(path);
    if (!lock) {
        std::string holder = ReadWholeFile(path);
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) {
            holder.pop_back();
        }
        throw RunLogError(LogFailure::Claimed,
                          "the station " + station + " already logs to " + logName + " from " +
                              (holder.empty() ? std::string("another process") : holder) +
                              " on this computer: give this one another station name, or end "
                              "that one first");
    }
    return std::move(*lock);
}

}  // namespace

StationClaim::StationClaim(const std::string& logName, const std::string& station,
                           const std::string& program)
    : lock_(Claimed(logName, station)) {
    lock_.WriteNote("process " + std::to_string(ThisProcess().pid) + " (" + program + ", since " +
                    IsoUtc(std::chrono::system_clock::now()) + ")\n");
}

}  // namespace vantrel
