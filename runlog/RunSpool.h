#pragma once

#include <QString>
#include <string>
#include <vector>

#include "runlog/RunRecord.h"

namespace vantrel {

// Records on their way to the log, in a local file that outlives the process: one JSON line per
// record, oldest first, each synced to the disk before Append returns.
class RunSpool {
  public:
    explicit RunSpool(QString path) : path_(std::move(path)) {}

    // The spool of one log, in the user's state folder (XDG_STATE_HOME, else ~/.local/state):
    // a file per log, named by a digest of its shown target, so two logs never mix.
    static QString PathFor(const std::string& shownTarget);

    // False, with the reason, when the record could not be made safe on the disk.
    bool Append(const RunRecord& record, std::string& error);
    // What waits, oldest first. A line that cannot be read is kept in the file and reported.
    std::vector<RunRecord> Pending(std::string& error) const;
    // Leaves only the given records, replacing the file at once; none removes it.
    bool Keep(const std::vector<RunRecord>& records, std::string& error);
    const QString& Path() const { return path_; }

  private:
    QString path_;
};

// The record as one line of JSON, and back; nothing for a line that is not one.
std::string RunRecordLine(const RunRecord& record);
std::optional<RunRecord> RunRecordFromLine(const std::string& line);

}  // namespace vantrel
