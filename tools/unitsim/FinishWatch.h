#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

namespace vantrel::sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// A unit that took the Demon and then stays this long without a frame has finished: the loader
// completed it or gave it up.
inline constexpr std::chrono::seconds kFinishQuiet{1};

// Tells when a unit has finished. Only frames and the unit's own work count: the loader's probes
// (force-to-monitor, enquiry) go on after the download and must not keep a unit busy.
class FinishWatch {
  public:
    void TookDemonChunk() { tookDemonChunk_ = true; }
    // Busy until then: a frame taken then, or the unit's own work (an erase) ending then.
    void BusyUntil(TimePoint until) { busyUntil_ = std::max(busyUntil_, until); }
    // When the quiet spell ends if nothing else comes; nothing before a Demon chunk.
    std::optional<TimePoint> Due() const {
        if (!tookDemonChunk_) {
            return std::nullopt;
        }
        return busyUntil_ + kFinishQuiet;
    }
    // The finish time, once now has reached it.
    std::optional<TimePoint> FinishedBy(TimePoint now) const {
        const auto due = Due();
        return due && *due <= now ? due : std::nullopt;
    }

  private:
    bool tookDemonChunk_ = false;
    TimePoint busyUntil_{};
};

}  // namespace vantrel::sim
