#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace vantrel {

// Carries calls from other threads to the thread this object lives on. The calls travel
// through a standard mutex rather than inside Qt's event, so the hand-over is one that thread
// checkers can see; Qt only delivers the wake-up. Calls still queued when it goes are
// destroyed without running.
class CallMailbox : public QObject {
    Q_OBJECT
  public:
    explicit CallMailbox(QObject* parent = nullptr) : QObject(parent) {}

    // Any thread: queues the call and wakes the owning thread.
    void Post(std::function<void()> call);

  public slots:
    // The owning thread: runs every call queued so far, in order.
    void Drain();

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace vantrel
