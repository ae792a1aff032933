#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace vantrel {

// How long one log operation may take, kept by the loader's own clock whatever the database or
// the network does, and the flag that ends every wait at once. The flag may be set from a
// signal handler: waits look at it at least every kLogWaitSlice.
struct LogWaits {
    std::chrono::milliseconds bound{5000};
    const std::atomic<bool>* stop = nullptr;
};

inline constexpr std::chrono::milliseconds kLogWaitSlice{50};

// The end of one operation's bound.
class LogDeadline {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LogDeadline(const LogWaits& waits)
        : until_(Clock::now() + waits.bound), bound_(waits.bound), stop_(waits.stop) {}

    bool StopRequested() const { return stop_ != nullptr && stop_->load(); }
    bool Passed() const { return Clock::now() >= until_; }
    // Throws RunLogError once either has come: Stopped, or NoAnswer saying "<what> <overdue>
    // <bound>", as "the database server did not answer within 5 s".
    void Check(const std::string& what, const char* overdue = "did not answer within") const;
    // How long the next wait may sleep: a slice, or less at the end of the bound.
    std::chrono::milliseconds NextSlice() const;
    std::chrono::milliseconds Bound() const { return bound_; }

  private:
    Clock::time_point until_;
    std::chrono::milliseconds bound_;
    const std::atomic<bool>* stop_;
};

}  // namespace vantrel
