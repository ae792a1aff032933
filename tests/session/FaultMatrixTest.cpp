// Every fault a unit can show, at every step where it can strike, on one unit of three.
#include <gtest/gtest.h>

#include "engine/UnitStage.h"
#include "tests/session/UnitRig.h"

namespace vantrel::testing {
namespace {

using namespace std::chrono_literals;

constexpr int kFaultyPort = 5;
const std::vector<int> kPorts = {2, kFaultyPort, 9};

struct FaultCase {
    const char* name;
    sim::Fault fault;
    int failedStage;  // the stage the faulty unit fails to reach; 0 when it copes
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) {
    return out << c.name;
}

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, FaultyUnitIsReportedOnceAndTheOthersComplete) {
    const FaultCase& c = GetParam();
    const RomFixture rom(FirmwarePattern(224 * 6 + 17));
    UnitRig rig(kPorts, FastUnits(), {{2u, {c.fault}}});
    const bool hangsUp = c.fault.kind == sim::FaultKind::DemonHangup ||
                         c.fault.kind == sim::FaultKind::FirmwareHangup;

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        rig.Session().View().Clear();
        ASSERT_EQ(rig.Run(rom, 60s), RunOutcome::Completed);

        const auto messages = rig.Session().View().MessageTexts();
        if (c.failedStage == 0) {
            EXPECT_TRUE(messages.empty());
            ExpectProgrammed(rig.Report(kFaultyPort), rom.Image());
        } else if (run == 1 || !hangsUp) {
            const QString fail = FailText(c.failedStage);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], "Error detected with the unit connected to COM 5: " + fail);
            EXPECT_EQ(rig.Session().View().Status(kFaultyPort), fail);
            EXPECT_FALSE(rig.Session().State().Port(kFaultyPort).selected.load());
        }
        for (int port : {2, 9}) {
            EXPECT_EQ(rig.Session().View().Status(port), StageText(kFwLoadComplete));
            ExpectProgrammed(rig.Report(port), rom.Image());
        }
        for (int port : kPorts) {
            EXPECT_FALSE(rig.Session().Link().IsOpen(port)) << "port " << port << " left open";
        }

        // The technician switches the units off and on and goes again; a unit whose line went
        // away is unticked first, since its port can no longer be opened.
        rig.PowerCycle();
        if (hangsUp) {
            rig.Session().Untick(kFaultyPort);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFaultAtEveryStep, FaultMatrix,
    ::testing::Values(
        FaultCase{"SilentAtTheEnquiry", {sim::FaultKind::Silent}, kForce2MonSuccessful},
        FaultCase{"StopsAtDemonChunk3", {sim::FaultKind::DemonStop, 3}, kDemonLoadCmdAck},
        FaultCase{"DoubleAckAtDemonChunk4", {sim::FaultKind::DemonDoubleAck, 4}, kDemonLoadCmdAck},
        FaultCase{"HangsUpAtDemonChunk2", {sim::FaultKind::DemonHangup, 2}, kDemonLoadCmdAck},
        FaultCase{"StopsAtFirmwareChunk2", {sim::FaultKind::FirmwareStop, 2}, kFwLoadCmdAck},
        FaultCase{
            "DoubleAckAtFirmwareChunk3", {sim::FaultKind::FirmwareDoubleAck, 3}, kFwLoadCmdAck},
        FaultCase{"HangsUpAtFirmwareChunk7", {sim::FaultKind::FirmwareHangup, 7}, kFwLoadCmdAck},
        FaultCase{"NoiseBeforeEveryAckIsIgnored", {sim::FaultKind::Noise, 4}, 0}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return param.param.name; });

// The loader waits 40 polls of 500 ms for the erase: a slower one fails the unit after 20 s.
TEST(FaultMatrixSlow, EraseLongerThanTheWaitIsReportedAndTheOthersComplete) {
    const RomFixture rom(FirmwarePattern(300));
    UnitRig rig(kPorts, FastUnits(), {{2u, {{sim::FaultKind::SlowErase}}}});
    ASSERT_EQ(rig.Run(rom, 90s), RunOutcome::Completed);
    EXPECT_EQ(rig.Session().View().MessageTexts(),
              std::vector<QString>{"Error detected with the unit connected to COM 5: " +
                                   FailText(kEraseSuccessful)});
    for (int port : {2, 9}) {
        ExpectProgrammed(rig.Report(port), rom.Image());
    }
    for (int port : kPorts) {
        EXPECT_FALSE(rig.Session().Link().IsOpen(port));
    }
}

}  // namespace
}  // namespace vantrel::testing
