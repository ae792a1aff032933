#pragma once

#include <QObject>
#include <atomic>
#include <map>
#include <memory>
#include <ostream>
#include <set>

#include "cli/CliOptions.h"
#include "engine/PortWatch.h"
#include "recording/BackgroundRecorder.h"
#include "results/RunSummary.h"
#include "results/StationTally.h"
#include "session/WatchSession.h"

class QEventLoop;

namespace vantrel {
class SettingsStore;
}

namespace vantrel::cli {

// vantrel-cli --watch: a hands-free station. Each port named flashes every unit plugged into it,
// on its own, the moment the unit answers; one line per unit as it ends on the output (a JSON
// object per line with --json); what the station has to tell (a device missing or back, a
// rebuilt or broken ROM file, the log) on the error stream. Runs until RequestStop, then ends
// every port at once, units mid-flash recorded as stopped, and prints the tallies. Needs a
// QCoreApplication on the calling thread.
class WatchCommand {
  public:
    WatchCommand(const CliOptions& options, SettingsStore& settings, std::ostream& out,
                 std::ostream& err);
    ~WatchCommand();
    WatchCommand(const WatchCommand&) = delete;
    WatchCommand& operator=(const WatchCommand&) = delete;

    // The exit code: 0 every unit passed, 1 some failed or was stopped, 2 nothing watched
    // (ROM file, ports or log refused, no port touched), 4 a record kept nowhere.
    int Run();
    // Any thread but a signal handler: the watch ends.
    void RequestStop();

  private:
    WatchSession::Events Events();
    void BeforeUnit(const PreparedBatch& unit, PortWatcherHooks::Proceed proceed);
    void UnitEnded(const PreparedBatch& unit, const BatchResult& result);
    void PhaseChanged(int port, WatchPhase phase, const QString& cause);
    void RomChanged(const WatchedRom::Look& look);
    void Tell(const std::string& line);
    void TellReports();
    std::string PortName(int port) const;

    const CliOptions& options_;
    SettingsStore& settings_;
    std::ostream& out_;
    std::ostream& err_;
    std::atomic<bool> stop_{false};
    QObject context_;  // where the watch's and the log's news are handled
    QEventLoop* loop_ = nullptr;
    std::string romPath_;
    std::string baseAddress_;
    std::map<int, std::string> devices_;
    std::unique_ptr<BackgroundRecorder> recorder_;
    std::map<int, RunSummary> runs_;  // the unit under way on each port
    std::map<int, WatchPhase> phases_;
    std::set<int> notRecorded_;  // ports whose unit's record failed, told once
    StationTally tally_;
    bool someFailed_ = false;
};

}  // namespace vantrel::cli
