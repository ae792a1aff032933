#include "runlog/RunRecorder.h"

#include <optional>

namespace vantrel {

void RunRecorder::Keep(const RunRecord& record) {
    // Behind a record held in memory the spool would no longer be in order.
    if (!memory_.empty()) {
        memory_.push_back(record);
        throw RunLogError(LogFailure::Disk, "records before it are not safe on the disk either");
    }
    try {
        spool_.Append(record);
        ++spooled_;
    } catch (const RunLogError&) {
        memory_.push_back(record);
        throw;
    }
}

void RunRecorder::Flush() {
    const std::vector<SpooledRecord> waiting = spool_.Pending();
    spooled_ = waiting.size();
    std::vector<std::string> written;
    std::optional<RunLogError> refusal;
    for (const SpooledRecord& spooled : waiting) {
        try {
            log_.Write(spooled.record);
            written.push_back(spooled.line);
        } catch (const RunLogError& error) {
            refusal = error;
            break;
        }
    }
    while (!refusal && !memory_.empty()) {
        try {
            log_.Write(memory_.front());
            memory_.erase(memory_.begin());
        } catch (const RunLogError& error) {
            refusal = error;
        }
    }
    if (!written.empty()) {
        // Written already: should this fail, a later replay writes nothing twice.
        spool_.Remove(written);
        spooled_ -= written.size();
    }
    if (refusal) {
        throw *refusal;
    }
}

}  // namespace vantrel
