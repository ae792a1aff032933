// What a run leaves for the station: its log record, the loop's tally and the log's report.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "station/RunRecordMaker.h"
#include "station/StationTally.h"
#include "station/StatsReport.h"

namespace vantrel::cli {
namespace {

RunSummary Batch(std::optional<RunOutcome> outcome, bool secondComplete) {
    RunSummary run;
    run.outcome = outcome;
    run.units = {{1, "/dev/ttyUSB0", "FW Load Complete", outcome == RunOutcome::Completed},
                 {2, "/dev/ttyUSB1", secondComplete ? "FW Load Complete" : "Erase Failed...",
                  secondComplete && outcome == RunOutcome::Completed}};
    run.units[1].endStage = 8;  // Erase Failed...
    run.units[1].cause = "line lost: Input/output error: /dev/ttyUSB1";
    run.units[0].durationMs = 900;
    run.units[1].durationMs = 400;
    run.finishedAt = run.startedAt + std::chrono::milliseconds(1500);
    return run;
}

TEST(StationTest, RecordTellsPassedFailedAndNotFlashedUnits) {
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

TEST(StationTest, TallyCountsFlashedUnitsAndKeepsTheLastFailure) {
    StationTally tally;
    tally.Add(Batch(RunOutcome::Completed, false));
    tally.Add(Batch(RunOutcome::Completed, true));
    tally.Add(Batch(RunOutcome::ImageError, false));  // a run, but no units
    const std::string text = tally.Text();
    EXPECT_NE(text.find("COM1        2       0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("COM2        1       1  Erase Failed...\n"), std::string::npos) << text;
    EXPECT_NE(text.find("station: 3 runs, 4 units, 75.0 % yield, 1.5 s per run"), std::string::npos)
        << text;
    // No unit flashed yet has no yield, not 0 %.
    StationTally refusedOnly;
    refusedOnly.Add(Batch(RunOutcome::ImageError, false));
    EXPECT_EQ(refusedOnly.Counts(), "1 run, no units");
    EXPECT_TRUE(refusedOnly.Json()["yield_percent"].isNull());
    EXPECT_EQ(StationTally().Counts(), "no batch yet");
    EXPECT_EQ(tally.Json(),
              QJsonDocument::fromJson(R"({"runs": 3, "units": 4, "yield_percent": 75.0,
        "mean_run_seconds": 1.5, "ports": [
        {"port": "COM1", "passed": 2, "failed": 0, "last_failure": null},
        {"port": "COM2", "passed": 1, "failed": 1, "last_failure": "Erase Failed..."}]})")
                  .object());
}

TEST(StationTest, StatsOrderPortsByNumberAndFailuresByCount) {
    const std::vector<UnitCount> counts = {
        {"st-2", "COM10", "passed", std::nullopt, 4},
        {"st-2", "COM9", "failed", "Erase Failed...", 1},
        {"st-2", "COM9", "failed", "Force2Mon Failed...", 3},
        {"st-2", "COM9", "passed", std::nullopt, 4},
        {"st-2", "COM10", "not-flashed", std::nullopt, 7},
        {"st-1", "COM1", "failed", "Erase Failed...", 2},
    };
    const auto stations = GatherStats(counts);
    ASSERT_EQ(stations.size(), 2u);
    EXPECT_EQ(stations[0].station, "st-1");
    const StationStats& st2 = stations[1];
    ASSERT_EQ(st2.ports.size(), 2u);
    EXPECT_EQ(st2.ports[0].port, "COM9");
    EXPECT_EQ(st2.total.passed, 8);
    EXPECT_EQ(st2.total.failed, 4);
    ASSERT_EQ(st2.total.failures.size(), 2u);
    EXPECT_EQ(st2.total.failures[0],
              std::make_pair(std::string("Force2Mon Failed..."), std::int64_t{3}));

    const std::string text = StatsText(stations, "2024-05-31T00:00:00.000Z");
    EXPECT_NE(text.find("st-2             COM9        4       4   50.0%  Force2Mon Failed... (3), "
                        "Erase Failed... (1)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("st-2             all         8       4   66.7%"), std::string::npos)
        << text;
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(StatsJson(stations, ""))).object();
    EXPECT_EQ(json["stations"][1]["ports"][1].toObject(),
              QJsonDocument::fromJson(R"({"port": "COM10", "passed": 4, "failed": 0,
                  "yield_percent": 100.0, "failures": [], "unknown": 0})")
                  .object());
    EXPECT_TRUE(json["since"].isNull());
}

TEST(StationTest, ARunStoppedBeforeItsFirstByteFlashedNothing) {
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

TEST(StationTest, StatsShowLongAndOddNamesWholeOnOneLine) {
    const std::string longName(600, 's');
    const std::string text =
        StatsText(GatherStats({{longName, "COM1", "passed", std::nullopt, 2},
                               {"st-1\nst-2 COM1 99", "COM1", "failed", "Erase\tFailed...", 1}}),
                  "");
    EXPECT_NE(text.find(longName + " COM1        2       0  100.0%\n"), std::string::npos) << text;
    EXPECT_NE(
        text.find("st-1\\x0Ast-2 COM1 99 COM1        0       1    0.0%  Erase\\x09Failed... (1)"),
        std::string::npos)
        << text;
}

}  // namespace
}  // namespace vantrel::cli
