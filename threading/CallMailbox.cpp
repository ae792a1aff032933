#include "threading/CallMailbox.h"

#include <QMetaObject>
#include <utility>

namespace vantrel {

void CallMailbox::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void CallMailbox::Drain() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        calls.swap(calls_);
    }
    for (auto& call : calls) {
        call();
        // Destroyed here, on this thread, as soon as it has run.
        call = nullptr;
    }
}

}  // namespace vantrel
