#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vantrel {

// A request to stop a run, with a sleep that ends as soon as the request is made. A wait for
// progress also ends when a unit's acknowledgement has been counted.
class StopSignal {
  public:
    void RequestStop() {
        {
            std::lock_guard lock(mutex_);
            stopRequested_.store(true);
        }
        wake_.notify_all();
    }
    bool StopRequested() const { return stopRequested_.load(); }
    // Clears an earlier request; only between runs.
    void Reset() { stopRequested_.store(false); }
    // Returns true when the stop was requested before the deadline.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return wake_.wait_until(lock, deadline, [this] { return stopRequested_.load(); });
    }

    // Waits until done() holds or a stop is requested; true when done() holds. Whoever makes
    // done() true calls Wake() afterwards.
    template <typename Condition>
    bool WaitUntilDoneOrStopped(Condition done) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopRequested_.load() || done(); });
        return done();
    }
    void Wake() {
        // Taking the lock once orders the change before a waiter's next look at it.
        { std::lock_guard lock(mutex_); }
        wake_.notify_all();
    }

    // Any thread: something a waiting worker looks for has happened (an ACK was counted).
    void NotifyProgress() {
        {
            std::lock_guard lock(mutex_);
            ++progress_;
        }
        wake_.notify_all();
    }
    // Returns true when the stop was requested before the deadline; false at the deadline or as
    // soon as progress was notified after `seen`, which is then brought up to date.
    bool WaitForProgress(std::chrono::steady_clock::time_point deadline, std::uint64_t& seen) {
        std::unique_lock lock(mutex_);
        wake_.wait_until(lock, deadline,
                         [&] { return stopRequested_.load() || progress_ != seen; });
        seen = progress_;
        return stopRequested_.load();
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopRequested_{false};
    std::uint64_t progress_ = 0;  // under mutex_
};

}  // namespace vantrel
