#include "threading/UiThreadCall.h"

#include <gtest/gtest.h>

#include <QThread>
#include <future>
#include <memory>
#include <stdexcept>

#include "tests/threading/Gate.h"

namespace vantrel {
namespace {

using testing::Gate;
constexpr std::chrono::seconds kPatience{5};

// A mailbox on a thread of its own, standing in for the UI thread.
class MailboxThread {
  public:
    MailboxThread() {
        mailbox_->moveToThread(&thread_);
        thread_.start();
    }
    ~MailboxThread() {
        mailbox_->deleteLater();
        thread_.quit();
        thread_.wait();
    }
    CallMailbox& Mailbox() { return *mailbox_; }
    QThread& Thread() { return thread_; }

  private:
    QThread thread_;
    CallMailbox* mailbox_ = new CallMailbox;
};

TEST(CallOnMailboxThread, RunsOnTheMailboxThreadAndHandsBackWhatTheCallThrew) {
    MailboxThread ui;
    StopSignal stop;
    for (const bool throws : {false, true}) {
        QThread* ranOn = nullptr;
        const auto call = [&] {
            return CallOnMailboxThread(ui.Mailbox(), stop, [&] {
                ranOn = QThread::currentThread();
                if (throws) {
                    throw std::runtime_error("port gone");
                }
            });
        };
        if (throws) {
            EXPECT_THROW(call(), std::runtime_error);
        } else {
            EXPECT_TRUE(call());
        }
        EXPECT_EQ(ranOn, &ui.Thread()) << "throws " << throws;
    }
}

TEST(CallOnMailboxThread, AStoppedWorkerLeavesAtOnceAndTheCallEndsWithoutIt) {
    MailboxThread ui;
    auto stop = std::make_unique<StopSignal>();
    Gate running;
    Gate release;
    Gate ended;
    auto worker = std::async(std::launch::async, [&] {
        return CallOnMailboxThread(ui.Mailbox(), *stop, [&] {
            running.Open();
            release.WaitOpen();
            ended.Open();
        });
    });
    ASSERT_TRUE(running.WaitOpen());
    stop->RequestStop();
    ASSERT_EQ(worker.wait_for(kPatience), std::future_status::ready);
    EXPECT_FALSE(worker.get());
    // The worker's signal is gone before the call ends: its end must not reach it.
    stop.reset();
    release.Open();
    EXPECT_TRUE(ended.WaitOpen());

    // A call asked for after the stop never runs.
    StopSignal stopped;
    stopped.RequestStop();
    bool ran = false;
    EXPECT_FALSE(CallOnMailboxThread(ui.Mailbox(), stopped, [&] { ran = true; }));
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace vantrel
