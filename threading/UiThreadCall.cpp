#include "threading/UiThreadCall.h"

#include <QThread>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>

namespace vantrel {
namespace {

// The state of one posted call, shared by the waiting worker and the call itself. A call goes
// from pending to running to done; a worker stopped while it is still pending abandons it, and it
// never runs. The call wakes the worker through the worker's stop signal, and only while the
// worker still waits: once it has left, its signal may be gone.
class Completion {
  public:
    explicit Completion(StopSignal& waiter) : waiter_(&waiter) {}

    // The call is about to run; false when the worker was stopped or has given up on it.
    bool Begin() {
        std::lock_guard lock(mutex_);
        if (state_ != State::Pending || waiter_->StopRequested()) {
            return false;
        }
        state_ = State::Running;
        return true;
    }
    // The call is over (or gone without running); the first word counts.
    void MarkDone(std::exception_ptr error = nullptr) {
        std::lock_guard lock(mutex_);
        if (state_ == State::Done) {
            return;
        }
        error_ = std::move(error);
        state_ = State::Done;
        if (waiter_ != nullptr) {
            waiter_->Wake();
        }
    }
    // The worker: true when the call is over, false when a stop came first.
    bool WaitUntilDone() {
        waiter_->WaitUntilDoneOrStopped([this] { return state_ == State::Done; });
        std::lock_guard lock(mutex_);
        waiter_ = nullptr;
        if (state_ == State::Pending) {
            state_ = State::Abandoned;
        }
        return state_ == State::Done;
    }
    // What the call threw; read by the worker once WaitUntilDone has said it is over.
    std::exception_ptr Error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

  private:
    enum class State { Pending, Running, Done, Abandoned };

    std::mutex mutex_;
    std::atomic<State> state_ = State::Pending;  // read by the waiter without mutex_
    std::exception_ptr error_;
    StopSignal* waiter_;  // while the worker waits
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

bool CallOnMailboxThread(CallMailbox& mailbox, StopSignal& stop, std::function<void()> call) {
    if (stop.StopRequested()) {
        return false;
    }
    if (QThread::currentThread() == mailbox.thread()) {
        call();
        return true;
    }
    auto completion = std::make_shared<Completion>(stop);
    auto guard = std::make_shared<CompletionGuard>(completion);
    mailbox.Post([guard = std::move(guard), call = std::move(call)] {
        std::exception_ptr error;
        if (guard->completion->Begin()) {
            // A throw goes back to the worker that asked for the call, never into the event loop.
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
        }
        guard->completion->MarkDone(std::move(error));
    });
    if (!completion->WaitUntilDone()) {
        return false;
    }
    if (const std::exception_ptr error = completion->Error()) {
        std::rethrow_exception(error);
    }
    return true;
}

}  // namespace vantrel
