#include "runlog/RunRecorder.h"

#include <algorithm>

namespace vantrel {

bool RunRecorder::Keep(const RunRecord& record, std::string& error) {
    // Behind a record held in memory the spool would no longer be in order.
    if (memory_.empty() && spool_.Append(record, error)) {
        ++spooled_;
        return true;
    }
    if (!memory_.empty() && error.empty()) {
        error = "records before it are not safe on the disk either";
    }
    memory_.push_back(record);
    return false;
}

std::optional<std::string> RunRecorder::Flush() {
    std::string spoolError;
    std::vector<RunRecord> waiting = spool_.Pending(spoolError);
    const std::size_t fromSpool = waiting.size();
    waiting.insert(waiting.end(), memory_.begin(), memory_.end());
    std::size_t written = 0;
    std::optional<std::string> refusal;
    for (; written < waiting.size(); ++written) {
        try {
            log_.Write(waiting[written]);
        } catch (const RunLogError& error) {
            refusal = error.what();
            break;
        }
    }
    // What the log did not take stays, in order: the spool's rest, then memory's rest.
    const auto at = [&](std::size_t index) { return waiting.begin() + static_cast<long>(index); };
    const std::vector<RunRecord> spoolRest(at(std::min(written, fromSpool)), at(fromSpool));
    memory_.assign(at(std::max(written, fromSpool)), waiting.end());
    if (written > 0 && !spool_.Keep(spoolRest, spoolError) && !refusal) {
        // Written already: replaying them later writes nothing twice.
        refusal = spoolError;
    }
    spooled_ = spoolRest.size();
    if (!refusal && !spoolError.empty()) {
        refusal = spoolError;
    }
    return refusal;
}

}  // namespace vantrel
