// Each fault a unit can be given, seen from the loader's end of the line.

#include <gtest/gtest.h>

#include <filesystem>

#include "LineClient.h"

namespace vantrel::sim::test {
namespace {

class UnitFaultTest : public ::testing::Test {
  protected:
    void Start(std::vector<Fault> faults) {
        BenchOptions options;
        options.unit = UnitOptions::Fast();
        options.faults[1] = std::move(faults);
        bench_ = std::make_unique<UnitBench>(options);
        loader_ = std::make_unique<TestLoader>(bench_->Unit(1));
        ASSERT_TRUE(loader_->Line().IsOpen());
    }
    SimulatedUnit& Unit() { return bench_->Unit(1); }
    TestLoader& Loader() { return *loader_; }

    const std::vector<std::uint8_t> firmware_ = MakeFirmware(5 * kMaxChunkData);

  private:
    std::unique_ptr<UnitBench> bench_;
    std::unique_ptr<TestLoader> loader_;
};

TEST_F(UnitFaultTest, SilentUnitNeverAnswersButStillListens) {
    Start({{FaultKind::Silent}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    EXPECT_TRUE(Loader().SendExpectNoAck(kEnquiryPacket));
    EXPECT_TRUE(Loader().SendExpectNoAck(DemonChunk(0)));
    const auto report = Unit().Report();
    EXPECT_TRUE(report.reachedMonitor);
    EXPECT_EQ(report.enquiries, 1u);
    EXPECT_EQ(report.demonChunks, 1u);
    EXPECT_EQ(report.acksSent, 0u);
    EXPECT_TRUE(Loader().LastRead().empty());
}

TEST_F(UnitFaultTest, DemonStopLeavesChunkKAndLaterUnacknowledged) {
    Start({{FaultKind::DemonStop, 5}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    ASSERT_TRUE(Loader().Enquire());
    ASSERT_TRUE(Loader().LoadDemon(4));
    EXPECT_TRUE(Loader().SendExpectNoAck(DemonChunk(4 * kMaxChunkData)));
    EXPECT_TRUE(Loader().SendExpectNoAck(DemonChunk(5 * kMaxChunkData)));
    const auto report = Unit().Report();
    EXPECT_EQ(report.demonChunks, 6u);
    EXPECT_EQ(report.acksSent, 5u);  // enquiry and chunks 1 to 4
    EXPECT_TRUE(report.protocolErrors.empty());
}

TEST_F(UnitFaultTest, FirmwareStopLeavesChunkKAndLaterUnacknowledged) {
    Start({{FaultKind::FirmwareStop, 2}});
    ASSERT_TRUE(Loader().UpToErase());
    ASSERT_TRUE(Loader().SendExpectAck(FirmwareChunk(firmware_, 0, kFlashBase)));
    EXPECT_TRUE(Loader().SendExpectNoAck(FirmwareChunk(firmware_, kMaxChunkData, kFlashBase)));
    EXPECT_TRUE(Loader().SendExpectNoAck(FirmwareChunk(firmware_, 2 * kMaxChunkData, kFlashBase)));
    // The Demon's own commands are unaffected.
    EXPECT_TRUE(Loader().Erase());
    EXPECT_EQ(Unit().Report().demonChunks, 26u);
}

TEST_F(UnitFaultTest, DemonDoubleAckAnswersChunkKTwice) {
    Start({{FaultKind::DemonDoubleAck, 3}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    ASSERT_TRUE(Loader().LoadDemon(2));
    EXPECT_TRUE(Loader().SendExpectAck(DemonChunk(2 * kMaxChunkData), 2));
    EXPECT_TRUE(Loader().SendExpectAck(DemonChunk(3 * kMaxChunkData), 1));
    EXPECT_EQ(Unit().Report().acksSent, 5u);
}

TEST_F(UnitFaultTest, FirmwareDoubleAckAnswersChunkKTwice) {
    Start({{FaultKind::FirmwareDoubleAck, 2}});
    ASSERT_TRUE(Loader().UpToErase());
    EXPECT_TRUE(Loader().SendExpectAck(FirmwareChunk(firmware_, 0, kFlashBase), 1));
    EXPECT_TRUE(Loader().SendExpectAck(FirmwareChunk(firmware_, kMaxChunkData, kFlashBase), 2));
    EXPECT_TRUE(Loader().SendExpectAck(FirmwareChunk(firmware_, 2 * kMaxChunkData, kFlashBase), 1));
    EXPECT_EQ(Unit().Report().firmwareChunks, 3u);
}

TEST_F(UnitFaultTest, SlowEraseOutlastsTheLoadersWait) {
    Start({{FaultKind::SlowErase}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    ASSERT_TRUE(Loader().LoadDemon(DemonChunkCount()));
    ASSERT_TRUE(Loader().StartDemonAt57600());
    ASSERT_TRUE(Loader().Send(Packet(BuildEraseFlash)));
    EXPECT_TRUE(Unit().WaitUntil([](const UnitReport& r) { return r.eraseInProgress; }, kWait));
    EXPECT_TRUE(Loader().Line().ReadFor(100ms).empty());
    const auto report = Unit().Report();
    EXPECT_FALSE(report.reachedErased);
    EXPECT_EQ(report.erases, 0u);
    // Stopping does not sit out the erase; the test would hang for 25 s otherwise.
}

TEST_F(UnitFaultTest, NoiseComesBeforeEveryAck) {
    Start({{FaultKind::Noise, 4}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    ASSERT_TRUE(Loader().Enquire());
    ASSERT_EQ(Loader().LastRead().size(), 5u);
    ASSERT_TRUE(Loader().SendExpectAck(DemonChunk(0)));
    const auto& read = Loader().LastRead();
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(std::count(read.begin(), read.end() - 1, kAck), 0);
    EXPECT_EQ(Unit().Report().noiseBytesSent, 8u);
}

TEST_F(UnitFaultTest, FirmwareHangupClosesTheLineAtChunkK) {
    Start({{FaultKind::FirmwareHangup, 2}});
    ASSERT_TRUE(Loader().UpToErase());
    ASSERT_TRUE(Loader().SendExpectAck(FirmwareChunk(firmware_, 0, kFlashBase)));
    ASSERT_TRUE(Loader().Line().Write(FirmwareChunk(firmware_, kMaxChunkData, kFlashBase)));
    ASSERT_TRUE(Unit().WaitUntil([](const UnitReport& r) { return r.hungUp; }, kWait));
    // The loader's end sees the line go.
    const auto read = Loader().Line().ReadFor(500ms);
    EXPECT_TRUE(read.empty());
    EXPECT_TRUE(Loader().Line().HungUp());
    const auto report = Unit().Report();
    EXPECT_EQ(report.firmwareChunks, 1u);
    EXPECT_EQ(report.flashBytesWritten, kMaxChunkData);
    // The link goes with the line, like the name of an adapter pulled out.
    EXPECT_FALSE(std::filesystem::is_symlink(Unit().LinkPath()));
    EXPECT_FALSE(LineClient(Unit().LinkPath()).IsOpen());
}

TEST_F(UnitFaultTest, DemonHangupClosesTheLineAtChunkK) {
    Start({{FaultKind::DemonHangup, 3}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    ASSERT_TRUE(Loader().LoadDemon(2));
    ASSERT_TRUE(Loader().Line().Write(DemonChunk(2 * kMaxChunkData)));
    ASSERT_TRUE(Unit().WaitUntil([](const UnitReport& r) { return r.hungUp; }, kWait));
    EXPECT_TRUE(Loader().Line().ReadFor(500ms).empty());
    EXPECT_TRUE(Loader().Line().HungUp());
    EXPECT_EQ(Unit().Report().demonChunks, 2u);
    EXPECT_FALSE(std::filesystem::is_symlink(Unit().LinkPath()));
}

TEST_F(UnitFaultTest, FaultsCombine) {
    Start({{FaultKind::Noise, 1}, {FaultKind::DemonDoubleAck, 1}});
    ASSERT_TRUE(Loader().ForceToMonitor());
    ASSERT_TRUE(Loader().SendExpectAck(DemonChunk(0), 2));
    EXPECT_EQ(Loader().LastRead().size(), 3u);
}

}  // namespace
}  // namespace vantrel::sim::test
