#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vantrel::testing {

// A one-shot gate between two threads.
class Gate {
  public:
    void Open() {
        // Notified under the lock: a waiter that wakes may destroy the gate at once.
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool WaitOpen(std::chrono::milliseconds patience = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, patience, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

}  // namespace vantrel::testing
