#include "runlog/LogWaits.h"

#include <algorithm>
#include <cstdio>

#include "runlog/RunLogError.h"

namespace vantrel {

void LogDeadline::Check(const std::string& what, const char* overdue) const {
    if (StopRequested()) {
        throw RunLogError(LogFailure::Stopped, "stopped while waiting for " + what);
    }
    if (Passed()) {
        const auto seconds = std::chrono::duration<double>(bound_).count();
        char text[32];
        std::snprintf(text, sizeof text, "%g", seconds);
        throw RunLogError(LogFailure::NoAnswer, what + " " + overdue + " " + text + " s");
    }
}

std::chrono::milliseconds LogDeadline::NextSlice() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until_ - Clock::now());
    return std::clamp(left, std::chrono::milliseconds(0), kLogWaitSlice);
}

}  // namespace vantrel
