#pragma once

#include <atomic>
#include <ostream>

#include "cli/CliOptions.h"
#include "cli/RunSummary.h"

namespace vantrel {
class SettingsStore;
class HeadlessSession;
}  // namespace vantrel

namespace vantrel::cli {

// One flash from the command line: ticks the named ports, runs the download headless and shows
// it live; its summary is left for the caller. May run again, reading the ROM file afresh.
// Needs a QCoreApplication on the calling thread.
class CliRunner {
  public:
    CliRunner(const CliOptions& options, SettingsStore& settings, std::ostream& err,
              bool liveTerminal);

    // Returns the exit code.
    int Run();
    // Stops the run at once, and any later one; from any thread, but not from a signal handler.
    void RequestInterrupt();
    bool Interrupted() const { return interrupted_.load(); }
    const RunSummary& Summary() const { return summary_; }

  private:
    int Finish(HeadlessSession& session);

    const CliOptions& options_;
    SettingsStore& settings_;
    std::ostream& err_;
    bool liveTerminal_;
    RunSummary summary_;
    std::atomic<bool> interrupted_{false};
    std::atomic<HeadlessSession*> session_{nullptr};
};

}  // namespace vantrel::cli
