#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "runlog/LogWaits.h"
#include "runlog/RunRecord.h"

namespace vantrel {

// A record as it waits in the spool: the record and its line exactly as stored.
struct SpooledRecord {
    RunRecord record;
    std::string line;
};

// Records on their way to one log, in a local file that outlives the process: one JSON line per
// record, oldest first, each synced to the disk before Append returns. Any number of processes
// of this computer may share it: every read and change holds the spool's lock, and a rewrite
// keeps what others appended meanwhile. What cannot be a record of this log (a line cut short
// by a crash or a full disk, text that is not a record, a record of another log) is set aside
// in a file beside it, told once, and never joins the next record. Others hold the lock only
// for the file's own reading and writing, so it is waited for a short while, also when the
// station is stopping: a record kept matters more. Throws RunLogError.
class RunSpool {
  public:
    // logName: the log as every message shows it; each line carries it.
    RunSpool(QString path, std::string logName);

    // The spool of one log, in the user's state folder.
    static QString PathFor(const std::string& logName);

    void Append(const RunRecord& record);
    // What waits, oldest first.
    std::vector<SpooledRecord> Pending();
    // Takes these lines out (they reached the log); whatever else waits stays.
    void Remove(const std::vector<std::string>& lines);
    // What was set aside since the last call, as lines to tell.
    std::vector<std::string> TakeNotices();

    const QString& Path() const { return path_; }
    QString AsidePath() const { return path_ + QStringLiteral(".aside"); }

  private:
    class Locked;
    // Under the lock: the spool's records, once whatever is not one is set aside.
    std::vector<SpooledRecord> Tidy();

    QString path_;
    std::string logName_;
    std::vector<std::string> notices_;
};

// The record as one line of JSON naming its log, and back; nothing for a line that is not one.
std::string RunRecordLine(const RunRecord& record, const std::string& logName);
struct ParsedRecordLine {
    RunRecord record;
    std::optional<std::string> logName;  // none in the lines of earlier versions
};
std::optional<ParsedRecordLine> RunRecordFromLine(const std::string& line);

}  // namespace vantrel
