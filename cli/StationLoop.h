#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "recording/StationRecorder.h"
#include "results/StationTally.h"

namespace vantrel::cli {

class LineInput;

// The command's runs: one, or with --loop one per batch until q; each summary printed, each
// run recorded in the log when one is given.
class StationLoop {
  public:
    static constexpr const char* kPrompt =
        "Replace the units and press Enter to flash again, or q to quit.";

    // input: where Enter and q come from; only needed with --loop.
    // stop: set, also from a signal handler, when the station is to end: every wait on the log
    // ends at once.
    StationLoop(const CliOptions& options, CliRunner& runner, std::ostream& out, std::ostream& err,
                LineInput* input, const std::atomic<bool>* stop = nullptr);
    ~StationLoop();

    // The exit code: that of the last run; 2 when the log cannot be opened, before any port
    // is touched; 130 when stopped.
    int Run();

  private:
    // The exit code when the log cannot be opened.
    std::optional<int> OpenLog();
    // Tallies the run and makes its record safe on the disk.
    void Keep(const RunSummary& summary);
    bool Stopping() const;
    void Print(const RunSummary& summary);
    bool NextBatch();

    const CliOptions& options_;
    CliRunner& runner_;
    std::ostream& out_;
    std::ostream& err_;
    LineInput* input_;
    const std::atomic<bool>* stop_;
    StationTally tally_;
    std::unique_ptr<StationRecorder> recorder_;
};

}  // namespace vantrel::cli
