#include "threading/UiThreadCall.h"

#include <QThread>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

namespace vantrel {
namespace {

// How often a waiting worker looks at the stop signal, which cannot wake it itself.
constexpr std::chrono::milliseconds kStopCheck{5};

// The state of one posted call, shared by the waiting worker and the call itself. A call goes
// from pending to running to done; a worker stopped while it is still pending abandons it, and it
// never runs.
class Completion {
  public:
    // The call is about to run; false when the worker has given up on it already.
    bool Begin() {
        std::lock_guard lock(mutex_);
        if (state_ != State::Pending) {
            return false;
        }
        state_ = State::Running;
        return true;
    }
    // The call is over (or gone without running); the first word counts.
    void MarkDone(std::exception_ptr error = nullptr) {
        {
            std::lock_guard lock(mutex_);
            if (state_ == State::Done) {
                return;
            }
            state_ = State::Done;
            error_ = std::move(error);
        }
        changed_.notify_all();
    }
    // What the call threw; read by the worker once WaitUntilDone has said it is over.
    std::exception_ptr Error() {
        std::lock_guard lock(mutex_);
        return error_;
    }
    // True when the call is over; false when a stop came first.
    bool WaitUntilDone(const StopSignal& stop) {
        std::unique_lock lock(mutex_);
        while (state_ != State::Done) {
            if (stop.StopRequested()) {
                if (state_ == State::Pending) {
                    state_ = State::Abandoned;
                }
                return false;
            }
            changed_.wait_for(lock, kStopCheck);
        }
        return true;
    }

  private:
    enum class State { Pending, Running, Done, Abandoned };

    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = State::Pending;
    std::exception_ptr error_;
};

// Held by the posted call only; when the call goes, run or not, the waiter is released.
struct CompletionGuard {
    explicit CompletionGuard(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
    CompletionGuard(const CompletionGuard&) = delete;
    CompletionGuard& operator=(const CompletionGuard&) = delete;
    ~CompletionGuard() { completion->MarkDone(); }
    std::shared_ptr<Completion> completion;
};

}  // namespace

bool CallOnMailboxThread(CallMailbox& mailbox, const StopSignal& stop, std::function<void()> call) {
    if (stop.StopRequested()) {
        return false;
    }
    if (QThread::currentThread() == mailbox.thread()) {
        call();
        return true;
    }
    auto completion = std::make_shared<Completion>();
    auto guard = std::make_shared<CompletionGuard>(completion);
    const StopSignal* stopSignal = &stop;
    mailbox.Post([stopSignal, guard = std::move(guard), call = std::move(call)] {
        // The worker may have given up on this call: after a stop nothing is touched.
        std::exception_ptr error;
        if (!stopSignal->StopRequested() && guard->completion->Begin()) {
            // A throw goes back to the worker that asked for the call, never into the event loop.
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
        }
        guard->completion->MarkDone(std::move(error));
    });
    if (!completion->WaitUntilDone(stop)) {
        return false;
    }
    if (const std::exception_ptr error = completion->Error()) {
        std::rethrow_exception(error);
    }
    return true;
}

}  // namespace vantrel
