#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recording/RunRecordMaker.h"
#include "results/RunSummary.h"
#include "runlog/LogWaits.h"
#include "runlog/RunLog.h"
#include "runlog/RunRecorder.h"
#include "runlog/StationClaim.h"

namespace vantrel {

// "run 41 of 14:02 on line1-st3 did not finish: COM1, COM2 may be erased and not flashed"
std::string InterruptedText(const InterruptedRun& run);

// A station's runs on their way to the run log, with the log's guarantees: a run is on record
// (spool or log) before a unit is touched, or it does not start; its end is safe on the disk
// before it is written; nothing is lost when the log is down, stalls or is shared. Every wait
// ends within the log's bound or at once when the stop flag is set. A log that failed is not
// waited for again before a run: its records wait in the spool until after the run. Everything
// it has to say goes to the report, one line at a time, never with a password. One thread.
class StationRecorder {
  public:
    using Report = std::function<void(const std::string& line)>;

    // program: how the process is named to another one refused the same station name.
    StationRecorder(std::string target, StationNames names, std::string program, Report report,
                    const std::atomic<bool>* stop = nullptr);
    ~StationRecorder();

    // Claims the station's name, opens the log, writes what an earlier start left waiting and
    // tells the station's runs that never finished. Throws RunLogError, its text ready to show.
    void Open();
    bool IsOpen() const { return recorder_ != nullptr; }
    // The write-ahead record of a run about to touch its units; false when the run has no
    // record anywhere and must not start.
    bool RecordStart(const RunSummary& summary);
    // Makes the run's end safe on the disk; Flush brings it to the log.
    void RecordEnd(const RunSummary& summary);
    // Writes what waits, oldest first, as far as the log takes it.
    void Flush();
    // What is still not in the log when the station stops: lines to tell, and whether a record
    // is kept nowhere (neither in the log nor in the spool).
    std::vector<std::string> LeftOver() const;
    bool SomeNotRecorded() const;

  private:
    std::string LogName() const;
    void Keep(const RunRecord& record);
    void TellSpoolNotices();
    // Runs of this station left running by a process of this computer that is gone.
    void TellInterrupted();

    std::string target_;
    std::string shownTarget_;
    StationNames names_;
    std::string program_;
    Report report_;
    LogWaits waits_;
    std::unique_ptr<StationClaim> claim_;
    std::unique_ptr<RunLog> log_;
    std::unique_ptr<RunRecorder> recorder_;
    bool logAnswered_ = false;  // the last write reached the log
    bool interruptedTold_ = false;
};

}  // namespace vantrel
