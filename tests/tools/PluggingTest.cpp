// When units finish, are pulled and are plugged, on a made-up clock.

#include "tools/unitsim/Plugging.h"

#include <gtest/gtest.h>

#include <set>

#include "LineClient.h"
#include "tools/unitsim/UnitModel.h"

namespace vantrel::sim::test {
namespace {

using std::chrono::milliseconds;
using Kind = PortStep::Kind;
using Steps = std::vector<PortStep>;

const TimePoint kT0 = TimePoint{} + std::chrono::seconds(100);
constexpr LineSample kOdd9600{9600, false, true};
constexpr LineSample kNone9600{9600, false, false};

void Take(UnitModel& model, std::span<const std::uint8_t> bytes, LineSample line, TimePoint at) {
    model.Receive(bytes, line, at);
    model.Advance(at);
}

TEST(UnitFinishTest, ASecondAfterTheLastFrameAndNeverByProbesAlone) {
    UnitModel model(UnitOptions::Fast());
    for (auto at = kT0; at < kT0 + 5s; at += 500ms) {
        Take(model, kForceMonitorPacket, kOdd9600, at);
        Take(model, kEnquiryPacket, kNone9600, at);
    }
    EXPECT_FALSE(model.FinishedBy(kT0 + 60s));

    const TimePoint chunk = kT0 + 6s;
    Take(model, DemonChunk(0), kNone9600, chunk);
    Take(model, kEnquiryPacket, kNone9600, chunk + 500ms);  // a probe does not put it off
    EXPECT_FALSE(model.FinishedBy(chunk + 999ms));
    EXPECT_EQ(model.FinishedBy(chunk + 1s), chunk + 1s);
}

TEST(UnitFinishTest, AnEraseKeepsTheUnitBusyUntilItEnds) {
    UnitOptions options = UnitOptions::Fast();
    options.eraseTime = 1500ms;
    UnitModel model(options);
    Take(model, kForceMonitorPacket, kOdd9600, kT0);
    for (std::size_t offset = 0; offset < DemonReference().size(); offset += kMaxChunkData) {
        Take(model, DemonChunk(offset), kNone9600, kT0);
    }
    Take(model, Packet(BuildRunDemon), kNone9600, kT0);
    Take(model, SetBaudRatePacket(57600), kNone9600, kT0);
    Take(model, Packet(BuildEraseFlash), {57600, false, false}, kT0 + 900ms);
    model.Advance(kT0 + 2400ms);
    EXPECT_FALSE(model.FinishedBy(kT0 + 2399ms)) << "erasing";
    EXPECT_TRUE(model.Report().reachedErased);
    EXPECT_FALSE(model.FinishedBy(kT0 + 3399ms));
    EXPECT_EQ(model.FinishedBy(kT0 + 3400ms), kT0 + 3400ms);
}

TEST(DurationDrawTest, SameSeedSameDrawsCoveringTheRange) {
    const Range range{100ms, 103ms};
    DurationDraw first(7), again(7), other(8);
    std::vector<milliseconds> drawn, redrawn, otherDrawn;
    for (int i = 0; i < 1000; ++i) {
        drawn.push_back(first(range));
        redrawn.push_back(again(range));
        otherDrawn.push_back(other(range));
    }
    EXPECT_EQ(drawn, redrawn);
    EXPECT_NE(drawn, otherDrawn);
    EXPECT_EQ(std::set(drawn.begin(), drawn.end()),
              (std::set<milliseconds>{100ms, 101ms, 102ms, 103ms}));
    EXPECT_EQ(first({5ms, 5ms}), 5ms);
}

PortStatus PluggedAt(TimePoint at, unsigned unit = 1) {
    return {true, unit, at, std::nullopt, std::nullopt};
}

TEST(RandomPluggingTest, AwayAfterTheFinishBackAfterThePullGivenUpAfterThirtySeconds) {
    const PlugPlan plan{{100ms, 200ms}, {300ms, 400ms}, 7};
    RandomPlugging plugging(plan, 2);
    // Port n draws from seed + n, away then back for each unit.
    DurationDraw draw(plan.seed + 1);
    const auto away = draw(plan.away), back = draw(plan.back), nextAway = draw(plan.away);

    std::vector<PortStatus> ports = {PluggedAt(kT0), PluggedAt(kT0)};
    ports[0].finishedAt = kT0 + 2s;
    ports[1].finishedAt = kT0 + kGiveUpAfter + 1s;  // too late: given up before
    EXPECT_EQ(plugging.Next(ports), kT0 + 2s + away);
    EXPECT_TRUE(plugging.Due(ports, kT0 + 2s + away - 1ms).empty());
    EXPECT_EQ(plugging.Due(ports, kT0 + 2s + away), (Steps{{1, Kind::Pull}}));

    const TimePoint pulled = kT0 + 3s;
    ports[0] = {false, 1, kT0, pulled, kT0 + 2s};
    EXPECT_EQ(plugging.Next(ports), pulled + back);
    EXPECT_EQ(plugging.Due(ports, pulled + back), (Steps{{1, Kind::Plug}}));
    ports[0] = PluggedAt(pulled + back, 2);
    ports[0].finishedAt = pulled + back + 1s;
    EXPECT_EQ(plugging.Next(ports), pulled + back + 1s + nextAway);
    EXPECT_EQ(plugging.Due(ports, kT0 + kGiveUpAfter), (Steps{{1, Kind::Pull}, {2, Kind::Pull}}));
}

TEST(RandomPluggingTest, AUnitInItsDemonIsNeverGivenUpHoweverLongItsFlash) {
    const PlugPlan plan{{100ms, 200ms}, {300ms, 400ms}, 7};
    RandomPlugging plugging(plan, 1);
    std::vector<PortStatus> ports = {PluggedAt(kT0)};
    ports[0].tookDemon = true;
    EXPECT_TRUE(plugging.Due(ports, kT0 + 5 * kGiveUpAfter).empty());
    ports[0].finishedAt = kT0 + 2 * kGiveUpAfter;
    const auto away = DurationDraw(plan.seed + 1)(plan.away);
    EXPECT_EQ(plugging.Next(ports), kT0 + 2 * kGiveUpAfter + away);
    EXPECT_EQ(plugging.Due(ports, kT0 + 2 * kGiveUpAfter + away), (Steps{{1, Kind::Pull}}));
}

TEST(OperatorPluggingTest, OnePortAtATimeFirstFinishedFirstServed) {
    OperatorPlugging plugging(500ms);
    std::vector<PortStatus> ports(4, PluggedAt(kT0));
    ports[0].finishedAt = kT0 + 1200ms;
    ports[1].finishedAt = kT0 + 1s;
    ports[2].finishedAt = kT0 + 1100ms;
    // The bench's side: each step taken when it is due.
    const auto follow = [&](milliseconds at, const Steps& expected) {
        EXPECT_EQ(plugging.Next(ports), kT0 + at);
        EXPECT_EQ(plugging.Due(ports, kT0 + at), expected);
        for (const PortStep& step : expected) {
            PortStatus& port = ports[step.port - 1];
            port = step.kind == Kind::Pull ? PortStatus{false, port.unit, kT0, kT0 + at, {}}
                                           : PluggedAt(kT0 + at, port.unit + 1);
        }
    };
    follow(1000ms, {{2, Kind::Pull}});
    follow(1100ms, {});  // port 3 finished: it waits for the operator, as does port 1
    // Port 3's unit is swapped by other hands meanwhile: its turn goes.
    ports[2] = PluggedAt(kT0 + 1150ms, 2);
    follow(1200ms, {});
    follow(1500ms, {{2, Kind::Plug}, {1, Kind::Pull}});
    follow(2000ms, {{1, Kind::Plug}});
    // A look that comes late makes a late swap, never a short one.
    EXPECT_EQ(plugging.Due(ports, kT0 + kGiveUpAfter + 100ms), (Steps{{4, Kind::Pull}}));
    EXPECT_EQ(plugging.Next(ports), kT0 + kGiveUpAfter + 600ms);
}

}  // namespace
}  // namespace vantrel::sim::test
