// Exit at each step of a run against simulated units: the window ends at once, the run is
// joined, the ports are closed and nothing more reaches the units.
#include <gtest/gtest.h>

#include "tests/settings/QtPrinters.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "image/SRecordWriter.h"
#include "tests/ui/SimulatedUnitsTest.h"
#include "tools/unitsim/UnitSim.h"
#include "ui/ControlIds.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using sim::UnitReport;
using testing::PatternBytes;
using testing::SimulatedUnitsTest;
using testing::WaitUntil;

constexpr std::uint32_t kBase = 0x00C10000;
constexpr unsigned kUnits = 2;
// Large enough that the firmware transfer takes a while even against fast units.
constexpr std::size_t kImageSize = 64 * 1024;
constexpr unsigned kFirmwareChunks = (kImageSize + 223) / 224;
// The Demon text the loader carries is 5,630 bytes.
constexpr unsigned kDemonChunks = (5630 + 223) / 224;
// Long enough to be a step of its own, short enough for a run that goes on to finish.
constexpr auto kEraseTime = 1500ms;
// Hang protection only; the measured time is recorded.
constexpr auto kExitLimit = 5s;

const QString kExitQuestion = QStringLiteral(
    "Firmware loading is in progress! Unit may not    recover if the loading process is "
    "interrupted.\n\nAre you sure you want to exit?");

enum class Step {
    RightAfterStart,
    ForceMonitorPause,
    EnquiryWait,
    DemonTransfer,
    AfterRunDemon,
    AfterSetBaudRate,
    AfterSpeedSwitch,
    EraseWait,
    FirmwareTransfer,
};

enum class Trigger { ExitButton, CloseEvent };

struct StepCase {
    Step step;
    const char* name;
    // Whether the in-progress flag is set during the step, so that Exit asks first.
    bool inProgress;
};

constexpr StepCase kSteps[] = {
    {Step::RightAfterStart, "RightAfterStart", false},
    {Step::ForceMonitorPause, "ForceMonitorPause", false},
    {Step::EnquiryWait, "EnquiryWait", true},
    {Step::DemonTransfer, "DemonTransfer", true},
    {Step::AfterRunDemon, "AfterRunDemon", true},
    {Step::AfterSetBaudRate, "AfterSetBaudRate", true},
    {Step::AfterSpeedSwitch, "AfterSpeedSwitch", true},
    {Step::EraseWait, "EraseWait", true},
    {Step::FirmwareTransfer, "FirmwareTransfer", true},
};

struct ExitCase {
    StepCase step;
    Trigger trigger;
};

void PrintTo(const ExitCase& c, std::ostream* out) {
    *out << c.step.name
         << (c.trigger == Trigger::ExitButton ? " by the Exit button" : " by closing");
}

ExitCase CaseOf(Step step, Trigger trigger) {
    for (const StepCase& entry : kSteps) {
        if (entry.step == step) {
            return {entry, trigger};
        }
    }
    throw std::logic_error("step not in the table");
}

std::string CaseName(const ::testing::TestParamInfo<ExitCase>& info) {
    return std::string(info.param.step.name) +
           (info.param.trigger == Trigger::ExitButton ? "_ExitButton" : "_CloseEvent");
}

std::vector<ExitCase> AllCases() {
    std::vector<ExitCase> cases;
    for (const StepCase& step : kSteps) {
        for (const Trigger trigger : {Trigger::ExitButton, Trigger::CloseEvent}) {
            cases.push_back({step, trigger});
        }
    }
    return cases;
}

// What reaches a unit from the loader; the unit's own output (a late erase ACK) is left out.
struct Inbound {
    std::uint64_t bytes;
    unsigned enquiries;
    unsigned demonChunks;
    unsigned firmwareChunks;

    friend bool operator==(const Inbound&, const Inbound&) = default;
};

std::ostream& operator<<(std::ostream& out, const Inbound& in) {
    return out << "{bytes " << in.bytes << ", enquiries " << in.enquiries << ", demon "
               << in.demonChunks << ", firmware " << in.firmwareChunks << '}';
}

class ExitDuringRun : public SimulatedUnitsTest {
  protected:
    // Units com1 and com2 mapped through the settings store, ticked, and a ROM file chosen.
    void Prepare(bool secondUnitSilent) {
        sim::BenchOptions options;
        options.count = kUnits;
        options.unit = sim::UnitOptions::Fast();
        options.unit.eraseTime = kEraseTime;
        if (secondUnitSilent) {
            options.faults[2] = {{sim::FaultKind::Silent}};
        }
        StartBench(options);
        image_ = PatternBytes(kImageSize);
        Control<QLineEdit>(ids::kRomPath)
            ->setText(RomFileWith("fw.rom", FormatS3Records(image_, kBase)));
        Window().SetBaseAddressText("c10000");
        for (unsigned port = 1; port <= kUnits; ++port) {
            Click(ids::kPortBox.at(port - 1));
        }
        ASSERT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
    }

    QString Status(int port) {
        return Control<QLineEdit>(ids::kPortStatus.at(static_cast<std::size_t>(port - 1)))->text();
    }
    QString LineOf(int port) { return Window().Link().Port(port).GetSettings(); }

    // Looked at under the unit's lock, without copying its flash.
    bool Every(const std::function<bool(const UnitReport&)>& holds) {
        for (unsigned unit = 1; unit <= kUnits; ++unit) {
            if (!bench_->Unit(unit).WaitUntil(holds, 0ms)) {
                return false;
            }
        }
        return true;
    }

    std::vector<UnitReport> Reports() { return bench_->Reports(); }
    std::vector<Inbound> InboundNow() {
        std::vector<Inbound> all;
        for (const UnitReport& r : Reports()) {
            all.push_back({r.bytesReceived, r.enquiries, r.demonChunks, r.firmwareChunks});
        }
        return all;
    }

    // True once the run is in the step. The worker can move on only through calls this thread
    // carries out, so a step seen here still holds when Exit follows without events between.
    bool InStep(Step step) {
        switch (step) {
            case Step::RightAfterStart:
                return true;
            case Step::ForceMonitorPause:
                // Force-to-monitor went out and the monitor line is not set yet.
                return Every([](const UnitReport& r) { return r.reachedMonitor; }) &&
                       LineOf(1) == "9600,O,8,1";
            case Step::EnquiryWait:
                // com1 answered, silent com2 keeps the wait going.
                return Status(1) == "Force2Mon Successful" && Status(2) == "ENQ Sent";
            case Step::DemonTransfer:
                return Every([](const UnitReport& r) {
                    return r.demonChunks >= 3 && r.demonChunks < kDemonChunks;
                });
            case Step::AfterRunDemon:
                return Every([](const UnitReport& r) { return r.reachedDemon && r.baud == 9600; });
            case Step::AfterSetBaudRate:
                return Every([](const UnitReport& r) { return r.baud == 57600; }) &&
                       LineOf(1).startsWith("9600,");
            case Step::AfterSpeedSwitch:
                return LineOf(1) == "57600,N,8,1" && LineOf(2) == "57600,N,8,1" &&
                       Status(1) == "Demon Running";
            case Step::EraseWait:
                return Status(1) == "Erase Cmd Sent" &&
                       Every([](const UnitReport& r) { return r.eraseInProgress; });
            case Step::FirmwareTransfer:
                return Every([](const UnitReport& r) {
                    return r.firmwareChunks >= 5 && r.firmwareChunks < kFirmwareChunks;
                });
        }
        return false;
    }

    // The units show that Exit came during the step and not after it.
    void ExpectStoppedIn(Step step, const std::vector<UnitReport>& reports) {
        const UnitReport& first = reports.at(0);
        switch (step) {
            case Step::RightAfterStart:
                for (const UnitReport& r : reports) {
                    EXPECT_EQ(r.bytesReceived, 0u) << r.name;
                }
                break;
            case Step::ForceMonitorPause:
                for (const UnitReport& r : reports) {
                    EXPECT_TRUE(r.reachedMonitor) << r.name;
                    EXPECT_EQ(r.enquiries, 0u) << r.name;
                }
                break;
            case Step::EnquiryWait:
                EXPECT_EQ(first.enquiries, 1u);
                EXPECT_EQ(first.demonChunks, 0u);
                // The wait was cut short, not run out: com2 was never reported as failed.
                EXPECT_EQ(Status(2), "ENQ Sent");
                break;
            case Step::DemonTransfer:
                for (const UnitReport& r : reports) {
                    EXPECT_GE(r.demonChunks, 3u) << r.name;
                    EXPECT_LT(r.demonChunks, kDemonChunks) << r.name;
                    EXPECT_FALSE(r.reachedDemon) << r.name;
                }
                break;
            case Step::AfterRunDemon:
                for (const UnitReport& r : reports) {
                    EXPECT_TRUE(r.reachedDemon) << r.name;
                    EXPECT_EQ(r.baud, 9600u) << r.name;
                }
                break;
            case Step::AfterSetBaudRate:
            case Step::AfterSpeedSwitch:
                for (const UnitReport& r : reports) {
                    EXPECT_EQ(r.baud, 57600u) << r.name;
                    EXPECT_FALSE(r.eraseInProgress || r.reachedErased) << r.name;
                }
                break;
            case Step::EraseWait:
                for (const UnitReport& r : reports) {
                    EXPECT_TRUE(r.eraseInProgress) << r.name;
                    EXPECT_EQ(r.firmwareChunks, 0u) << r.name;
                }
                break;
            case Step::FirmwareTransfer:
                for (const UnitReport& r : reports) {
                    EXPECT_GE(r.firmwareChunks, 5u) << r.name;
                    EXPECT_LT(r.firmwareChunks, kFirmwareChunks) << r.name;
                }
                break;
        }
    }

    // Exit as asked for; returns how long it took.
    std::chrono::milliseconds TriggerExit(Trigger trigger) {
        const auto before = std::chrono::steady_clock::now();
        if (trigger == Trigger::ExitButton) {
            Click(ids::kExit);
        } else {
            Window().close();
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - before);
    }

    void ExpectConfirmationOnly() {
        ASSERT_EQ(boxes_.shown.size(), 1u) << boxes_.Texts().join('|').toStdString();
        const testing::ShownBox& box = boxes_.shown[0];
        EXPECT_EQ(box.text, kExitQuestion);
        EXPECT_EQ(box.type.buttons, BoxButtons::YesNo);
        EXPECT_EQ(box.type.icon, BoxIcon::Stop);
        EXPECT_EQ(box.type.defaultButton, 0) << "Yes is the default";
        EXPECT_EQ(box.owner.data(), &Window());
        EXPECT_TRUE(box.onUiThread);
    }

    std::vector<std::uint8_t> image_;
};

class ExitDuringRunTest : public ExitDuringRun, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitDuringRunTest, EndsTheProgramAtOnceAndSendsNothingMore) {
    const ExitCase& param = GetParam();
    const Step step = param.step.step;
    Prepare(/*secondUnitSilent=*/step == Step::EnquiryWait);
    if (HasFatalFailure()) {
        return;
    }
    CLoaderDialog& window = Window();
    boxes_.answers = {BoxResult::Yes};
    Click(ids::kStart);
    ASSERT_TRUE(window.RunActive());
    ASSERT_TRUE(WaitUntil([&] { return InStep(step); }, 30s))
        << "never saw the step; statuses " << Status(1).toStdString() << " / "
        << Status(2).toStdString();
    ASSERT_EQ(window.State().InProgress(), param.step.inProgress);
    ASSERT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();

    const std::chrono::milliseconds took = TriggerExit(param.trigger);

    RecordProperty("exit_ms", static_cast<int>(took.count()));
    std::printf("[   exit   ] %s: Exit took %lld ms\n", CaseName({param, 0}).c_str(),
                static_cast<long long>(took.count()));
    EXPECT_LT(took, kExitLimit);

    if (param.step.inProgress) {
        ExpectConfirmationOnly();
    } else {
        EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
    }
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.RunActive()) << "the run was stopped and joined";
    EXPECT_FALSE(window.State().InProgress());
    EXPECT_FALSE(window.RomFileOpen());
    for (int port = 1; port <= kPortCount; ++port) {
        EXPECT_FALSE(window.Link().IsOpen(port)) << "COM " << port;
    }

    // Bytes written before the ports closed may still be crossing the pseudo-terminal; no
    // events run meanwhile, so nothing the run may have queued gets out here.
    std::this_thread::sleep_for(10ms);
    const std::vector<Inbound> atExit = InboundNow();
    ExpectStoppedIn(step, Reports());
    // Whatever the run still had queued for this thread runs now, if it runs at all.
    QTest::qWait(100);
    EXPECT_EQ(InboundNow(), atExit);
    ASSERT_EQ(boxes_.shown.size(), param.step.inProgress ? 1u : 0u)
        << boxes_.Texts().join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EachStep, ExitDuringRunTest, ::testing::ValuesIn(AllCases()), CaseName);

// Exit answered No leaves the run alone: it goes on and completes.
class ExitAnsweredNoTest : public ExitDuringRun, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitAnsweredNoTest, TheRunGoesOnAndCompletes) {
    const ExitCase& param = GetParam();
    const Step step = param.step.step;
    Prepare(/*secondUnitSilent=*/false);
    if (HasFatalFailure()) {
        return;
    }
    CLoaderDialog& window = Window();
    boxes_.answers = {BoxResult::No};
    Click(ids::kStart);
    ASSERT_TRUE(WaitUntil([&] { return InStep(step); }, 30s));
    ASSERT_TRUE(window.State().InProgress());

    const std::chrono::milliseconds took = TriggerExit(param.trigger);

    EXPECT_LT(took, kExitLimit);
    ExpectConfirmationOnly();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.RunActive());
    EXPECT_TRUE(window.State().InProgress());
    EXPECT_TRUE(window.Link().IsOpen(1));
    EXPECT_TRUE(window.Link().IsOpen(2));

    ASSERT_TRUE(WaitUntil(
        [&] { return Control<QPushButton>(ids::kStart)->isEnabled() && !window.RunActive(); },
        60s));
    ExpectConfirmationOnly();
    for (unsigned unit = 1; unit <= kUnits; ++unit) {
        SCOPED_TRACE(unit);
        EXPECT_EQ(Status(static_cast<int>(unit)), "FW Load Complete");
        const UnitReport report = bench_->Unit(unit).Report();
        EXPECT_TRUE(report.protocolErrors.empty());
        EXPECT_EQ(report.firmwareChunks, kFirmwareChunks);
        const auto written = report.WrittenRange();
        EXPECT_TRUE(std::equal(written.begin(), written.end(), image_.begin(), image_.end()))
            << "holds " << written.size() << " bytes";
    }

    // With the run over, Exit asks nothing.
    boxes_.shown.clear();
    TriggerExit(param.trigger);
    EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Texts().join('|').toStdString();
    EXPECT_FALSE(window.isVisible());
}

INSTANTIATE_TEST_SUITE_P(SomeSteps, ExitAnsweredNoTest,
                         ::testing::Values(CaseOf(Step::DemonTransfer, Trigger::ExitButton),
                                           CaseOf(Step::AfterSpeedSwitch, Trigger::CloseEvent),
                                           CaseOf(Step::EraseWait, Trigger::ExitButton),
                                           CaseOf(Step::FirmwareTransfer, Trigger::CloseEvent)),
                         CaseName);

}  // namespace
}  // namespace vantrel
