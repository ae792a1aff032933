// One watched port on virtual time: units plugged and pulled at set moments.
#include "engine/PortWatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/UnitStage.h"
#include "image/SRecordWriter.h"
#include "tests/engine/FakeHost.h"

namespace vantrel {
namespace {

using testing::FakeHost;
using testing::HostEvent;
using testing::UnitBehaviour;

constexpr int kPort = 3;

// A station that answers at once: the device there or not, each arrival flashed or refused.
class ScriptedStation : public WatchStation {
  public:
    ScriptedStation(LoaderState& state, FakeHost& host) : state_(state), host_(host) {}

    bool OpenPort() override { return deviceThere; }
    std::optional<RunPlan> UnitArrived() override {
        arrivals.push_back(host_.NowMs());
        if (refuseUntil > host_.NowMs()) {
            return std::nullopt;
        }
        const std::vector<std::uint8_t> image(700, 0x5A);
        const std::string text = FormatS3Records(image, 0x00C10000);
        auto plan =
            PlanRun(state_, std::vector<std::uint8_t>(text.begin(), text.end()), "00C10000");
        return std::get<RunPlan>(plan);
    }
    void UnitEnded(const RunResult& result) override { ended.push_back(result); }
    void PhaseChanged(WatchPhase phase) override { phases.push_back(phase); }
    void Trouble(std::string_view what) override { troubles.emplace_back(what); }

    bool deviceThere = true;
    long refuseUntil = 0;
    std::vector<long> arrivals;
    std::vector<RunResult> ended;
    std::vector<WatchPhase> phases;
    std::vector<std::string> troubles;

  private:
    LoaderState& state_;
    FakeHost& host_;
};

class PortWatchTest : public ::testing::Test {
  protected:
    // Watches until the virtual time given.
    void WatchUntil(long end) {
        host.StopAt(end);
        PortWatch(*state, host, station, kPort).Run();
    }
    void Plug(long at, UnitBehaviour behaviour = {}) {
        host.At(at, [this, behaviour] { host.AddUnit(kPort, behaviour); });
    }
    void Pull(long at) {
        host.At(at, [this] { host.RemoveUnit(kPort); });
    }
    // When each probe began: its force-to-monitor packet.
    std::vector<long> ProbeTimes() const {
        std::vector<long> times;
        for (const HostEvent& e : host.events) {
            if (e.kind == HostEvent::Write && e.bytes.size() == kForceMonitorPacket.size() &&
                std::equal(e.bytes.begin(), e.bytes.end(), kForceMonitorPacket.begin())) {
                times.push_back(e.at);
            }
        }
        return times;
    }

    StopSignal stop;
    std::unique_ptr<LoaderState> state = std::make_unique<LoaderState>();
    FakeHost host{*state, stop};
    ScriptedStation station{*state, host};
};

TEST_F(PortWatchTest, AnEmptyPortIsProbedQuietlyAtMostEveryHalfSecond) {
    WatchUntil(10000);
    const auto probes = ProbeTimes();
    ASSERT_GE(probes.size(), 8u);
    for (std::size_t i = 1; i < probes.size(); ++i) {
        EXPECT_GE(probes[i] - probes[i - 1], kProbeInterval.count()) << i;
    }
    EXPECT_TRUE(host.Events(HostEvent::Status).empty());
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_TRUE(station.arrivals.empty());
    EXPECT_EQ(station.phases, std::vector<WatchPhase>{WatchPhase::Waiting});
    EXPECT_TRUE(host.IsOpen(kPort)) << "an empty port stays open between probes";
}

TEST_F(PortWatchTest, EachUnitIsFlashedOnceAndAUnitThatStaysIsNeverFlashedAgain) {
    Plug(1200);
    Pull(20000);  // long after its flash: it stayed
    Plug(26000);
    WatchUntil(45000);
    ASSERT_EQ(station.ended.size(), 2u);
    for (const RunResult& result : station.ended) {
        EXPECT_EQ(result.outcome, RunOutcome::Completed);
        ASSERT_EQ(result.units.size(), 1u);
        EXPECT_TRUE(result.units[0].complete);
    }
    EXPECT_EQ(station.arrivals.size(), 2u);
    EXPECT_LT(station.arrivals[0] - 1200, 2 * kProbeInterval.count()) << "found at once";
    EXPECT_EQ(station.phases, (std::vector<WatchPhase>{WatchPhase::Waiting, WatchPhase::Flashing,
                                                       WatchPhase::Remove, WatchPhase::Waiting,
                                                       WatchPhase::Flashing, WatchPhase::Remove}));
    EXPECT_TRUE(station.troubles.empty());
}

struct ArrivalCase {
    const char* name;
    UnitBehaviour unit;
    long refuseUntil;
    std::size_t flashes;
    bool complete;
};

void PrintTo(const ArrivalCase& c, std::ostream* out) {
    *out << c.name;
}

class PortWatchArrival : public PortWatchTest, public ::testing::WithParamInterface<ArrivalCase> {};

// A unit refused for a while (a broken ROM file, a log that could not take the record) is
// flashed once the station takes it; a failing unit is flashed once, failed, and never again.
TEST_P(PortWatchArrival, IsFlashedOnceWhenTheStationTakesIt) {
    station.refuseUntil = GetParam().refuseUntil;
    Plug(0, GetParam().unit);
    WatchUntil(30000);
    ASSERT_EQ(station.ended.size(), GetParam().flashes);
    EXPECT_EQ(station.ended[0].units[0].complete, GetParam().complete);
    if (!GetParam().complete) {
        EXPECT_TRUE(station.ended[0].units[0].failedStage.has_value());
        EXPECT_FALSE(host.Messages().empty()) << "told as every run tells it";
    }
    EXPECT_GE(station.arrivals.back(), GetParam().refuseUntil);
    EXPECT_FALSE(state->InProgress()) << "nothing counts once the watch has ended";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortWatchArrival,
    ::testing::Values(ArrivalCase{"Taken", {}, 0, 1, true},
                      ArrivalCase{"RefusedAWhile", {}, 5000, 1, true},
                      ArrivalCase{"FailsMidFirmware", {.silentFromFirmwareChunk = 2}, 0, 1, false},
                      ArrivalCase{"FailsTheErase", {.answersErase = false}, 0, 1, false}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(PortWatchTest, AGoneUnitIsSeenAfterThreeMissedProbesAndItsDeviceGoingCountsToo) {
    Plug(0);
    Pull(8000);
    WatchUntil(14000);
    ASSERT_EQ(station.phases.size(), 4u);
    EXPECT_EQ(station.phases.back(), WatchPhase::Waiting);
    // The probes after the pull: the third unanswered one brought the port back to waiting.
    const auto probes = ProbeTimes();
    const auto firstMissed =
        std::find_if(probes.begin(), probes.end(), [](long at) { return at >= 8000; });
    ASSERT_GE(probes.end() - firstMissed, 4);

    // A device that goes and comes back brings a new unit, even one that answers throughout.
    stop.Reset();
    station.phases.clear();
    Plug(14000);
    host.At(20000, [this] { station.deviceThere = false; });
    host.At(22000, [this] { station.deviceThere = true; });
    WatchUntil(40000);
    EXPECT_EQ(station.ended.size(), 3u);
    EXPECT_EQ(std::count(station.phases.begin(), station.phases.end(), WatchPhase::DeviceMissing),
              1);
}

TEST_F(PortWatchTest, AStopMidFlashEndsTheWatchWithTheUnitsEndTold) {
    Plug(0, {.eraseMs = 4000});
    WatchUntil(3000);
    ASSERT_EQ(station.ended.size(), 1u);
    EXPECT_EQ(station.ended[0].outcome, RunOutcome::Stopped);
    EXPECT_TRUE(station.ended[0].bytesSent);
}

}  // namespace
}  // namespace vantrel
