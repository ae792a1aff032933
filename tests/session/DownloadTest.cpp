// Whole downloads through the serial link to simulated units on pseudo-terminals.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/UnitStage.h"
#include "session/HeadlessSession.h"
#include "tests/session/UnitRig.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::ExpectProgrammed;
using testing::FailText;
using testing::FastUnits;
using testing::FirmwarePattern;
using testing::RomFixture;
using testing::StageText;
using testing::UnitRig;

// The simulated units are com1, com2, ... of the bench; the loader reaches them through these
// ports, which are not numbered like them, so a mix-up shows.
const std::vector<int> kPorts{2, 5, 9};

TEST(Download, ThreeUnitsAreProgrammedInFull) {
    const RomFixture rom(FirmwarePattern(1000));
    UnitRig download(kPorts, FastUnits());
    EXPECT_EQ(download.Run(rom), RunOutcome::Completed);

    HeadlessSession& session = download.Session();
    const RecordingView& view = session.View();
    EXPECT_TRUE(view.Messages().empty()) << view.Messages().front().text.toStdString();
    for (int port : kPorts) {
        SCOPED_TRACE(port);
        EXPECT_EQ(view.Status(port), StageText(kFwLoadComplete));
        const auto& history = view.StatusHistory(port);
        ASSERT_FALSE(history.empty());
        EXPECT_EQ(history.front(), StageText(kEnqSent));
        EXPECT_NE(std::find(history.begin(), history.end(), StageText(kEraseSuccessful)),
                  history.end());
        // finish-run closed the port and left it selected.
        EXPECT_FALSE(session.Link().IsOpen(port));
        EXPECT_TRUE(session.State().Port(port).selected.load());
        EXPECT_EQ(session.State().Port(port).stage.load(), kFwLoadComplete);
        const sim::UnitReport report = download.Report(port);
        EXPECT_EQ(report.enquiries, 1u);
        EXPECT_EQ(report.demonChunks, 26u);
        ExpectProgrammed(report, rom.Image());
    }
    EXPECT_FALSE(session.State().InProgress());
    EXPECT_EQ(view.Progress(), 100);
    EXPECT_EQ(view.StartEnabledCount(), 1);
    ASSERT_EQ(view.SettingWrites().size(), 2u);
    EXPECT_EQ(view.SettingWrites()[0].value.toStdString(), rom.Path());
    EXPECT_EQ(view.SettingWrites()[1].value, "00C10000");
}

TEST(Download, AfterSetBaudRateTheUnitsOnlyHear57600) {
    const RomFixture rom(FirmwarePattern(300));
    UnitRig download({4}, FastUnits());
    EXPECT_EQ(download.Run(rom), RunOutcome::Completed);

    // The unit takes bytes only at the speed it listens at and counts any other as noise: the
    // Demon went in at 9600, and everything after the switch came at 57600.
    const sim::UnitReport report = download.Report(4);
    EXPECT_EQ(report.baud, 57600u);
    EXPECT_EQ(report.demonChunks, 26u);
    ExpectProgrammed(report, rom.Image());
    const auto log = download.Log(4);
    const auto switched = std::find(log.begin(), log.end(), "listening at 57600 baud");
    ASSERT_NE(switched, log.end());
    const auto erased = std::find(switched, log.end(),
                                  "now in " + std::string(sim::StateName(sim::UnitState::Erased)));
    EXPECT_NE(erased, log.end());
    EXPECT_EQ(download.Session().Link().Port(4).GetSettings(), "57600,N,8,1");
}

struct FaultCase {
    const char* name;
    sim::Fault fault;
    int failedStage;
};

void PrintTo(const FaultCase& fault, std::ostream* out) {
    *out << fault.name;
}

class DownloadWithAFaultyUnit : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DownloadWithAFaultyUnit, IsReportedAndDroppedWhileTheOthersComplete) {
    const FaultCase& fault = GetParam();
    const RomFixture rom(FirmwarePattern(1000));
    // The middle unit (port 5) is the faulty one.
    UnitRig download(kPorts, FastUnits(), {{2, {fault.fault}}});
    EXPECT_EQ(download.Run(rom), RunOutcome::Completed);

    HeadlessSession& session = download.Session();
    const RecordingView& view = session.View();
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_EQ(view.Messages().front().text,
              "Error detected with the unit connected to COM 5: " + FailText(fault.failedStage));
    EXPECT_EQ(view.Messages().front().icon, MessageIcon::Stop);
    EXPECT_EQ(view.Status(5), FailText(fault.failedStage));
    EXPECT_FALSE(session.Link().IsOpen(5));
    EXPECT_FALSE(session.State().Port(5).selected.load());
    for (int port : {2, 9}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(view.Status(port), StageText(kFwLoadComplete));
        EXPECT_FALSE(session.Link().IsOpen(port));
        ExpectProgrammed(download.Report(port), rom.Image());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DownloadWithAFaultyUnit,
    ::testing::Values(
        FaultCase{"Silent", {sim::FaultKind::Silent, 0}, kForce2MonSuccessful},
        FaultCase{"HangsUpDuringTheFirmware", {sim::FaultKind::FirmwareHangup, 3}, kFwLoadCmdAck},
        FaultCase{
            "AcknowledgesAChunkTwice", {sim::FaultKind::FirmwareDoubleAck, 2}, kFwLoadCmdAck}),
    [](const ::testing::TestParamInfo<FaultCase>& test) { return std::string(test.param.name); });

TEST(Download, AStopEndsTheRunAndClosesItsPorts) {
    const RomFixture rom(FirmwarePattern(300));
    UnitRig download({3}, FastUnits(), {{1, {{sim::FaultKind::Silent, 0}}}});
    HeadlessSession& session = download.Session();
    // Stop as soon as the enquiry is out, as Exit would while the unit is waited for.
    session.View().SetCallbacks({[&session](int, const QString& text) {
                                     if (text == StageText(kEnqSent)) {
                                         session.RequestStop();
                                     }
                                 },
                                 {},
                                 {},
                                 {}});
    EXPECT_EQ(download.Run(rom), RunOutcome::Stopped);
    EXPECT_FALSE(session.Running());
    EXPECT_FALSE(session.State().InProgress());
    EXPECT_FALSE(session.Link().IsOpen(3));
    EXPECT_EQ(session.View().Status(3), StageText(kEnqSent));
    EXPECT_TRUE(session.View().Messages().empty());
    EXPECT_EQ(session.View().StartEnabledCount(), 0);
}

TEST(Download, AStopRequestedAsStartBeginsHoldsForTheRun) {
    const RomFixture rom(FirmwarePattern(300));
    UnitRig download({6}, FastUnits());
    HeadlessSession& session = download.Session();
    // Start puts the bar at 0 before the run exists.
    session.View().SetCallbacks({{}, {}, [&session](int) { session.RequestStop(); }, {}});
    EXPECT_EQ(download.Run(rom), RunOutcome::Stopped);
    EXPECT_TRUE(session.View().StatusHistory(6).empty());
    EXPECT_TRUE(session.View().SettingWrites().empty());
    EXPECT_FALSE(session.Link().IsOpen(6));
    EXPECT_EQ(download.Report(6).bytesReceived, 0u);
}

TEST(Download, AThrowOnTheUiThreadEndsTheRunAsAnInternalError) {
    const RomFixture rom(FirmwarePattern(300));
    UnitRig download({4}, FastUnits());
    HeadlessSession& session = download.Session();
    session.View().SetCallbacks({[](int, const QString& text) {
                                     if (text == StageText(kLoadingDemon)) {
                                         throw std::runtime_error("the view refused");
                                     }
                                 },
                                 {},
                                 {},
                                 {}});
    EXPECT_EQ(download.Run(rom), RunOutcome::InternalError);
    EXPECT_EQ(session.View().MessageTexts(),
              std::vector<QString>{
                  QString::fromUtf8(kInternalErrorMessage.data(), kInternalErrorMessage.size()) +
                  "the view refused"});
    EXPECT_FALSE(session.Link().IsOpen(4));
    EXPECT_EQ(session.View().StartEnabledCount(), 1);
    EXPECT_FALSE(session.State().InProgress());
    EXPECT_EQ(download.Report(4).demonChunks, 0u);
}

}  // namespace
}  // namespace vantrel
