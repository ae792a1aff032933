#include "threading/UiThreadCall.h"

#include <QThread>
#include <atomic>
#include <exception>
#include <memory>
#include <utility>

namespace vantrel {
namespace {

// One posted call, shared by the waiting caller and the call itself. Whoever moves it out of
// Queued decides whether it runs: the call itself (Running), or a caller stopped first (GivenUp).
struct PostedCall {
    enum State { kQueued, kRunning, kDone, kGivenUp };
    std::atomic<int> state{kQueued};
    std::exception_ptr error;  // written before Done is stored, read after it is seen
};

// Held by the posted call only: when the call goes, run or dropped unrun with its mailbox, the
// caller is released.
struct Release {
    Release(std::shared_ptr<PostedCall> c, StopSignal& s) : call(std::move(c)), stop(s) {}
    Release(const Release&) = delete;
    Release& operator=(const Release&) = delete;
    ~Release() {
        int queued = PostedCall::kQueued;
        call->state.compare_exchange_strong(queued, PostedCall::kDone);
        stop.Wake();
    }
    std::shared_ptr<PostedCall> call;
    StopSignal& stop;
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
    auto posted = std::make_shared<PostedCall>();
    auto release = std::make_shared<Release>(posted, stop);
    mailbox.Post([release = std::move(release), call = std::move(call)] {
        PostedCall& shared = *release->call;
        int queued = PostedCall::kQueued;
        // After a stop nothing is touched, even before the caller has given the call up.
        if (release->stop.StopRequested() ||
            !shared.state.compare_exchange_strong(queued, PostedCall::kRunning)) {
            return;
        }
        // A throw goes back to the caller, never into the event loop.
        try {
            call();
        } catch (...) {
            shared.error = std::current_exception();
        }
        shared.state.store(PostedCall::kDone);
        release->stop.Wake();
    });
    const auto done = [&posted] { return posted->state.load() == PostedCall::kDone; };
    if (!stop.WaitFor(done)) {
        // Not begun: it never runs. Running: it goes on alone, on what it owns.
        int queued = PostedCall::kQueued;
        posted->state.compare_exchange_strong(queued, PostedCall::kGivenUp);
        return false;
    }
    if (posted->error) {
        std::rethrow_exception(posted->error);
    }
    return true;
}

}  // namespace vantrel
