#include "engine/RunController.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>

#include "image/SRecordWriter.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// A host with no units that either skips its pauses or sleeps on the run's stop signal.
class ThreadHost : public DownloadHost {
  public:
    ThreadHost(StopSignal& stop, bool realPauses) : stop_(stop), realPauses_(realPauses) {}

    void SetStatusTexts(std::span<const StatusUpdate>) override { CheckStop(); }
    MessageResult ShowMessage(std::string_view, MessageButtons, MessageIcon) override {
        ++messages;
        return MessageResult::Ok;
    }
    void ClosePort(int) override {}
    void CloseSelectedPorts() override { ++closes; }
    void EnableStart() override { ++starts; }
    Clock::time_point Now() override { return Clock::now(); }
    void SleepUntil(Clock::time_point deadline) override {
        CheckStop();
        ++sleeps;
        sleeping.store(true);
        if (realPauses_ && stop_.WaitUntil(deadline)) {
            throw RunStopped{};
        }
    }
    void SetLineSettings(const LineSettings&) override { CheckStop(); }
    void WriteToSelected(std::span<const std::uint8_t>) override {
        CheckStop();
        ++writes;
    }
    void RememberSettings(std::string_view, std::string_view) override {}
    void SetProgress(int) override {}
    void StepProgress() override {}
    void TakeInArrived() override { CheckStop(); }

    std::atomic<int> messages{0}, closes{0}, starts{0}, sleeps{0}, writes{0};
    std::atomic<bool> sleeping{false};

  private:
    void CheckStop() const {
        if (stop_.StopRequested()) {
            throw RunStopped{};
        }
    }

    StopSignal& stop_;
    bool realPauses_;
};

RunPlan Plan(LoaderState& state) {
    const std::string text = FormatS3Records(std::vector<std::uint8_t>(64, 0x5A), 0x00C10000);
    return std::get<RunPlan>(
        PlanRun(state, std::vector<std::uint8_t>(text.begin(), text.end()), "00C10000"));
}

TEST(RunControllerTest, RunEndsOnItsOwnThreadAndReportsItsOutcome) {
    auto state = std::make_unique<LoaderState>();
    RunController controller;
    ThreadHost host(controller.Stop(), false);
    std::promise<RunOutcome> ended;
    controller.Start(*state, host, Plan(*state),
                     [&](const RunResult& r) { ended.set_value(r.outcome); });
    auto result = ended.get_future();
    ASSERT_EQ(result.wait_for(30s), std::future_status::ready);
    // No unit is selected: the enquiry wait finds nobody and ends the run.
    EXPECT_EQ(result.get(), RunOutcome::AllUnitsFailed);
    controller.Join();
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(host.starts.load(), 1);
    EXPECT_EQ(host.closes.load(), 1);
}

TEST(RunControllerTest, StopEndsALongPauseAndTheNextRunStartsClean) {
    auto state = std::make_unique<LoaderState>();
    RunController controller;
    ThreadHost host(controller.Stop(), true);
    std::promise<RunOutcome> first;
    controller.Start(*state, host, Plan(*state),
                     [&](const RunResult& r) { first.set_value(r.outcome); });
    while (!host.sleeping.load()) {
        std::this_thread::yield();
    }
    auto joined = std::async(std::launch::async, [&] { controller.StopAndJoin(); });
    ASSERT_EQ(joined.wait_for(30s), std::future_status::ready) << "the 400 ms pause did not end";
    EXPECT_EQ(first.get_future().get(), RunOutcome::Stopped);
    EXPECT_EQ(host.starts.load(), 0) << "a stopped run leaves its host alone";
    EXPECT_EQ(host.sleeps.load(), 1);

    std::promise<RunOutcome> second;
    ThreadHost quick(controller.Stop(), false);
    controller.Start(*state, quick, Plan(*state),
                     [&](const RunResult& r) { second.set_value(r.outcome); });
    auto result = second.get_future();
    ASSERT_EQ(result.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(result.get(), RunOutcome::AllUnitsFailed) << "the old stop request was cleared";
}

TEST(RunControllerTest, DestroyingTheControllerStopsAndJoinsTheRun) {
    auto state = std::make_unique<LoaderState>();
    auto controller = std::make_unique<RunController>();
    ThreadHost host(controller->Stop(), true);
    controller->Start(*state, host, Plan(*state));
    while (!host.sleeping.load()) {
        std::this_thread::yield();
    }
    auto destroyed = std::async(std::launch::async, [&] { controller.reset(); });
    ASSERT_EQ(destroyed.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(host.starts.load(), 0);
}

}  // namespace
}  // namespace vantrel
