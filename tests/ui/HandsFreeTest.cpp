// The window's hands-free station on simulated units that come and go.
#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <map>

#include "image/SRecordWriter.h"
#include "tests/ui/SimulatedUnitsTest.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::PatternBytes;
using testing::WaitUntil;

// Longer than the three unanswered probes after which a port counts its unit gone.
constexpr int kUnitAwayMs = 5000;

class HandsFreeTest : public testing::SimulatedUnitsTest {
  protected:
    void StartHandsFree(sim::BenchOptions options) {
        StartBench(options);
        QStringList ports;
        for (unsigned port = 1; port <= options.count; ++port) {
            ports << QString::number(port);
        }
        Seed("Station", "Mode", "1");
        Seed("Station", "HandsFree", "1");
        Seed("Station", "Log", dir_.filePath("station.sqlite"));
        Seed("Station", "Ports", ports.join(','));
        Control<QLineEdit>(ids::kRomPath)
            ->setText(RomFileWith("fw.rom", FormatS3Records(image_, 0x00C10000)));
        Window().SetBaseAddressText("00C10000");
        // Every text each row shows, as it shows it.
        for (unsigned port = 1; port <= options.count; ++port) {
            QLineEdit* row = Row(static_cast<int>(port));
            QObject::connect(row, &QLineEdit::textChanged, row,
                             [this, port](const QString& text) { shown_[port] << text; });
        }
    }
    QLineEdit* Row(int port) {
        return Control<QLineEdit>(ids::kPortStatus.at(static_cast<std::size_t>(port - 1)));
    }
    bool WaitForUnits(int count) {
        return WaitUntil(
            [&] {
                return Window().Station()->Tally().StationLine().find(
                           std::to_string(count) + " units") != std::string::npos;
            },
            60s);
    }
    void Swap(unsigned port) {
        bench_->Unit(port).Pull();
        QTest::qWait(kUnitAwayMs);
        bench_->Unit(port).Plug();
    }

    std::vector<std::uint8_t> image_ = PatternBytes(64 * 1024);
    std::map<unsigned, QStringList> shown_;
};

TEST_F(HandsFreeTest, EachUnitIsFlashedAsItComesAndNothingWaitsForAClick) {
    sim::BenchOptions options;
    options.count = 3;
    options.unit = sim::UnitOptions::Fast();
    options.instanceFaults[{2, 1}] = {*sim::ParseFault("fw-stop:2")};
    StartHandsFree(options);
    Click(ids::kStart);
    EXPECT_EQ(Control<QPushButton>(ids::kStart)->text(), "Stop");
    ASSERT_TRUE(WaitForUnits(3));
    // Ports 1 and 2 get fresh units; port 3's stays and is never flashed again.
    bench_->Unit(1).Pull();
    Swap(2);
    bench_->Unit(1).Plug();
    ASSERT_TRUE(WaitForUnits(5));
    QTest::qWait(2000);
    EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
    EXPECT_TRUE(Window().StationLine()->toolTip().contains("5 runs, 5 units, 80.0 % yield"))
        << Window().StationLine()->toolTip().toStdString();

    for (unsigned port = 1; port <= 3; ++port) {
        SCOPED_TRACE(port);
        const QStringList& texts = shown_[port];
        EXPECT_EQ(texts.front(), "Waiting for a unit");
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const QString& t) {
            return t.startsWith("Flashing ");
        })) << texts.join('|').toStdString();
        EXPECT_EQ(texts.count("Passed \u2013 remove the unit"), port == 1 ? 2 : 1)
            << texts.join('|').toStdString();
        for (const sim::UnitReport& unit : bench_->Unit(port).History()) {
            EXPECT_EQ(unit.erases, 1u) << "unit " << unit.unit << " flashed exactly once";
        }
    }
    EXPECT_EQ(shown_[2].count("Failed \u2013 remove the unit"), 1);
    EXPECT_TRUE(shown_[2].contains("FW Load Cmd Not Ack...")) << shown_[2].join('|').toStdString();

    Click(ids::kStart);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown.back().text.startsWith("Hands-free ended: 4 of 5 units passed."))
        << boxes_.shown.back().text.toStdString();
    EXPECT_EQ(Control<QPushButton>(ids::kStart)->text(), "Start");
    for (int port = 1; port <= 3; ++port) {
        EXPECT_TRUE(Window().Link().IsOpen(port)) << "ticked again as a click opens it";
    }
}

TEST_F(HandsFreeTest, ExitMidFlashAsksThenEndsWithTheUnitRecordedAsStopped) {
    sim::BenchOptions options;
    options.count = 1;  // at the line's own pace: long enough to ask mid-flash
    StartHandsFree(options);
    Click(ids::kStart);
    // The window's thread stays free: the watch's every step is carried out on it.
    ASSERT_TRUE(WaitUntil([&] { return bench_->Unit(1).Report().reachedDemon; }, 30s));
    boxes_.answers = {BoxResult::No, BoxResult::Yes};
    Click(ids::kExit);
    EXPECT_TRUE(Window().Watching()) << "No goes on";
    Click(ids::kExit);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_TRUE(boxes_.shown[1].text.startsWith("Firmware loading is in progress!"));
    EXPECT_FALSE(Window().Watching());
    ASSERT_EQ(Window().Station()->Tally().Ports().size(), 1u);
    EXPECT_EQ(Window().Station()->Tally().Ports()[0].failed, 1);
    // The window goes, and with it the log's thread, once the record is written.
    window_.reset();
    const std::string log = dir_.filePath("station.sqlite").toStdString();
    FILE* query = popen(("sqlite3 " + log + " \"SELECT outcome FROM runs\"").c_str(), "r");
    ASSERT_NE(query, nullptr);
    char line[64] = {};
    EXPECT_NE(std::fgets(line, sizeof line, query), nullptr);
    pclose(query);
    EXPECT_STREQ(line, "stopped\n");
}

}  // namespace
}  // namespace vantrel
