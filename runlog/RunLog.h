#pragma once

#include <QString>
#include <memory>
#include <stdexcept>
#include <vector>

#include "runlog/LogTarget.h"
#include "runlog/RunRecord.h"

namespace vantrel {

// A failure of the store, with the database driver's own text.
class RunLogError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The run log: the tables runs and units, created on first use. Qt SQL connections belong to
// the thread that opened them, so one log is used on one thread only.
class RunLog {
  public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens the store, creating its tables unless read-only. Throws RunLogError.
    RunLog(const LogTarget& target, Mode mode = Mode::ReadWrite);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The run and its units in one transaction. After a failure the connection is dropped and
    // the next call opens it again. Throws RunLogError.
    void Write(const RunRecord& run);
    // Units of runs started at or after since (an IsoUtc text; empty: all), counted by station,
    // port, result and failure text. Throws RunLogError.
    std::vector<UnitCount> Counts(const std::string& since) const;

  private:
    void Connect();
    void CreateTables();

    LogTarget target_;
    Mode mode_;
    QString connection_;
    bool connected_ = false;
};

}  // namespace vantrel
