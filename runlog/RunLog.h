#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runlog/LogDatabase.h"
#include "runlog/LogTarget.h"
#include "runlog/LogWaits.h"
#include "runlog/RunLogError.h"
#include "runlog/RunRecord.h"

namespace vantrel {

// The run log: the tables runs and units, made when missing by whichever station comes first.
// Every operation ends within its bound or at a stop (LogWaits), whatever the database does.
// A failed operation drops the connection; the next one connects again. One log is used on
// one thread only. Throws RunLogError.
class RunLog {
  public:
    // Connects and, unless read-only, makes what the log lacks.
    explicit RunLog(const LogTarget& target, LogAccess access = LogAccess::ReadWrite,
                    LogWaits waits = {});
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The run and its units in one transaction, kept once by the run's key however often it is
    // written. A run's end replaces its start and an interruption; a start never replaces
    // anything, so a late replay of a start cannot undo an end.
    void Write(const RunRecord& run);
    // The station's runs still "running", oldest first, with the process that wrote each.
    std::vector<InterruptedRun> LeftRunning(const std::string& station);
    // Marks one of them "interrupted", finished at now, unless its end came meanwhile.
    void MarkInterrupted(std::int64_t id, const std::string& now);
    // Units of runs started at or after since (an IsoUtc text; empty: all), counted by station,
    // port, result and failure text.
    std::vector<UnitCount> Counts(const std::string& since);
    // Units passed and failed in runs started at or after since, by station and the hour the
    // run started in, oldest first.
    std::vector<HourCount> UnitsPerHour(const std::string& since);

  private:
    LogDatabase& Connected();
    std::vector<SqlRow> Query(const std::string& sql, const std::vector<SqlValue>& values);
    template <typename Work>
    void InTransaction(Work work);
    void MakeWhatIsMissing();

    LogTarget target_;
    LogAccess access_;
    LogWaits waits_;
    std::unique_ptr<LogDatabase> database_;
};

}  // namespace vantrel
