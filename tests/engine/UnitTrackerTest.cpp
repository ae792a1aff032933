#include "engine/UnitTracker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "engine/UnitStage.h"
#include "tests/engine/FakeHost.h"

namespace vantrel {
namespace {

using std::chrono::milliseconds;
using testing::FakeHost;
using testing::HostEvent;

class UnitTrackerTest : public ::testing::Test {
  protected:
    void Select(std::initializer_list<int> ports) {
        for (int port : ports) {
            state->Port(port).selected.store(true);
            host.SetOpen(port, true);
        }
    }
    void StartRun() { state->SetInProgress(true); }
    // Runs a wait; true when it ended the run.
    bool Wait(int expected, int intervalMs, std::int8_t tries) {
        try {
            tracker.WaitForStage(expected, milliseconds(intervalMs), tries);
            return false;
        } catch (const RunFinished&) {
            return true;
        }
    }
    int Waits() const { return static_cast<int>(host.Events(HostEvent::Wait).size()); }

    std::unique_ptr<LoaderState> state = std::make_unique<LoaderState>();
    StopSignal stop;
    FakeHost host{*state, stop};
    UnitTracker tracker{*state, host};
};

TEST_F(UnitTrackerTest, StageTablesHaveTwelveFixedTexts) {
    EXPECT_EQ(StageTextTable[kInitState], "Init State");
    EXPECT_EQ(StageTextTable[kForce2MonSuccessful], "Force2Mon Successful");
    EXPECT_EQ(StageTextTable[kFwLoadComplete], "FW Load Complete");
    EXPECT_EQ(StageFailTextTable[kForce2MonSuccessful], "Force2Mon Failed...");
    EXPECT_EQ(StageFailTextTable[kDemonLoadCmdAck], "Demon Load Cmd Not Ack...");
    EXPECT_EQ(StageFailTextTable[kDemonRunning], "Demon Not Running...");
    EXPECT_EQ(StageFailTextTable[kEraseSuccessful], "Erase Failed...");
    EXPECT_EQ(StageFailTextTable[kFwLoadComplete], "FW Load Incomplete...");
    for (int stage = 0; stage < kStageCount; ++stage) {
        EXPECT_TRUE(StageFailTextTable[stage].ends_with("..."));
        EXPECT_FALSE(StageTextTable[stage].ends_with("..."));
    }
}

TEST_F(UnitTrackerTest, SetStageTouchesOnlySelectedPortsAndOnlyDuringARun) {
    Select({2, 9});
    tracker.SetStage(kEnqSent);
    EXPECT_EQ(state->Port(2).stage.load(), 0) << "no run in progress yet";
    EXPECT_TRUE(host.Events(HostEvent::Status).empty());

    StartRun();
    tracker.SetStage(kEnqSent);
    EXPECT_EQ(state->Port(2).stage.load(), kEnqSent);
    EXPECT_EQ(state->Port(9).stage.load(), kEnqSent);
    EXPECT_EQ(state->Port(1).stage.load(), 0);
    const auto statuses = host.Events(HostEvent::Status);
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].port, 2);
    EXPECT_EQ(statuses[1].port, 9);
    EXPECT_EQ(statuses[0].text, "ENQ Sent");
}

TEST_F(UnitTrackerTest, StatusTextsOfOneStepGoToTheHostInOneBatch) {
    Select({1, 5, 16});
    StartRun();
    tracker.SetStage(kFwLoadCmdSent);
    EXPECT_EQ(host.statusBatches, 1);
    host.ScheduleAck(1, 2);
    host.ScheduleAck(16, 3);
    host.ScheduleAck(5, 7);
    EXPECT_FALSE(Wait(kFwLoadCmdAck, 5, 60));
    EXPECT_EQ(host.statusBatches, 3) << "ports 1 and 16 at the 5 ms poll, port 5 when it is in";
    const auto statuses = host.Events(HostEvent::Status);
    ASSERT_EQ(statuses.size(), 6u);
    EXPECT_EQ(statuses[3].port, 1);
    EXPECT_EQ(statuses[4].port, 16);
    EXPECT_EQ(statuses[5].port, 5);
}

TEST_F(UnitTrackerTest, AcknowledgementsAdvanceOnlyNonZeroCountersOfActivePorts) {
    Select({1, 2});
    const std::uint8_t acks[] = {0x06, 0x15, 0x06};
    state->Port(1).stage.store(4);
    state->CountAcknowledgements(1, acks);
    EXPECT_EQ(state->Port(1).stage.load(), 4) << "flag clear: nothing is counted";

    StartRun();
    EXPECT_EQ(state->CountAcknowledgements(1, acks), 2);
    EXPECT_EQ(state->Port(1).stage.load(), 6) << "two ACKs, the NAK between them ignored";
    state->CountAcknowledgements(2, acks);
    EXPECT_EQ(state->Port(2).stage.load(), 0) << "a counter at 0 never advances";
    state->Port(3).stage.store(4);
    state->CountAcknowledgements(3, acks);
    EXPECT_EQ(state->Port(3).stage.load(), 4) << "port 3 is not selected";
}

TEST_F(UnitTrackerTest, WaitWithNoSelectedPortShowsNothingAndFinishesTheRun) {
    StartRun();
    EXPECT_TRUE(Wait(kForce2MonSuccessful, 20, 15));
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_TRUE(host.Events(HostEvent::Status).empty());
    EXPECT_FALSE(state->InProgress());
    EXPECT_TRUE(host.startEnabled);
    EXPECT_EQ(Waits(), 0) << "nobody to wait for: the run ends at once";
    EXPECT_EQ(host.NowMs(), 0);
}

TEST_F(UnitTrackerTest, WaitBeforeTheRunIsInProgressFindsNoActiveUnit) {
    Select({1});
    state->Port(1).stage.store(kForce2MonSuccessful);
    EXPECT_TRUE(Wait(kForce2MonSuccessful, 20, 15));
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(UnitTrackerTest, UnitThatNeverAnswersTheEnquiryIsReportedAndDropped) {
    Select({1, 2, 3});
    StartRun();
    tracker.SetStage(kEnqSent);
    host.ScheduleAck(1, 5);
    host.ScheduleAck(2, 25);
    EXPECT_FALSE(Wait(kForce2MonSuccessful, 20, 15));

    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0],
              "Error detected with the unit connected to COM 3: Force2Mon Failed...");
    EXPECT_EQ(host.messageIcons.at(0), MessageIcon::Stop);
    EXPECT_EQ(host.Status(3), "Force2Mon Failed...");
    EXPECT_FALSE(state->Port(3).selected.load());
    EXPECT_FALSE(host.IsOpen(3));
    EXPECT_EQ(host.Status(1), "Force2Mon Successful");
    EXPECT_EQ(host.Status(2), "Force2Mon Successful");
    EXPECT_TRUE(state->Port(1).selected.load());
    EXPECT_TRUE(state->InProgress());
    EXPECT_EQ(Waits(), 15) << "a look at each poll: no ACK decides the wait earlier";
    EXPECT_EQ(host.NowMs(), 300) << "15 polls of 20 ms";

    tracker.SetStage(kLoadingDemon);
    EXPECT_EQ(host.Status(1), "Loading Demon");
    EXPECT_EQ(host.Status(3), "Force2Mon Failed...") << "a dropped unit keeps its failure text";
}

TEST_F(UnitTrackerTest, MessageComesBeforeTheStatusAndTheClose) {
    Select({5});
    StartRun();
    tracker.SetStage(kEraseCmdSent);
    const std::size_t afterSetStage = host.events.size();
    EXPECT_TRUE(Wait(kEraseSuccessful, 500, 40));
    std::vector<HostEvent::Kind> kinds;
    for (std::size_t i = afterSetStage; i < host.events.size(); ++i) {
        if (host.events[i].kind != HostEvent::Wait) {
            kinds.push_back(host.events[i].kind);
        }
    }
    EXPECT_EQ(kinds, (std::vector<HostEvent::Kind>{
                         HostEvent::TakeIn, HostEvent::Message, HostEvent::Status,
                         HostEvent::ClosePort, HostEvent::CloseSelected, HostEvent::EnableStart}));
    EXPECT_EQ(host.NowMs(), 20000) << "40 polls of 500 ms";
}

TEST_F(UnitTrackerTest, AllUnitsFailingTheEraseAreReportedInPortOrderThenTheRunEnds) {
    Select({4, 2, 7});
    StartRun();
    tracker.SetStage(kEraseCmdSent);
    EXPECT_TRUE(Wait(kEraseSuccessful, 500, 40));
    EXPECT_EQ(host.Messages(),
              (std::vector<std::string>{
                  "Error detected with the unit connected to COM 2: Erase Failed...",
                  "Error detected with the unit connected to COM 4: Erase Failed...",
                  "Error detected with the unit connected to COM 7: Erase Failed..."}));
    for (int port : {2, 4, 7}) {
        EXPECT_EQ(host.Status(port), "Erase Failed...");
        EXPECT_EQ(state->Port(port).stage.load(), kEraseCmdSent) << "keeps its last counter";
    }
    EXPECT_FALSE(state->InProgress());
}

TEST_F(UnitTrackerTest, DoubleAcknowledgementOvershootsAndCountsAsFailure) {
    Select({1, 2});
    StartRun();
    tracker.SetStage(kFwLoadCmdSent);
    host.ScheduleAck(1, 1, 2);
    host.ScheduleAck(2, 1);
    EXPECT_FALSE(Wait(kFwLoadCmdAck, 5, 60));
    EXPECT_EQ(state->Port(1).stage.load(), kFwLoadComplete);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0],
              "Error detected with the unit connected to COM 1: FW Load Cmd Not Ack...");
    EXPECT_EQ(host.Status(2), "FW Load Cmd Ack");
}

TEST_F(UnitTrackerTest, SingleSurvivorKeepsTheRunAliveAndLaterSuccessesCountPerWait) {
    Select({1, 2});
    StartRun();
    tracker.SetStage(kDemonLoadCmdSent);
    host.ScheduleAck(2, 3);
    EXPECT_FALSE(Wait(kDemonLoadCmdAck, 5, 60));
    EXPECT_EQ(host.Status(1), "Demon Load Cmd Not Ack...");

    // The next wait counts only what reached the stage in it: nobody, so the run ends.
    tracker.SetStage(kDemonLoadCmdSent);
    EXPECT_TRUE(Wait(kDemonLoadCmdAck, 5, 60));
    EXPECT_EQ(host.Messages().back(),
              "Error detected with the unit connected to COM 2: Demon Load Cmd Not Ack...");
}

TEST_F(UnitTrackerTest, WaitEndsTheMomentTheLastUnitIsCounted) {
    Select({1, 2});
    StartRun();
    for (const long ackAt : {12L, 299L}) {
        SCOPED_TRACE(ackAt);
        const long start = host.NowMs();
        tracker.SetStage(kFwLoadCmdSent);
        host.ScheduleAck(1, 1);
        host.ScheduleAck(2, ackAt);
        EXPECT_FALSE(Wait(kFwLoadCmdAck, 5, 60));
        EXPECT_EQ(host.NowMs() - start, ackAt) << "not at the next 5 ms poll";
        EXPECT_TRUE(host.Messages().empty());
    }
}

TEST(UnitTrackerDeadline, WhatArrivedByTheDeadlineIsTakenInBeforeAUnitIsGivenUp) {
    struct Case {
        const char* name;
        std::optional<long> ackAt;  // ms after the wait began; the deadline is at 300
        bool unread;                // arrived, but not counted until taken in
        bool passes;
        std::size_t takeIns;
    };
    const Case cases[] = {
        {"unread, early", 40, true, true, 1},
        {"unread, at the deadline", 300, true, true, 1},
        {"unread, after the deadline", 301, true, false, 1},
        {"nothing arrived", std::nullopt, false, false, 1},
        {"read in time: no take-in", 5, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto state = std::make_unique<LoaderState>();
        StopSignal stop;
        FakeHost host(*state, stop);
        UnitTracker tracker(*state, host);
        // Port 1 answers at once and keeps the run alive; port 2 is the unit under test.
        for (int port : {1, 2}) {
            state->Port(port).selected.store(true);
            host.SetOpen(port, true);
        }
        state->SetInProgress(true);
        tracker.SetStage(kEnqSent);
        host.ScheduleAck(1, 1);
        if (c.ackAt && c.unread) {
            host.ScheduleUnreadAck(2, *c.ackAt);
        } else if (c.ackAt) {
            host.ScheduleAck(2, *c.ackAt);
        }
        tracker.WaitForStage(kForce2MonSuccessful, milliseconds(20), 15);

        const auto takeIns = host.Events(HostEvent::TakeIn);
        ASSERT_EQ(takeIns.size(), c.takeIns);
        if (!takeIns.empty()) {
            EXPECT_EQ(takeIns[0].at, 300) << "at the deadline, not before";
        }
        EXPECT_EQ(host.Status(2), c.passes ? "Force2Mon Successful" : "Force2Mon Failed...");
        EXPECT_EQ(state->Port(2).selected.load(), c.passes);
        EXPECT_EQ(host.Messages().size(), c.passes ? 0u : 1u);
        EXPECT_EQ(host.NowMs(), c.takeIns > 0 ? 300 : 5);
    }
}

TEST_F(UnitTrackerTest, FinishRunClosesSelectedPortsBeforeStartIsEnabled) {
    Select({1, 3});
    host.SetOpen(2, true);
    StartRun();
    EXPECT_THROW(tracker.FinishRun(), RunFinished);
    EXPECT_FALSE(state->InProgress());
    EXPECT_FALSE(host.IsOpen(1));
    EXPECT_FALSE(host.IsOpen(3));
    EXPECT_TRUE(host.IsOpen(2)) << "an unselected port is left alone";
    EXPECT_TRUE(state->Port(1).selected.load()) << "flags are left as they are";
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events[host.events.size() - 2].kind, HostEvent::CloseSelected);
    EXPECT_EQ(host.events.back().kind, HostEvent::EnableStart);
}

TEST_F(UnitTrackerTest, StopRequestEndsTheWaitWithoutTouchingTheHostAgain) {
    Select({1});
    StartRun();
    tracker.SetStage(kEraseCmdSent);
    host.StopAt(host.NowMs() + 1200);
    const std::size_t before = host.events.size();
    EXPECT_THROW(tracker.WaitForStage(kEraseSuccessful, milliseconds(500), 40), RunStopped);
    EXPECT_EQ(host.NowMs(), 1200);
    for (std::size_t i = before; i < host.events.size(); ++i) {
        EXPECT_EQ(host.events[i].kind, HostEvent::Wait);
    }
}

}  // namespace
}  // namespace vantrel
