// The record a batch leaves in the run log.
#include "recording/RunRecordMaker.h"

#include <gtest/gtest.h>

#include "tests/results/TwoUnitBatch.h"

namespace vantrel {
namespace {

using testing::Batch;

TEST(RunRecordMakerTest, RecordTellsPassedFailedAndNotFlashedUnits) {
    const DeviceLookup lookup = [](const QString& device) {
        return device.endsWith("0") ? DeviceIdentity{"/dev/serial/by-id/usb-A", "A1"}
                                    : DeviceIdentity{};
    };
    const RunRecord run =
        MakeRunRecord(Batch(RunOutcome::Completed, false), {"st-1", "ann"}, lookup);
    EXPECT_EQ(run.outcome, "completed");
    EXPECT_EQ(run.exitCode, kExitSomeFailed);
    EXPECT_EQ(run.toolVersion, "1.00");
    ASSERT_EQ(run.units.size(), 2u);
    EXPECT_EQ(run.units[0].result, "passed");
    EXPECT_EQ(run.units[0].usbSerial, "A1");
    EXPECT_EQ(run.units[0].failedText, std::nullopt);
    EXPECT_EQ(run.units[1].comPort, "COM2");
    EXPECT_EQ(run.units[1].byIdPath, std::nullopt);
    EXPECT_EQ(run.units[1].result, "failed");
    EXPECT_EQ(run.units[1].failedStage, 8);
    EXPECT_EQ(run.units[1].failedText, "Erase Failed...");
    EXPECT_EQ(run.units[1].cause, "line lost: Input/output error: /dev/ttyUSB1");
    EXPECT_EQ(run.units[1].durationMs, 400);

    for (const auto outcome :
         {std::optional<RunOutcome>(RunOutcome::ImageError), std::optional<RunOutcome>()}) {
        const RunRecord untouched = MakeRunRecord(Batch(outcome, false), {"st-1", "ann"}, lookup);
        EXPECT_EQ(untouched.exitCode, kExitNothingFlashed);
        for (const UnitRecord& unit : untouched.units) {
            EXPECT_EQ(unit.result, "not-flashed");
            EXPECT_EQ(unit.failedText, std::nullopt);
            EXPECT_EQ(unit.durationMs, std::nullopt);
        }
    }
}

TEST(RunRecordMakerTest, ARunStoppedBeforeItsFirstByteFlashedNothing) {
    for (const bool touched : {false, true}) {
        RunSummary stopped = Batch(RunOutcome::Stopped, false);
        stopped.unitsTouched = touched;
        stopped.units[1].status.clear();
        const RunRecord run = MakeRunRecord(stopped, {"st-1", "ann"},
                                            [](const QString&) { return DeviceIdentity{}; });
        EXPECT_EQ(run.exitCode, kExitInterrupted);
        EXPECT_EQ(run.units[1].result, touched ? "failed" : "not-flashed");
        EXPECT_EQ(run.units[1].failedText,
                  touched ? std::nullopt
                          : std::optional<std::string>("Stopped before flashing: interrupted"));
    }
}

}  // namespace
}  // namespace vantrel
