#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runlog/RunLog.h"
#include "runlog/RunRecorder.h"
#include "station/RunRecordMaker.h"
#include "station/RunSummary.h"

namespace vantrel {

// "run 41 of 14:02 on line1-st3 did not finish: COM1, COM2 may be erased and not flashed"
std::string InterruptedText(const InterruptedRun& run);

// A station's runs on their way to the run log, with the log's guarantees: a run is on record
// (spool or log) before a unit is touched, or it does not start; its end is safe on the disk
// before it is written; nothing is lost when the log is down. Everything it has to say goes to
// the report, one line at a time, never with a password. Used on one thread only.
class StationRecorder {
  public:
    using Report = std::function<void(const std::string& line)>;

    StationRecorder(std::string target, StationNames names, Report report);
    ~StationRecorder();

    // Opens the log, writes what an earlier start left waiting and reports the station's runs
    // that never finished. The reason when the log cannot be opened.
    std::optional<std::string> Open();
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
    std::string SpoolName() const;
    void ReportUnwritten(const std::string& reason);

    std::string target_;
    std::string shownTarget_;
    StationNames names_;
    Report report_;
    std::unique_ptr<RunLog> log_;
    std::unique_ptr<RunRecorder> recorder_;
};

}  // namespace vantrel
