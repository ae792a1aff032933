// The real window driving simulated units on pseudo-terminals, mapped through the settings.
#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>

#include "image/SRecordWriter.h"
#include "tests/image/ToolFiles.h"
#include "tests/ui/SimulatedUnitsTest.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::PatternBytes;
using testing::SimulatedUnitsTest;
using testing::WaitUntil;

constexpr std::uint32_t kBase = 0x00C10000;

class EndToEndTest : public SimulatedUnitsTest {
  protected:
    void StartUnits(unsigned count, std::chrono::milliseconds eraseTime) {
        sim::BenchOptions options;
        options.count = count;
        options.unit = sim::UnitOptions::Fast();
        options.unit.eraseTime = eraseTime;
        StartBench(options);
    }
    QPushButton* StartButton() { return Control<QPushButton>(ids::kStart); }
    QString Status(int port) {
        return Control<QLineEdit>(ids::kPortStatus.at(static_cast<std::size_t>(port - 1)))->text();
    }
    bool RunOver() { return StartButton()->isEnabled() && !Window().RunActive(); }
};

TEST_F(EndToEndTest, TwoUnitsReceiveTheRomImageTwiceInARow) {
    StartUnits(2, 50ms);
    const std::vector<std::uint8_t> image = PatternBytes(16 * 1024);
    const QString rom = RomFileWith("fw.rom", FormatS3Records(image, kBase));
    chooser_.answers = {rom};
    Click(ids::kBrowse);
    Click(ids::kPortBox[0]);
    Click(ids::kPortBox[1]);
    ASSERT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
    Window().SetBaseAddressText("c10000");

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        if (run == 2) {
            // Back to the application, as after switching the units off and on.
            bench_->PowerCycle();
        }
        Click(ids::kStart);
        EXPECT_EQ(Control<QProgressBar>(ids::kProgress)->value(), 0);
        ASSERT_TRUE(WaitUntil([&] { return RunOver(); }, 60s));
        EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
        EXPECT_EQ(Status(1), "FW Load Complete");
        EXPECT_EQ(Status(2), "FW Load Complete");
        EXPECT_EQ(Control<QProgressBar>(ids::kProgress)->value(), 100);
        EXPECT_TRUE(StartButton()->isEnabled());
        EXPECT_FALSE(Window().Link().IsOpen(1))
            << "finish-run closed it; the next Start reopens it";
        for (unsigned unit = 1; unit <= 2; ++unit) {
            const sim::UnitReport report = bench_->Unit(unit).Report();
            EXPECT_TRUE(report.Reached(sim::UnitState::Erased)) << unit;
            EXPECT_TRUE(report.protocolErrors.empty()) << unit;
            ASSERT_TRUE(report.lowestWritten.has_value()) << unit;
            EXPECT_EQ(*report.lowestWritten, kBase);
            const auto written = report.WrittenRange();
            EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin(), image.end()))
                << "unit " << unit << " holds " << written.size() << " bytes";
        }
    }
    EXPECT_EQ(Stored("RomFile", "NameAndPath"), rom);
    EXPECT_EQ(Stored("Misc", "FwBaseAddr"), "c10000");
}

TEST_F(EndToEndTest, ToolFilesFlashExactlyOrTouchNoUnit) {
    StartUnits(2, 50ms);
    QTemporaryDir dir;
    const auto files = testing::MakeToolFiles(dir.path().toStdString());
    Click(ids::kPortBox[0]);
    Click(ids::kPortBox[1]);
    Window().SetBaseAddressText("00C10000");
    for (const testing::ToolFile& file : files) {
        // One file that is not S-records is flashed; every refused one is tried.
        if ((!file.refusal && file.name != "linked.elf") || file.base != kBase) {
            continue;
        }
        SCOPED_TRACE(file.name);
        boxes_.shown.clear();
        // As if replaced: the units start from nothing heard.
        bench_->PowerCycle();
        for (unsigned unit : {1u, 2u}) {
            ASSERT_TRUE(bench_->Unit(unit).WaitUntil(
                [](const sim::UnitReport& r) { return r.bytesReceived == 0; }, 10s));
        }
        Control<QLineEdit>(ids::kRomPath)->setText(QString::fromStdString(file.path.string()));
        Click(ids::kStart);
        ASSERT_TRUE(WaitUntil([&] { return RunOver(); }, 60s));
        for (unsigned unit = 1; unit <= 2; ++unit) {
            const sim::UnitReport report = bench_->Unit(unit).Report();
            if (file.refusal) {
                EXPECT_EQ(report.bytesReceived, 0u) << "unit " << unit;
                continue;
            }
            const auto written = report.WrittenRange();
            EXPECT_TRUE(
                std::equal(written.begin(), written.end(), file.image.begin(), file.image.end()));
        }
        if (file.refusal) {
            ASSERT_EQ(boxes_.shown.size(), 1u);
            EXPECT_TRUE(boxes_.shown[0].text.startsWith("ROM file "))
                << boxes_.shown[0].text.toStdString();
        } else {
            EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
        }
    }
}

TEST_F(EndToEndTest, ExitDuringTheEraseStopsTheRunAtOnce) {
    // An erase far longer than the time Exit may take.
    StartUnits(1, 15s);
    const QString rom = RomFileWith("fw.rom", FormatS3Records(PatternBytes(2048), kBase));
    Control<QLineEdit>(ids::kRomPath)->setText(rom);
    Click(ids::kPortBox[0]);
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return Status(1) == "Erase Cmd Sent"; }, 30s));
    ASSERT_TRUE(Window().State().InProgress());

    boxes_.answers = {BoxResult::Yes};
    const auto before = std::chrono::steady_clock::now();
    Click(ids::kExit);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(boxes_.shown.size(), 1u);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_FALSE(Window().RunActive());
    EXPECT_FALSE(Window().State().InProgress());
    EXPECT_FALSE(Window().Link().IsOpen(1));
    // The erase wait alone would hold the run for up to 20 s.
    EXPECT_LT(took, 3s);
}

}  // namespace
}  // namespace vantrel
