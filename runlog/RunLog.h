#pragma once

#include <QSqlDatabase>
#include <QString>
#include <functional>
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

// The run log: the tables runs and units, made when missing. Every wait on the store is bounded
// (PostgreSQL: connect, statement and lock timeouts; SQLite: a busy timeout). Qt SQL connections
// belong to the thread that opened them, so one log is used on one thread only.
class RunLog {
  public:
    enum class Mode { ReadWrite, ReadOnly };

    // Opens the store, creating its tables unless read-only. Throws RunLogError.
    RunLog(const LogTarget& target, Mode mode = Mode::ReadWrite);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The run and its units in one transaction: a new run, or the one written under the same
    // key before, whose units it replaces; so a record written twice is kept once. After a
    // failure the connection is dropped and the next call opens it again. Throws RunLogError.
    void Write(const RunRecord& run);
    // Marks the station's runs still "running" as "interrupted" (finished at now) and returns
    // them: no run of this station goes on while it starts. Throws RunLogError.
    std::vector<InterruptedRun> CloseInterrupted(const std::string& station,
                                                 const std::string& now);
    // Units of runs started at or after since (an IsoUtc text; empty: all), counted by station,
    // port, result and failure text. Throws RunLogError.
    std::vector<UnitCount> Counts(const std::string& since) const;
    // Units passed and failed in runs started at or after since, by station and the hour the
    // run started in, oldest first. Throws RunLogError.
    std::vector<HourCount> UnitsPerHour(const std::string& since) const;

  private:
    void Connect();
    void InTransaction(const std::function<void(QSqlDatabase&)>& work);
    void CreateTables();

    LogTarget target_;
    Mode mode_;
    QString connection_;
    bool connected_ = false;
};

}  // namespace vantrel
