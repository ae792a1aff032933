#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runlog/RunLog.h"
#include "runlog/RunSpool.h"

namespace vantrel {

// Brings every record to the log exactly once, in order: each is kept in the spool first, so a
// killed process or a log that is down loses nothing, then written as soon as the log takes
// it. A record written twice (the spool replayed after a crash) is kept once, by its key.
class RunRecorder {
  public:
    RunRecorder(RunLog& log, RunSpool spool) : log_(log), spool_(std::move(spool)) {}

    // Makes the record safe on the disk. False with the reason when it could not: it is then
    // held in memory only, and written with the next Flush if the log takes it.
    bool Keep(const RunRecord& record, std::string& error);
    // Writes what waits, oldest first, until the log refuses one; the reason of a refusal.
    std::optional<std::string> Flush();

    // Records the log has not taken yet: in the spool, and in memory only.
    std::size_t Spooled() const { return spooled_; }
    std::size_t OnlyInMemory() const { return memory_.size(); }
    const RunSpool& Spool() const { return spool_; }

  private:
    RunLog& log_;
    RunSpool spool_;
    std::vector<RunRecord> memory_;
    std::size_t spooled_ = 0;
};

}  // namespace vantrel
