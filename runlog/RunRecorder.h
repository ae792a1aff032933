#pragma once

#include <string>
#include <vector>

#include "runlog/RunLog.h"
#include "runlog/RunSpool.h"

namespace vantrel {

// Brings every record to the log exactly once, in order: each is kept in the spool first, so a
// killed process or a log that is down loses nothing, then written as soon as the log takes
// it. The log keeps a record once by its key however often it is written (a spool replayed
// after a crash, two processes replaying one spool), and never lets a run's start overwrite
// its end. Throws RunLogError.
class RunRecorder {
  public:
    RunRecorder(RunLog& log, RunSpool spool) : log_(log), spool_(std::move(spool)) {}

    // Makes the record safe on the disk. When the disk refuses it, it is held in memory and
    // written with the next Flush if the log takes it; the disk's refusal is thrown.
    void Keep(const RunRecord& record);
    // Writes what waits, oldest first; the log's refusal is thrown, and what it did not take
    // stays where it was.
    void Flush();

    // Records the log has not taken yet: in the spool, and in memory only.
    std::size_t Spooled() const { return spooled_; }
    std::size_t OnlyInMemory() const { return memory_.size(); }
    RunSpool& Spool() { return spool_; }

  private:
    RunLog& log_;
    RunSpool spool_;
    std::vector<RunRecord> memory_;
    std::size_t spooled_ = 0;
};

}  // namespace vantrel
