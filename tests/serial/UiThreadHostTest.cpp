#include "serial/UiThreadHost.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "engine/MonitorPackets.h"
#include "engine/UnitStage.h"
#include "session/RecordingView.h"
#include "tests/serial/LinkFixture.h"
#include "tests/threading/Gate.h"
#include "threading/CallMailbox.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::Gate;
using testing::kPatience;
using testing::LinkFixture;
using testing::MissingDevice;
using testing::ProcessEventsUntil;
using testing::ProcessPendingEvents;

// Notes every pause with the line settings each port had at that moment.
class PauseRecordingHost : public UiThreadHost {
  public:
    struct Pause {
        std::chrono::milliseconds duration;
        std::vector<QString> settings;  // index 0 is port 1
    };

    PauseRecordingHost(QObject& context, SerialLink& link, RunView& view, StopSignal& stop)
        : UiThreadHost(context, link, view, stop), link_(link) {}

    void SleepUntil(Clock::time_point deadline) override {
        Pause pause{std::chrono::round<std::chrono::milliseconds>(deadline - Clock::now()), {}};
        for (int port = 1; port <= kPortCount; ++port) {
            pause.settings.push_back(link_.Port(port).GetSettings());
        }
        pauses.push_back(std::move(pause));
        UiThreadHost::SleepUntil(deadline);
    }

    std::vector<Pause> pauses;

  private:
    SerialLink& link_;
};

// Sees each posted call as it is about to be delivered to the context; a call the decision
// turns down is dropped unrun, as when the context goes.
class PostedCallFilter : public QObject {
  public:
    explicit PostedCallFilter(std::function<bool()> deliver) : deliver_(std::move(deliver)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::MetaCall && !deliver_();
    }

  private:
    std::function<bool()> deliver_;
};

class UiThreadHostTest : public LinkFixture {
  protected:
    // Runs work on a worker thread while this thread handles events, as the UI thread does.
    void OnWorker(const std::function<void()>& work) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            work();
            done.store(true);
        });
        const bool finished = ProcessEventsUntil([&] { return done.load(); });
        if (!finished) {
            stop_.RequestStop();
        }
        worker.join();
        ASSERT_TRUE(finished) << "the worker did not finish";
    }

    // Where the host's calls are delivered on this thread.
    CallMailbox& Mailbox() { return *context_.findChild<CallMailbox*>(); }

    RecordingView view_;
    StopSignal stop_;
    QObject context_;
    PauseRecordingHost host_{context_, link_, view_, stop_};
};

TEST_F(UiThreadHostTest, WorkerCallsAreCarriedOutOnTheUiThreadInOrder) {
    std::vector<QThread*> threads;
    std::vector<QString> calls;
    view_.SetCallbacks({
        [&](int port, const QString& text) {
            threads.push_back(QThread::currentThread());
            calls.push_back(QStringLiteral("status %1 %2").arg(port).arg(text));
        },
        [&](const RecordingView::Message& message) {
            threads.push_back(QThread::currentThread());
            calls.push_back("message " + message.text);
        },
        [&](int position) {
            threads.push_back(QThread::currentThread());
            calls.push_back(QStringLiteral("progress %1").arg(position));
        },
        [&](const RecordingView::SettingWrite& write) {
            threads.push_back(QThread::currentThread());
            calls.push_back("setting " + write.section + "/" + write.name + "=" + write.value);
        },
    });
    MessageResult answer = MessageResult::No;
    OnWorker([&] {
        host_.SetStatusText(3, "ENQ Sent");
        answer = host_.ShowMessage("Error detected with the unit connected to COM 3: x",
                                   MessageButtons::Ok, MessageIcon::Stop);
        host_.SetProgress(0);
        host_.StepProgress();
        host_.RememberSettings("/roms/a.rom", "c10000");
        host_.EnableStart();
    });
    EXPECT_EQ(answer, MessageResult::Ok);
    EXPECT_EQ(calls, (std::vector<QString>{
                         "status 3 ENQ Sent",
                         "message Error detected with the unit connected to COM 3: x",
                         "progress 0",
                         "progress 1",
                         "setting RomFile/NameAndPath=/roms/a.rom",
                         "setting Misc/FwBaseAddr=c10000",
                     }));
    for (QThread* thread : threads) {
        EXPECT_EQ(thread, QThread::currentThread());
    }
    ASSERT_EQ(view_.Messages().size(), 1u);
    EXPECT_EQ(view_.Messages().front().icon, MessageIcon::Stop);
    EXPECT_EQ(view_.StartEnabledCount(), 1);
}

TEST_F(UiThreadHostTest, AChunksTextsProgressAndWriteCrossOnceInTheirOrder) {
    testing::BarePty& one = TickOpen(1);
    std::vector<QString> seen;
    int crossings = 0;
    view_.SetCallbacks({[&](int port, const QString& text) {
                            seen.push_back(QStringLiteral("%1 %2").arg(port).arg(text));
                        },
                        {},
                        [&](int position) { seen.push_back(QString::number(position)); },
                        {}});
    PostedCallFilter counter([&] {
        ++crossings;
        return true;
    });
    Mailbox().installEventFilter(&counter);
    OnWorker([&] {
        const std::string first = "FW Load Cmd Sent";
        const std::string second = "FW Load Cmd Ack";
        const StatusUpdate updates[] = {{9, first}, {2, second}, {16, first}};
        host_.SetStatusTexts(updates);
        host_.StepProgress();
        host_.WriteToSelected(std::vector<std::uint8_t>{kAck});
    });
    Mailbox().removeEventFilter(&counter);
    EXPECT_EQ(crossings, 1);
    EXPECT_EQ(seen, (std::vector<QString>{"9 FW Load Cmd Sent", "2 FW Load Cmd Ack",
                                          "16 FW Load Cmd Sent", "1"}));
    EXPECT_EQ(one.Receive(1), std::vector<std::uint8_t>{kAck});
}

TEST_F(UiThreadHostTest, AWaitShowsItsTextsAndEndsWhenTheLinkCountsAnAck) {
    testing::BarePty& one = TickOpen(1);
    state_->SetInProgress(true);
    state_->Port(1).stage.store(kFwLoadCmdSent);
    state_->AwaitStage(kFwLoadCmdAck);
    std::atomic<bool> waiting{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        host_.SetStatusText(1, "FW Load Cmd Sent");
        waiting.store(true);
        // Far beyond the test's patience: only the ACK can end it in time.
        host_.WaitForAcknowledgement(DownloadHost::Clock::now() + 10 * kPatience);
        done.store(true);
    });
    const bool shown =
        ProcessEventsUntil([&] { return waiting.load() && view_.Status(1) == "FW Load Cmd Sent"; });
    EXPECT_FALSE(done.load());
    one.Send({kAck});
    const bool woken = ProcessEventsUntil([&] { return done.load(); });
    if (!woken) {
        stop_.RequestStop();
    }
    worker.join();
    state_->SetInProgress(false);
    state_->AwaitStage(0);
    EXPECT_TRUE(shown) << "the text went ahead while the worker waited";
    EXPECT_TRUE(woken);
    EXPECT_EQ(state_->Port(1).stage.load(), kFwLoadCmdAck);
}

TEST_F(UiThreadHostTest, ATextThatFailedWhileTheWorkerWaitedEndsTheRunAtTheNextCrossing) {
    view_.SetCallbacks(
        {[](int, const QString&) { throw std::runtime_error("the view refused"); }, {}, {}, {}});
    std::string error;
    OnWorker([&] {
        host_.SetStatusText(1, "Erase Successful");
        host_.Sleep(1ms);
        try {
            host_.EnableStart();
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        host_.EnableStart();
    });
    EXPECT_EQ(error, "the view refused");
    EXPECT_EQ(view_.StartEnabledCount(), 1) << "the failing crossing did nothing, the next did";
}

TEST_F(UiThreadHostTest, CallsFromTheUiThreadRunAtOnce) {
    host_.SetStatusText(1, "Init State");
    host_.StepProgress();
    EXPECT_EQ(view_.Status(1), "Init State");
    EXPECT_EQ(view_.Progress(), 1);
}

TEST_F(UiThreadHostTest, SetLineSettingsAppliesEachSelectedPortInOrderThenPauses) {
    testing::BarePty& two = TickOpen(2);
    testing::BarePty& seven = TickOpen(7);
    TickOpen(9);
    link_.ClosePort(7);
    Slot(9).selected.store(false);

    OnWorker([&] { host_.SetLineSettings(DemonLine(57600)); });

    ASSERT_EQ(host_.pauses.size(), 2u);
    for (const auto& pause : host_.pauses) {
        EXPECT_EQ(pause.duration, 2ms);
    }
    // Port 2 first, its pause, then port 7.
    EXPECT_EQ(host_.pauses[0].settings[1], "57600,N,8,1");
    EXPECT_EQ(host_.pauses[0].settings[6], "9600,N,8,1");
    EXPECT_EQ(host_.pauses[1].settings[6], "57600,N,8,1");
    EXPECT_TRUE(link_.IsOpen(2));
    EXPECT_TRUE(link_.IsOpen(7));
    EXPECT_EQ(link_.Port(9).GetSettings(), "9600,N,8,1");
    termios line = two.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B57600));
    line = seven.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B57600));
}

TEST_F(UiThreadHostTest, SetLineSettingsWithNoPortSelectedDoesNothingAndDoesNotPause) {
    TickOpen(1);
    TickOpen(2);
    link_.ClosePort(2);
    Slot(1).selected.store(false);
    Slot(2).selected.store(false);
    OnWorker([&] { host_.SetLineSettings(DemonLine(57600)); });
    EXPECT_TRUE(host_.pauses.empty());
    EXPECT_EQ(link_.Port(1).GetSettings(), "9600,N,8,1");
    EXPECT_FALSE(link_.IsOpen(2));
}

TEST_F(UiThreadHostTest, SetLineSettingsGoesOnPastAPortThatCannotOpen) {
    TickOpen(2);
    TickOpen(3);
    link_.ClosePort(3);
    mapping_.Set(3, MissingDevice());
    TickOpen(4);
    OnWorker([&] { host_.SetLineSettings(kForceMonitorLine); });
    EXPECT_EQ(host_.pauses.size(), 3u);
    EXPECT_FALSE(link_.IsOpen(3));
    EXPECT_EQ(link_.Port(2).GetSettings(), "9600,O,8,1");
    EXPECT_EQ(link_.Port(4).GetSettings(), "9600,O,8,1");
    EXPECT_TRUE(warnings_.isEmpty());
}

TEST_F(UiThreadHostTest, WritesFromTheWorkerReachOpenSelectedPortsAndSkipClosedOnes) {
    testing::BarePty& one = TickOpen(1);
    testing::BarePty& two = TickOpen(2);
    Untick(2);  // closed while selected, as a user may do during a run
    const std::vector<std::uint8_t> enquiry(kEnquiryPacket.begin(), kEnquiryPacket.end());
    OnWorker([&] {
        host_.WriteToSelected(enquiry);
        host_.WriteToSelected(enquiry);
    });
    std::vector<std::uint8_t> twice = enquiry;
    twice.insert(twice.end(), enquiry.begin(), enquiry.end());
    EXPECT_EQ(one.Receive(twice.size()), twice);
    ProcessPendingEvents();
    EXPECT_TRUE(two.Drain().empty());
}

TEST_F(UiThreadHostTest, ClosingFromTheWorker) {
    TickOpen(1);
    TickOpen(2);
    TickOpen(3);
    Slot(3).selected.store(false);
    OnWorker([&] { host_.ClosePort(1); });
    EXPECT_FALSE(link_.IsOpen(1));
    EXPECT_TRUE(link_.IsOpen(2));
    OnWorker([&] { host_.CloseSelectedPorts(); });
    EXPECT_FALSE(link_.IsOpen(2));
    EXPECT_TRUE(link_.IsOpen(3));
}

TEST_F(UiThreadHostTest, NothingIsTouchedAfterAStop) {
    testing::BarePty& one = TickOpen(1);
    Gate stopped;
    std::atomic<bool> done{false};
    std::atomic<int> refused{0};
    std::thread worker([&] {
        host_.SetProgress(7);
        host_.TakeInArrived();
        stopped.WaitOpen();
        const std::vector<std::function<void()>> late = {
            [&] { host_.SetStatusText(1, "late"); },
            [&] { host_.WriteToSelected(std::vector<std::uint8_t>{kAck}); },
            [&] { host_.SetLineSettings(DemonLine(57600)); },
            [&] { host_.CloseSelectedPorts(); },
            [&] { host_.EnableStart(); },
        };
        for (const auto& call : late) {
            try {
                call();
            } catch (const RunStopped&) {
                ++refused;
            }
        }
        done.store(true);
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return view_.Progress() == 7; }));
    stop_.RequestStop();
    stopped.Open();
    const bool finished = ProcessEventsUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(refused.load(), 5) << "every call after the stop unwinds the run";
    ProcessPendingEvents();
    EXPECT_TRUE(view_.StatusHistory(1).empty());
    EXPECT_EQ(view_.StartEnabledCount(), 0);
    EXPECT_TRUE(host_.pauses.empty());
    EXPECT_TRUE(link_.IsOpen(1));
    EXPECT_EQ(link_.Port(1).GetSettings(), "9600,N,8,1");
    EXPECT_TRUE(one.Drain().empty());
}

TEST_F(UiThreadHostTest, ACallWhoseMailboxGoesFirstReleasesTheWorker) {
    // The wake-up is held back and the mailbox destroyed, as when the window goes with a call
    // still on its way.
    CallMailbox* mailbox = &Mailbox();
    PostedCallFilter drop([&] {
        QTimer::singleShot(0, &context_, [mailbox] { delete mailbox; });
        return false;
    });
    mailbox->installEventFilter(&drop);
    OnWorker([&] { host_.EnableStart(); });
    EXPECT_EQ(view_.StartEnabledCount(), 0) << "dropped unrun";
    EXPECT_FALSE(stop_.StopRequested());
}

TEST_F(UiThreadHostTest, ACallGivenUpAtAStopNeverRunsEvenAfterTheStopIsCleared) {
    std::atomic<bool> returned{false};
    Gate gaveUp;
    // When the call arrives, the run is stopped and the worker leaves it; then a new run clears
    // the stop before the call is delivered.
    PostedCallFilter stopFirst([&] {
        stop_.RequestStop();
        EXPECT_TRUE(gaveUp.WaitOpen());
        stop_.Reset();
        return true;
    });
    Mailbox().installEventFilter(&stopFirst);
    OnWorker([&] {
        EXPECT_THROW(host_.EnableStart(), RunStopped);
        returned.store(true);
        gaveUp.Open();
    });
    Mailbox().removeEventFilter(&stopFirst);
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(view_.StartEnabledCount(), 0);
}

TEST_F(UiThreadHostTest, SleepEndsWhenAStopIsRequested) {
    auto sleeper = std::async(std::launch::async, [&] { host_.Sleep(std::chrono::hours(1)); });
    stop_.RequestStop();
    ASSERT_EQ(sleeper.wait_for(kPatience), std::future_status::ready);
    EXPECT_THROW(sleeper.get(), RunStopped);
}

// A view whose message box stays open until the test closes it.
class BlockingView : public RecordingView {
  public:
    MessageResult ShowMessage(const QString& text, MessageButtons buttons,
                              MessageIcon icon) override {
        shown.Open();
        closed.WaitOpen();
        const MessageResult result = RecordingView::ShowMessage(text, buttons, icon);
        recorded.Open();
        return result;
    }
    Gate shown;
    Gate closed;
    Gate recorded;  // the test thread may read what was recorded
};

TEST(UiThreadHostStop, StopReleasesAWorkerWaitingForTheUiThread) {
    // The UI thread is a thread of its own here, so this one can stop and join the worker
    // while a message box is open there.
    QThread uiThread;
    uiThread.start();
    QObject context;
    context.moveToThread(&uiThread);

    auto state = std::make_unique<LoaderState>();
    TablePortMapping mapping;
    TickedBoxes boxes;
    SerialLink link(*state, mapping, boxes, [](const QString&) {});
    BlockingView view;
    StopSignal stop;
    UiThreadHost host(context, link, view, stop);

    auto worker = std::async(std::launch::async, [&] {
        host.ShowMessage("Error detected with the unit connected to COM 1: Force2Mon Failed...",
                         MessageButtons::Ok, MessageIcon::Stop);
        host.SetStatusText(1, "after the stop");
    });
    ASSERT_TRUE(view.shown.WaitOpen());
    stop.RequestStop();
    ASSERT_EQ(worker.wait_for(kPatience), std::future_status::ready);
    // The box is still open: the worker leaves without reading its answer.
    EXPECT_THROW(worker.get(), RunStopped);

    view.closed.Open();
    ASSERT_TRUE(view.recorded.WaitOpen());
    uiThread.quit();
    ASSERT_TRUE(uiThread.wait(QDeadlineTimer(kPatience)));
    EXPECT_EQ(view.Messages().size(), 1u);
    EXPECT_TRUE(view.StatusHistory(1).empty());
}

}  // namespace
}  // namespace vantrel
