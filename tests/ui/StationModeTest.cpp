// The window in station mode, driving sixteen simulated units, two of them silent.
#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>

#include "image/SRecordWriter.h"
#include "runlog/RunLog.h"
#include "tests/ui/SimulatedUnitsTest.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"
#include "ui/StationDialog.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::PatternBytes;
using testing::SimulatedUnitsTest;
using testing::WaitUntil;

constexpr std::uint32_t kBase = 0x00C10000;
constexpr unsigned kUnits = 16;
constexpr int kSilent[] = {5, 12};

bool IsSilent(int port) {
    return port == kSilent[0] || port == kSilent[1];
}

class StationModeTest : public SimulatedUnitsTest {
  protected:
    void StartUnits() {
        sim::BenchOptions options;
        options.count = kUnits;
        options.unit = sim::UnitOptions::Fast();
        for (const int port : kSilent) {
            options.faults[static_cast<unsigned>(port)] = {{sim::FaultKind::Silent}};
        }
        StartBench(options);
    }
    QLineEdit* StatusField(int port) {
        return Control<QLineEdit>(ids::kPortStatus.at(static_cast<std::size_t>(port - 1)));
    }
    QCheckBox* Box(int port) {
        return Control<QCheckBox>(ids::kPortBox.at(static_cast<std::size_t>(port - 1)));
    }
    bool RunOver() {
        return Control<QPushButton>(ids::kStart)->isEnabled() && !Window().RunActive();
    }
    // The units the log holds, by result.
    std::map<std::string, std::int64_t> LoggedResults() {
        std::map<std::string, std::int64_t> results;
        RunLog log(SqliteTarget{logPath_.toStdString()}, LogAccess::ReadOnly);
        for (const UnitCount& count : log.Counts("")) {
            results[count.result] += count.count;
        }
        return results;
    }
    QString logPath_ = dir_.filePath("station.sqlite");
};

TEST_F(StationModeTest, ABatchWithTwoSilentUnitsGoesOnToOneSummaryAndIsRecorded) {
    StartUnits();
    Seed("Station", "Mode", "1");
    Seed("Station", "Log", logPath_);
    Seed("Station", "Station", "line1-st3");
    Seed("Station", "Ports", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16");
    const std::vector<std::uint8_t> image = PatternBytes(4 * 1024);
    Control<QLineEdit>(ids::kRomPath)
        ->setText(RomFileWith("fw.rom", FormatS3Records(image, kBase)));
    Window().SetBaseAddressText("00C10000");
    ASSERT_NE(Window().Station(), nullptr);
    for (int port = 1; port <= 16; ++port) {
        ASSERT_TRUE(Box(port)->isChecked()) << "remembered tick of COM" << port;
    }
    StatusField(3)->setText("left from an earlier batch");

    Click(ids::kStart);
    EXPECT_EQ(StatusField(3)->text(), "") << "cleared at Start";
    ASSERT_TRUE(Window().RunActive());
    EXPECT_FALSE(Box(1)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(ids::kBrowse)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(ids::kSettings)->isEnabled());
    EXPECT_TRUE(Control<QLineEdit>(ids::kRomPath)->isReadOnly());
    // A reflex Enter at Exit's question keeps the batch going.
    ASSERT_TRUE(WaitUntil([&] { return Window().State().InProgress(); }, 30s));
    Click(ids::kExit);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].type.defaultButton, 1);
    EXPECT_TRUE(Window().isVisible());

    ASSERT_TRUE(WaitUntil([&] { return boxes_.shown.size() == 2; }, 90s));
    EXPECT_TRUE(RunOver());
    ASSERT_EQ(boxes_.shown.size(), 2u) << boxes_.Texts().join('|').toStdString();
    const QString summary = boxes_.shown[1].text;
    EXPECT_EQ(summary.section('\n', 0, 0), "14 of 16 units passed.");
    EXPECT_TRUE(summary.contains("\nPassed: COM1\u2013COM4, COM6\u2013COM11, COM13\u2013COM16\n"))
        << summary.toStdString();
    EXPECT_TRUE(summary.endsWith("Failed:\nCOM5, COM12: Force2Mon Failed..."))
        << summary.toStdString();
    EXPECT_TRUE(Box(1)->isEnabled());
    for (int port = 1; port <= 16; ++port) {
        SCOPED_TRACE(port);
        const bool silent = IsSilent(port);
        EXPECT_EQ(StatusField(port)->property("result").toString(), silent ? "failed" : "passed");
        if (!silent) {
            const sim::UnitReport report = bench_->Unit(static_cast<unsigned>(port)).Report();
            const auto written = report.WrittenRange();
            EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin(), image.end()));
        }
    }
    // Written by the recorder's thread once the window has shown the result.
    ASSERT_TRUE(WaitUntil([&] { return LoggedResults()["passed"] == 14; }, 30s));
    EXPECT_EQ(LoggedResults(),
              (std::map<std::string, std::int64_t>{{"failed", 2}, {"passed", 14}}));
    EXPECT_EQ(Window().Station()->Tally().Ports().size(), 16u);

    // The Station dialog's report is the log's page, opened where the platform opens pages.
    QString opened;
    QString reportNote;
    Window().SetModalRunner([&](QDialog& dialog) {
        auto* station = qobject_cast<CStationDialog*>(&dialog);
        station->SetReportOpener([&](const QString& path) {
            opened = path;
            return true;
        });
        station->ReportButton()->click();
        reportNote = station->Note();
        return 0;
    });
    Window().SystemCommand(ids::kStationCommand);
    EXPECT_TRUE(reportNote.contains(QDir::toNativeSeparators(opened))) << reportNote.toStdString();
    QFile page(opened);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << opened.toStdString();
    const QString html = QString::fromUtf8(page.readAll());
    EXPECT_TRUE(html.contains("line1-st3") && html.contains("Force2Mon Failed..."));
}

TEST_F(StationModeTest, ABatchEndedByExitIsRecordedAsStoppedWithoutASummary) {
    StartUnits();
    Seed("Station", "Mode", "1");
    Seed("Station", "Log", logPath_);
    Seed("Station", "Ports", "1,2");
    Control<QLineEdit>(ids::kRomPath)
        ->setText(RomFileWith("fw.rom", FormatS3Records(PatternBytes(64 * 1024), kBase)));
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return Window().State().InProgress(); }, 30s));
    boxes_.answers = {BoxResult::Yes};
    Click(ids::kExit);
    EXPECT_FALSE(Window().isVisible());
    // The recorder writes what it holds before the window's end.
    window_.reset();
    EXPECT_EQ(boxes_.shown.size(), 1u) << boxes_.Texts().join('|').toStdString();
    EXPECT_EQ(LoggedResults(), (std::map<std::string, std::int64_t>{{"failed", 2}}));
}

TEST_F(StationModeTest, ARunAKilledWindowNeverFinishedIsToldAtTheNextStart) {
    {
        RunLog log(SqliteTarget{logPath_.toStdString()});
        RunRecord run;
        run.key = "killed-run";
        run.startedAt = "2026-01-02T03:04:05.000Z";
        run.station = "line1-st3";
        run.outcome = kRunningOutcome;
        for (const char* port : {"COM1", "COM2"}) {
            UnitRecord unit;
            unit.comPort = port;
            unit.result = kUnknownResult;
            run.units.push_back(unit);
        }
        log.Write(run);
    }
    Seed("Station", "Mode", "1");
    Seed("Station", "Log", logPath_);
    Seed("Station", "Station", "line1-st3");
    Window();
    ASSERT_TRUE(WaitUntil([&] { return !boxes_.shown.empty(); }, 30s));
    EXPECT_TRUE(boxes_.shown[0].text.startsWith("Run log: run "))
        << boxes_.shown[0].text.toStdString();
    EXPECT_TRUE(boxes_.shown[0].text.endsWith(
        "on line1-st3 did not finish: COM1, COM2 may be erased and not flashed"))
        << boxes_.shown[0].text.toStdString();
}

TEST_F(StationModeTest, ShortcutsOpenTheStationDialogWhichSwitchesTheModeOn) {
    QStringList opened;
    bool refusedBadLog = false;
    Window().SetModalRunner([&](QDialog& dialog) {
        opened << dialog.windowTitle();
        if (auto* station = qobject_cast<CStationDialog*>(&dialog)) {
            station->ModeBox()->setChecked(true);
            station->LogField()->setText("postgresql://");
            station->accept();
            refusedBadLog = station->result() != QDialog::Accepted;
            station->LogField()->setText(logPath_);
            station->StationField()->setText("bench-2");
            station->accept();
            return station->result();
        }
        return 0;
    });
    ASSERT_EQ(Window().Station(), nullptr) << "off unless switched on";
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    QTest::keyClick(&Window(), Qt::Key_M, Qt::ControlModifier);
    QTest::keyClick(&Window(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(opened, (QStringList{"Port Mapping", "Station"}));
    EXPECT_TRUE(refusedBadLog);
    ASSERT_NE(Window().Station(), nullptr);
    EXPECT_EQ(Stored("Station", "Mode"), "1");
    EXPECT_EQ(Stored("Station", "Log"), logPath_);
    EXPECT_EQ(Stored("Station", "Station"), "bench-2");
}

}  // namespace
}  // namespace vantrel
