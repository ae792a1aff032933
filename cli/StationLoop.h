#pragma once

#include <memory>
#include <ostream>

#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/RunRecordMaker.h"
#include "cli/StationTally.h"
#include "runlog/RunLog.h"
#include "runlog/RunRecorder.h"

namespace vantrel::cli {

class LineInput;

// "run 41 of 14:02 on line1-st3 did not finish: COM1, COM2 may be erased and not flashed"
std::string InterruptedText(const InterruptedRun& run);

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
    std::string SpoolName() const;
    // The write-ahead record of a run about to touch its units; false when it has no record.
    bool RecordStart(const RunSummary& summary);
    // Tallies the run and makes its record safe on the disk.
    void Keep(const RunSummary& summary);
    // Writes what waits, oldest first, as far as the log takes it.
    void Flush();
    void ReportUnwritten(const std::string& reason);
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
    std::unique_ptr<RunRecorder> recorder_;
};

}  // namespace vantrel::cli
