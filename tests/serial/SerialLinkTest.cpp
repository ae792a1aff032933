#include "serial/SerialLink.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/MonitorPackets.h"
#include "tests/serial/LinkFixture.h"

namespace vantrel {
namespace {

using testing::LinkFixture;
using testing::MissingDevice;
using testing::ProcessEventsUntil;
using testing::ProcessPendingEvents;

const QString kCreateFailed = QStringLiteral("Failed to create OLE Communications Control\n");

QString MissingDeviceFailure(int port, const QString& device) {
    return QStringLiteral("Failed to open Serial Port #%1: No such file or directory: %2")
        .arg(port)
        .arg(device);
}

using SerialLinkTick = LinkFixture;

TEST_F(SerialLinkTick, FirstTickCreatesConfiguresAndOpensThePort) {
    testing::BarePty& pty = Pty(5);
    Tick(5);
    const CMSComm& comm = link_.Port(5);
    EXPECT_TRUE(warnings_.isEmpty());
    EXPECT_EQ(preparations_[5], 1);
    EXPECT_TRUE(comm.IsCreated());
    EXPECT_EQ(comm.ControlId(), 2005);
    EXPECT_EQ(comm.GetSettings(), "9600,N,8,1");
    EXPECT_EQ(comm.GetRThreshold(), 1);
    EXPECT_EQ(comm.GetCommPort(), 5);
    EXPECT_EQ(comm.GetInputLen(), 0);
    EXPECT_TRUE(comm.GetPortOpen());
    EXPECT_TRUE(Slot(5).selected.load());
    EXPECT_TRUE(Slot(5).controlCreated.load());
    EXPECT_TRUE(boxes_.IsTicked(5));
    const termios line = pty.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(line.c_cflag & (PARENB | PARODD), 0u);
    // No other port was touched.
    for (int port = 1; port <= kPortCount; ++port) {
        if (port != 5) {
            EXPECT_FALSE(link_.Port(port).IsCreated()) << port;
            EXPECT_FALSE(Slot(port).selected.load()) << port;
        }
    }
}

TEST_F(SerialLinkTick, MissingDeviceIsReportedAndUntickedThenPreparedAnew) {
    mapping_.Set(5, MissingDevice());
    Tick(5);
    EXPECT_EQ(warnings_, QStringList{MissingDeviceFailure(5, MissingDevice())});
    EXPECT_FALSE(boxes_.IsTicked(5));
    EXPECT_FALSE(link_.IsOpen(5));
    EXPECT_FALSE(Slot(5).controlCreated.load());
    // The preparation succeeded, and a failed opening leaves the selected flag alone.
    EXPECT_TRUE(Slot(5).selected.load());

    warnings_.clear();
    Pty(5);
    Tick(5);
    EXPECT_EQ(preparations_[5], 2);
    EXPECT_TRUE(warnings_.isEmpty());
    EXPECT_TRUE(link_.IsOpen(5));
    EXPECT_TRUE(boxes_.IsTicked(5));
    EXPECT_TRUE(Slot(5).controlCreated.load());
    EXPECT_TRUE(Slot(5).selected.load());
}

TEST_F(SerialLinkTick, FailedOpeningKeepsAClearedSelectedFlag) {
    Pty(6);
    Tick(6);
    ASSERT_TRUE(link_.IsOpen(6));
    Untick(6);
    Slot(6).selected.store(false);
    Slot(6).controlCreated.store(false);  // as after an earlier failed opening
    mapping_.Set(6, MissingDevice());
    Tick(6);
    EXPECT_EQ(preparations_[6], 2);
    ASSERT_EQ(warnings_.size(), 1);
    EXPECT_TRUE(warnings_.front().startsWith("Failed to open Serial Port #6: "));
    // Prepared again (selected), then the opening failed without touching the flag.
    EXPECT_TRUE(Slot(6).selected.load());
    EXPECT_FALSE(Slot(6).controlCreated.load());
}

TEST_F(SerialLinkTick, FailedPreparationClearsBothFlagsAndLeavesTheBoxTicked) {
    Pty(7);
    prepareSucceeds_ = false;
    Tick(7);
    EXPECT_EQ(warnings_, QStringList{kCreateFailed});
    EXPECT_TRUE(boxes_.IsTicked(7));
    EXPECT_FALSE(Slot(7).selected.load());
    EXPECT_FALSE(Slot(7).controlCreated.load());
    EXPECT_FALSE(link_.Port(7).IsCreated());
    EXPECT_FALSE(link_.IsOpen(7));

    // Start counts the box as selected; nothing is opened or written, and nothing breaks.
    EXPECT_TRUE(link_.OpenTickedPorts());
    EXPECT_TRUE(Slot(7).selected.load());
    EXPECT_FALSE(link_.IsOpen(7));
    link_.WriteToSelected(std::vector<std::uint8_t>{1, 2, 3});
    link_.ApplyLineSettings(7, DemonLine(57600));
    EXPECT_FALSE(link_.IsOpen(7));
    ProcessPendingEvents();
    EXPECT_TRUE(Pty(7).Drain().empty());

    // The next tick prepares it again.
    prepareSucceeds_ = true;
    warnings_.clear();
    Tick(7);
    EXPECT_EQ(preparations_[7], 2);
    EXPECT_TRUE(warnings_.isEmpty());
    EXPECT_TRUE(link_.IsOpen(7));
    EXPECT_TRUE(Slot(7).selected.load());
    EXPECT_TRUE(Slot(7).controlCreated.load());
}

TEST_F(SerialLinkTick, FailedPreparationDropsAControlThatExisted) {
    mapping_.Set(8, MissingDevice());
    Tick(8);  // created, opening failed: the next tick prepares afresh
    ASSERT_TRUE(link_.Port(8).IsCreated());
    prepareSucceeds_ = false;
    warnings_.clear();
    Tick(8);
    EXPECT_EQ(warnings_, QStringList{kCreateFailed});
    EXPECT_FALSE(link_.Port(8).IsCreated());
    EXPECT_FALSE(Slot(8).selected.load());
}

TEST_F(SerialLinkTick, UntickClosesAndTickReconfiguresWithoutANewControl) {
    testing::BarePty& pty = Pty(2);
    Tick(2);
    link_.ApplyLineSettings(2, DemonLine(57600));
    Untick(2);
    EXPECT_FALSE(link_.IsOpen(2));
    EXPECT_TRUE(Slot(2).selected.load());
    EXPECT_TRUE(Slot(2).controlCreated.load());
    EXPECT_EQ(link_.Port(2).GetSettings(), "57600,N,8,1");

    // Unticking a port that a run deselected leaves it deselected.
    Tick(2);
    Slot(2).selected.store(false);
    Untick(2);
    EXPECT_FALSE(Slot(2).selected.load());

    Tick(2);
    EXPECT_EQ(preparations_[2], 1);
    EXPECT_TRUE(link_.IsOpen(2));
    EXPECT_EQ(link_.Port(2).GetSettings(), "9600,N,8,1");
    EXPECT_EQ(link_.Port(2).ControlId(), 2002);
    EXPECT_FALSE(Slot(2).selected.load());
    const termios line = pty.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_TRUE(warnings_.isEmpty());
}

TEST_F(SerialLinkTick, PortTickedFirstDuringARunTakesPartAtOnce) {
    state_->SetInProgress(true);
    testing::BarePty& pty = TickOpen(4);
    EXPECT_TRUE(Slot(4).selected.load());
    const std::vector<std::uint8_t> packet{kStx, 0x00, 0x89, 0x01, 0x55, 0x55, kEtx};
    link_.WriteToSelected(packet);
    EXPECT_EQ(pty.Receive(packet.size()), packet);
    Slot(4).stage.store(9);
    pty.Send({kAck});
    ASSERT_TRUE(ProcessEventsUntil([&] { return Slot(4).stage.load() == 10; }));
}

using SerialLinkStart = LinkFixture;

TEST_F(SerialLinkStart, OpensTickedClosedPortsKeepsOpenOnesAndDeselectsTheRest) {
    testing::BarePty& one = TickOpen(1);
    TickOpen(3);
    link_.ClosePort(3);  // as at the end of an earlier run
    ASSERT_FALSE(link_.IsOpen(3));
    // Bytes pending on port 1 would go if it were opened again.
    one.Send({0x41, 0x42});
    WaitForPending(1, 2);
    for (int port = 1; port <= kPortCount; ++port) {
        Slot(port).selected.store(true);
    }

    EXPECT_TRUE(link_.OpenTickedPorts());
    EXPECT_TRUE(link_.IsOpen(1));
    EXPECT_TRUE(link_.IsOpen(3));
    EXPECT_EQ(link_.Port(1).GetInBufferCount(), 2);
    for (int port = 1; port <= kPortCount; ++port) {
        EXPECT_EQ(Slot(port).selected.load(), port == 1 || port == 3) << port;
    }
}

TEST_F(SerialLinkStart, NoTickedBoxDeselectsEverything) {
    TickOpen(2);
    Untick(2);
    Slot(9).selected.store(true);
    EXPECT_FALSE(link_.OpenTickedPorts());
    for (int port = 1; port <= kPortCount; ++port) {
        EXPECT_FALSE(Slot(port).selected.load()) << port;
    }
    EXPECT_FALSE(link_.IsOpen(2));
}

TEST_F(SerialLinkStart, FailedOpeningEndsStartAtThatPort) {
    TickOpen(2);
    TickOpen(4);
    link_.ClosePort(2);
    link_.ClosePort(4);
    mapping_.Set(2, MissingDevice());
    Slot(1).selected.store(true);
    Slot(4).selected.store(false);
    Slot(6).selected.store(true);
    EXPECT_THROW(link_.OpenTickedPorts(), SerialError);
    EXPECT_FALSE(Slot(1).selected.load());
    EXPECT_TRUE(Slot(2).selected.load());
    // The later ports were not reached.
    EXPECT_FALSE(Slot(4).selected.load());
    EXPECT_FALSE(link_.IsOpen(4));
    EXPECT_TRUE(Slot(6).selected.load());
}

using SerialLinkPorts = LinkFixture;

TEST_F(SerialLinkPorts, WriteToSelectedReachesOnlySelectedPortsInFull) {
    testing::BarePty& two = TickOpen(2);
    testing::BarePty& five = TickOpen(5);
    testing::BarePty& nine = TickOpen(9);
    Slot(5).selected.store(false);
    std::vector<std::uint8_t> packet(kMaxPacketSize);
    for (std::size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<std::uint8_t>(255 - i);
    }
    link_.WriteToSelected(packet);
    // Each port's transmit count was reset with nothing lost.
    EXPECT_EQ(two.Receive(packet.size()), packet);
    EXPECT_EQ(nine.Receive(packet.size()), packet);
    ProcessPendingEvents();
    EXPECT_TRUE(five.Drain().empty());
    EXPECT_TRUE(two.Drain().empty());
    EXPECT_TRUE(nine.Drain().empty());

    link_.WriteToSelected(std::vector<std::uint8_t>{});
    ProcessPendingEvents();
    EXPECT_TRUE(two.Drain().empty());
}

TEST_F(SerialLinkPorts, WriteToASelectedClosedPortIsHarmless) {
    testing::BarePty& one = TickOpen(1);
    testing::BarePty& three = TickOpen(3);
    Untick(3);  // closed, still selected
    ASSERT_TRUE(Slot(3).selected.load());
    link_.WriteToSelected(std::vector<std::uint8_t>{kAck, kAck});
    EXPECT_EQ(one.Receive(2).size(), 2u);
    ProcessPendingEvents();
    EXPECT_TRUE(three.Drain().empty());
}

TEST_F(SerialLinkPorts, CloseSelectedPortsClosesOnlySelectedOpenOnesAndKeepsFlags) {
    TickOpen(1);
    TickOpen(2);
    TickOpen(3);
    link_.ClosePort(3);
    Slot(2).selected.store(false);
    link_.CloseSelectedPorts();
    EXPECT_FALSE(link_.IsOpen(1));
    EXPECT_TRUE(link_.IsOpen(2));
    EXPECT_FALSE(link_.IsOpen(3));
    EXPECT_TRUE(Slot(1).selected.load());
    EXPECT_FALSE(Slot(2).selected.load());
    EXPECT_TRUE(Slot(3).selected.load());
    for (int port : {1, 2, 3}) {
        EXPECT_TRUE(Slot(port).controlCreated.load()) << port;
        EXPECT_TRUE(boxes_.IsTicked(port)) << port;
    }
}

TEST_F(SerialLinkPorts, ClosePortClosesOnlyThatPort) {
    TickOpen(1);
    TickOpen(2);
    link_.ClosePort(2);
    EXPECT_TRUE(link_.IsOpen(1));
    EXPECT_FALSE(link_.IsOpen(2));
    EXPECT_NO_THROW(link_.ClosePort(2));
    EXPECT_NO_THROW(link_.ClosePort(12));  // never created
    EXPECT_THROW(link_.ClosePort(17), std::out_of_range);
}

TEST_F(SerialLinkPorts, ApplyLineSettingsOpensAClosedPortAndKeepsAnOpenOneOpen) {
    testing::BarePty& one = TickOpen(1);
    testing::BarePty& two = TickOpen(2);
    link_.ClosePort(2);
    one.Send({0x01});
    WaitForPending(1, 1);

    link_.ApplyLineSettings(1, kForceMonitorLine);
    link_.ApplyLineSettings(2, DemonLine(57600));
    EXPECT_TRUE(link_.IsOpen(1));
    EXPECT_EQ(link_.Port(1).GetInBufferCount(), 1);  // not opened again
    EXPECT_TRUE(link_.IsOpen(2));
    termios line = one.Settings();
    EXPECT_NE(line.c_cflag & PARODD, 0u);
    line = two.Settings();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B57600));
}

TEST_F(SerialLinkPorts, ApplyLineSettingsSwallowsFailures) {
    TickOpen(3);
    link_.ClosePort(3);
    mapping_.Set(3, MissingDevice());
    EXPECT_NO_THROW(link_.ApplyLineSettings(3, DemonLine(57600)));
    EXPECT_FALSE(link_.IsOpen(3));
    EXPECT_EQ(link_.Port(3).GetSettings(), "57600,N,8,1");
    EXPECT_NO_THROW(link_.ApplyLineSettings(3, LineSettings{57600, 'X', 8, 1}));
    EXPECT_EQ(link_.Port(3).GetSettings(), "57600,N,8,1");
    EXPECT_TRUE(warnings_.isEmpty());
}

using SerialLinkReceive = LinkFixture;

TEST_F(SerialLinkReceive, BytesArrivingOutsideARunAreCountedAtTheFirstEventOfOne) {
    testing::BarePty& pty = TickOpen(1);
    Slot(1).stage.store(1);
    pty.Send({kAck, 0x15, kAck});
    WaitForPending(1, 3);
    EXPECT_EQ(Slot(1).stage.load(), 1);

    // Setting the flag alone reads nothing: only the next notification does.
    state_->SetInProgress(true);
    ProcessPendingEvents();
    EXPECT_EQ(link_.Port(1).GetInBufferCount(), 3);
    EXPECT_EQ(Slot(1).stage.load(), 1);

    pty.Send({kAck});
    ASSERT_TRUE(ProcessEventsUntil([&] { return link_.Port(1).GetInBufferCount() == 0; }));
    EXPECT_EQ(Slot(1).stage.load(), 4);
}

TEST_F(SerialLinkReceive, BytesForAnUnselectedPortAreNeverRead) {
    testing::BarePty& pty = TickOpen(2);
    Slot(2).selected.store(false);
    Slot(2).stage.store(1);
    state_->SetInProgress(true);
    pty.Send({kAck});
    WaitForPending(2, 1);
    pty.Send({kAck});
    WaitForPending(2, 2);
    ProcessPendingEvents();
    EXPECT_EQ(link_.Port(2).GetInBufferCount(), 2);
    EXPECT_EQ(Slot(2).stage.load(), 1);
}

TEST_F(SerialLinkReceive, AStageOfZeroNeverAdvances) {
    testing::BarePty& pty = TickOpen(3);
    state_->SetInProgress(true);
    pty.Send({kAck, kAck});
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return link_.Port(3).GetInBufferCount() == 0 && link_.Port(3).GetCommEvent() == 2;
    }));
    EXPECT_EQ(Slot(3).stage.load(), 0);
}

TEST_F(SerialLinkReceive, TakingInCountsWhatArrivedWithoutWaitingForTheEventLoop) {
    testing::BarePty& pty = TickOpen(1);
    testing::BarePty& idle = TickOpen(2);
    Slot(1).stage.store(1);
    Slot(2).stage.store(1);
    Slot(2).selected.store(false);
    // Read in while no run was in progress, and left pending.
    pty.Send({kAck});
    WaitForPending(1, 1);
    state_->SetInProgress(true);
    link_.TakeInArrived();
    EXPECT_EQ(Slot(1).stage.load(), 2);

    // Not yet seen by the event loop, which never runs from here on.
    pty.Send({0x15, kAck, kAck});
    idle.Send({kAck});
    const QDeadlineTimer patience(testing::kPatience);
    while (Slot(1).stage.load() < 4 && !patience.hasExpired()) {
        link_.TakeInArrived();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(Slot(1).stage.load(), 4);
    EXPECT_EQ(Slot(2).stage.load(), 1) << "an inactive port is left alone";
}

TEST_F(SerialLinkReceive, ALostLineClosesThePortAndKeepsFlagsAndStage) {
    testing::BarePty& pty = TickOpen(4);
    Slot(4).stage.store(4);
    state_->SetInProgress(true);
    pty.Send({kAck});
    ASSERT_TRUE(ProcessEventsUntil([&] { return Slot(4).stage.load() == 5; }));

    pty.HangUp();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !link_.IsOpen(4); }));
    EXPECT_TRUE(Slot(4).selected.load());
    EXPECT_TRUE(Slot(4).controlCreated.load());
    EXPECT_EQ(Slot(4).stage.load(), 5);
}

}  // namespace
}  // namespace vantrel
