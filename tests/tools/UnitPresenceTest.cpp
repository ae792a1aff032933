// Units plugged and pulled at their ports, seen over the pseudo-terminals.

#include <gtest/gtest.h>

#include "LineClient.h"

namespace vantrel::sim::test {
namespace {

// Plugging waits on the bench's own timers; only hang protection.
constexpr std::chrono::milliseconds kLongWait = 10s;
// Slack for seconds as doubles compared with lower bounds.
constexpr double kEpsilon = 1e-6;

BenchOptions FastBench(unsigned count = 1) {
    BenchOptions options;
    options.count = count;
    options.unit = UnitOptions::Fast();
    return options;
}

bool IsUnit(SimulatedUnit& port, unsigned number) {
    return port.WaitUntil([number](const UnitReport& r) { return r.unit == number; }, kLongWait);
}

TEST(UnitPresenceTest, PulledUnitHearsNothingAndEachPluggedOneStartsAfresh) {
    BenchOptions options = FastBench();
    options.instanceFaults[{1, 2}] = {{FaultKind::Silent}};
    UnitBench bench(options);
    SimulatedUnit& port = bench.Unit(1);
    const struct {
        unsigned enquiries;  // answered by all but the silent unit 2
        bool pulledFirst;    // else swapped while present
    } units[] = {{2, true}, {1, false}, {0, false}};
    for (unsigned number = 1; number <= 3; ++number) {
        SCOPED_TRACE("unit " + std::to_string(number));
        TestLoader loader(port);
        EXPECT_TRUE(loader.ForceToMonitor()) << "a fresh unit is in its application";
        for (unsigned i = 0; i < units[number - 1].enquiries; ++i) {
            EXPECT_TRUE(number == 2 ? loader.SendExpectNoAck(kEnquiryPacket) : loader.Enquire());
        }
        if (units[number - 1].pulledFirst) {
            port.Pull();
            EXPECT_FALSE(port.Present());
            LineClient& line = loader.Line();
            ASSERT_TRUE(line.SetLine(B9600, 'O') && line.Write(kForceMonitorPacket));
            ASSERT_TRUE(line.SetLine(B9600, 'N') && line.Write(kEnquiryPacket));
            EXPECT_TRUE(line.ReadFor(200ms).empty());
        }
        if (number < 3) {
            port.Plug();
            EXPECT_TRUE(port.Present());
        }
    }
    const auto history = port.History();
    ASSERT_EQ(history.size(), 3u);
    for (unsigned number = 1; number <= 3; ++number) {
        const UnitReport& report = history[number - 1];
        EXPECT_EQ(report.unit, number);
        EXPECT_EQ(report.enquiries, units[number - 1].enquiries);
        EXPECT_EQ(report.bytesReceived, 5u + 4 * units[number - 1].enquiries)
            << "bytes to nobody are lost";
        EXPECT_EQ(report.pulledSeconds.has_value(), number < 3);
        EXPECT_EQ(report.flash.size(), number < 3 ? 0u : 640u * 1024) << "gone, none written";
        EXPECT_EQ(report.flashSize, 640u * 1024);
        if (number > 1) {
            EXPECT_GE(report.pluggedSeconds, *history[number - 2].pulledSeconds);
        }
    }
    EXPECT_EQ(history[1].faults, std::vector<Fault>{{FaultKind::Silent}});
    EXPECT_TRUE(history[2].faults.empty());
    EXPECT_EQ(port.Report().unit, 3u);
}

TEST(UnitPresenceTest, RandomPluggingReplacesAUnitASecondAfterItFinished) {
    BenchOptions options = FastBench();
    options.plug = PlugPlan{{100ms, 200ms}, {100ms, 200ms}, 3};
    UnitBench bench(options);
    const auto up = std::chrono::steady_clock::now();
    const auto firmware = MakeFirmware(300);
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.UpToErase());
    const auto lastFrame = std::chrono::steady_clock::now();
    ASSERT_TRUE(loader.LoadFirmware(firmware, kFlashBase));
    ASSERT_TRUE(IsUnit(bench.Unit(1), 2));
    // Read before the fresh unit takes a Demon chunk, after which it would go too.
    const auto history = bench.Unit(1).History();
    ASSERT_TRUE(loader.ForceToMonitor() && loader.Enquire()) << "the fresh unit answers";

    const UnitReport& first = history.at(0);
    ASSERT_TRUE(first.finishedSeconds && first.pulledSeconds);
    EXPECT_GE(*first.finishedSeconds,
              std::chrono::duration<double>(lastFrame - up).count() + 1.0 - kEpsilon);
    for (double gap : {*first.pulledSeconds - *first.finishedSeconds,
                       history.at(1).pluggedSeconds - *first.pulledSeconds}) {
        EXPECT_GE(gap, 0.1 - kEpsilon);
        EXPECT_LE(gap, 0.2 + 2.0);
    }
    EXPECT_TRUE(std::ranges::equal(first.WrittenRange(), firmware)) << "kept when it went";
}

}  // namespace
}  // namespace vantrel::sim::test
