#pragma once

#include <deque>
#include <memory>
#include <ostream>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/RunRecordMaker.h"
#include "cli/StationTally.h"
#include "runlog/RunLog.h"

namespace vantrel::cli {

class LineInput;

// The command's runs: one, or with --loop one per batch until q; each summary printed, each
// run recorded in the log when one is given.
class StationLoop {
  public:
    static constexpr const char* kPrompt =
        "Replace the units and press Enter to flash again, or q to quit.";

    // input: where Enter and q come from; only needed with --loop.
    StationLoop(const CliOptions& options, CliRunner& runner, std::ostream& out, std::ostream& err,
                LineInput* input);
    ~StationLoop();

    // The exit code: that of the last run; 2 when the log cannot be opened, before any port
    // is touched.
    int Run();

  private:
    bool OpenLog();
    // Writes this run's record and any a failed write left behind, oldest first.
    void Record(const RunSummary& summary);
    void Print(const RunSummary& summary);
    bool NextBatch();

    const CliOptions& options_;
    CliRunner& runner_;
    std::ostream& out_;
    std::ostream& err_;
    LineInput* input_;
    StationNames names_;
    StationTally tally_;
    std::unique_ptr<RunLog> log_;
    std::deque<RunRecord> unwritten_;
};

}  // namespace vantrel::cli
