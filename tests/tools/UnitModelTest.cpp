// The unit's behaviour and timing on a made-up clock, without a pty.

#include "tools/unitsim/UnitModel.h"

#include <gtest/gtest.h>

#include <chrono>

#include "LineClient.h"
#include "engine/MonitorPackets.h"

namespace vantrel::sim::test {
namespace {

using std::chrono::nanoseconds;

constexpr LineSample kOdd9600{9600, false, true};  // as a Linux pty shows 9600,O
constexpr LineSample kNone9600{9600, false, false};
constexpr LineSample kNone57600{57600, false, false};
const TimePoint kT0 = TimePoint{} + std::chrono::seconds(10);

std::vector<std::uint8_t> Ack(unsigned count = 1) {
    return std::vector<std::uint8_t>(count, kAck);
}

TEST(ByteTimeTest, TenBitsPlainElevenWithParity) {
    EXPECT_EQ(ByteTime(kNone9600), nanoseconds(1'041'666));
    EXPECT_EQ(ByteTime(kOdd9600), nanoseconds(1'145'833));
    EXPECT_EQ(ByteTime({9600, true, false}), nanoseconds(1'145'833));
    EXPECT_EQ(ByteTime(kNone57600), nanoseconds(173'611));
    EXPECT_EQ(ByteTime({0, false, false}), nanoseconds(0));
}

TEST(BaudFromRateCodeTest, InvertsTheRateCodes) {
    EXPECT_EQ(BaudFromRateCode(BaudRateCode(57600)), 57600u);
    EXPECT_EQ(BaudFromRateCode(BaudRateCode(38400)), 38400u);
    EXPECT_EQ(BaudFromRateCode(BaudRateCode(115200)), 115200u);
    EXPECT_EQ(BaudFromRateCode(11), 9600u);
    EXPECT_FALSE(BaudFromRateCode(10));
    EXPECT_FALSE(BaudFromRateCode(15));
}

TEST(DemonReferenceTest, IsWhatTheLoaderSends) {
    const auto demon = DemonReference();
    ASSERT_EQ(demon.size(), 5630u);
    // Records carry 0x900 bytes; the rest is the reader's 0xFF fill.
    EXPECT_TRUE(std::all_of(demon.begin() + 0x900, demon.end(), [](auto b) { return b == 0xFF; }));
    EXPECT_FALSE(
        std::all_of(demon.begin(), demon.begin() + 0x100, [](auto b) { return b == 0xFF; }));
}

class UnitModelTest : public ::testing::Test {
  protected:
    // A unit that has been forced into its monitor at kT0.
    UnitModel& InMonitor(UnitOptions options) {
        model_.emplace(std::move(options));
        model_->Receive(kForceMonitorPacket, kOdd9600, kT0);
        model_->Advance(kT0 + std::chrono::milliseconds(10));
        EXPECT_EQ(model_->Report().state, UnitState::Monitor);
        now_ = kT0 + std::chrono::milliseconds(10);
        return *model_;
    }
    // A unit whose Demon runs at 57600.
    UnitModel& InDemon(UnitOptions options) {
        UnitModel& model = InMonitor(std::move(options));
        for (std::size_t offset = 0; offset < DemonReference().size(); offset += kMaxChunkData) {
            model.Receive(DemonChunk(offset), kNone9600, now_);
        }
        model.Receive(Packet(BuildRunDemon), kNone9600, now_);
        model.Receive(SetBaudRatePacket(57600), kNone9600, now_);
        now_ += std::chrono::seconds(10);
        model.Advance(now_);
        EXPECT_EQ(model.Report().state, UnitState::DemonRunning);
        EXPECT_EQ(model.Report().baud, 57600u);
        model.TakeOutput(now_);
        return model;
    }

    std::optional<UnitModel> model_;
    TimePoint now_ = kT0;
};

TEST_F(UnitModelTest, ForceToMonitorNeedsOddParityAt9600) {
    UnitModel model(UnitOptions::Fast());
    model.Receive(kForceMonitorPacket, kNone9600, kT0);
    model.Receive(kForceMonitorPacket, {57600, false, true}, kT0);
    model.Receive(kForceMonitorPacket, {4800, false, true}, kT0);
    model.Advance(kT0);
    EXPECT_EQ(model.Report().state, UnitState::Application);
    EXPECT_EQ(model.Report().noiseBytesIgnored, 15u);

    model.Receive(kForceMonitorPacket, kOdd9600, kT0);
    model.Advance(kT0);
    EXPECT_EQ(model.Report().state, UnitState::Monitor);
    EXPECT_TRUE(model.TakeOutput(kT0 + std::chrono::seconds(1)).empty());
}

TEST_F(UnitModelTest, ForceToMonitorIsFoundInApplicationTraffic) {
    UnitModel model(UnitOptions::Fast());
    // Split over reads, after traffic that starts like it.
    const std::vector<std::uint8_t> first = {0x10, 0x1E, 0x10, 0x10, 0x1E};
    const std::vector<std::uint8_t> second = {0x4D, 0x10, 0x03};
    model.Receive(first, kOdd9600, kT0);
    model.Advance(kT0);
    EXPECT_EQ(model.Report().state, UnitState::Application);
    model.Receive(second, kOdd9600, kT0);
    model.Advance(kT0);
    EXPECT_EQ(model.Report().state, UnitState::Monitor);
    EXPECT_TRUE(model.Report().protocolErrors.empty());
}

TEST_F(UnitModelTest, AckArrivesAfterThePacketAndItsOwnByteTime) {
    UnitModel& model = InMonitor(UnitOptions{});
    const auto bt = ByteTime(kNone9600);
    model.Receive(kEnquiryPacket, kNone9600, now_);
    EXPECT_EQ(model.NextDue(), now_ + 4 * bt) << "at the packet's last byte, not each byte";

    model.Advance(now_ + 4 * bt - nanoseconds(1));
    EXPECT_EQ(model.Report().bytesHandled, 5u + 3u);
    EXPECT_EQ(model.Report().enquiries, 0u);

    model.Advance(now_ + 4 * bt);
    EXPECT_EQ(model.Report().enquiries, 1u);
    EXPECT_EQ(model.NextDue(), now_ + 5 * bt);
    EXPECT_TRUE(model.TakeOutput(now_ + 5 * bt - nanoseconds(1)).empty());
    EXPECT_EQ(model.TakeOutput(now_ + 5 * bt), Ack());
    EXPECT_FALSE(model.NextDue());
}

TEST_F(UnitModelTest, PacketsReadTogetherCrossTheLineOneAfterAnother) {
    UnitModel& model = InMonitor(UnitOptions{});
    const auto bt = ByteTime(kNone9600);
    std::vector<std::uint8_t> two;
    for (int copy = 0; copy < 2; ++copy) {
        for (std::uint8_t byte : kEnquiryPacket) {
            two.push_back(byte);
        }
    }
    model.Receive(two, kNone9600, now_);
    model.Advance(now_ + 8 * bt);
    EXPECT_EQ(model.TakeOutput(now_ + 5 * bt), Ack());
    EXPECT_TRUE(model.TakeOutput(now_ + 9 * bt - nanoseconds(1)).empty());
    EXPECT_EQ(model.TakeOutput(now_ + 9 * bt), Ack());
}

TEST_F(UnitModelTest, ALaterReadWaitsForTheLineToBeFree) {
    UnitModel& model = InMonitor(UnitOptions{});
    const auto bt = ByteTime(kNone9600);
    model.Receive(kEnquiryPacket, kNone9600, now_);
    // Read while the first is still on the line: it queues behind it.
    model.Receive(kEnquiryPacket, kNone9600, now_ + bt);
    model.Advance(now_ + 8 * bt - nanoseconds(1));
    EXPECT_EQ(model.Report().enquiries, 1u);
    model.Advance(now_ + 8 * bt);
    EXPECT_EQ(model.Report().enquiries, 2u);
}

TEST_F(UnitModelTest, FastModeAnswersAtOnce) {
    UnitModel& model = InMonitor(UnitOptions::Fast());
    model.Receive(kEnquiryPacket, kNone9600, now_);
    EXPECT_EQ(model.NextDue(), now_);
    model.Advance(now_);
    EXPECT_EQ(model.TakeOutput(now_), Ack());
}

TEST_F(UnitModelTest, EraseAckComesAfterLineEraseAndAckTime) {
    UnitOptions options;
    options.eraseTime = std::chrono::milliseconds(100);
    UnitModel& model = InDemon(options);
    const auto bt = ByteTime(kNone57600);
    model.Receive(Packet(BuildEraseFlash), kNone57600, now_);
    const auto done = now_ + 6 * bt + std::chrono::milliseconds(100);

    model.Advance(done - nanoseconds(1));
    EXPECT_TRUE(model.Report().eraseInProgress);
    EXPECT_FALSE(model.Report().reachedErased);
    EXPECT_EQ(model.NextDue(), done);

    model.Advance(done);
    EXPECT_TRUE(model.Report().reachedErased);
    EXPECT_FALSE(model.Report().eraseInProgress);
    EXPECT_TRUE(model.TakeOutput(done + bt - nanoseconds(1)).empty());
    EXPECT_EQ(model.TakeOutput(done + bt), Ack());
}

TEST_F(UnitModelTest, FirmwareChunkAckComesAfterTheWriteTime) {
    UnitOptions options;
    options.eraseTime = std::chrono::milliseconds(0);
    options.writeTime = std::chrono::milliseconds(7);
    UnitModel& model = InDemon(options);
    model.Receive(Packet(BuildEraseFlash), kNone57600, now_);
    now_ += std::chrono::seconds(1);
    model.Advance(now_);
    ASSERT_EQ(model.TakeOutput(now_), Ack());

    const auto bt = ByteTime(kNone57600);
    const auto firmware = MakeFirmware(kMaxChunkData);
    model.Receive(FirmwareChunk(firmware, 0, kFlashBase), kNone57600, now_);
    const auto written = now_ + 234 * bt + std::chrono::milliseconds(7);
    model.Advance(written - nanoseconds(1));
    EXPECT_EQ(model.Report().firmwareChunks, 0u);
    model.Advance(written);
    EXPECT_EQ(model.Report().firmwareChunks, 1u);
    EXPECT_EQ(model.TakeOutput(written + bt), Ack());
}

TEST_F(UnitModelTest, BytesQueuedBehindSetBaudRateAreJudgedAtTheNewSpeed) {
    UnitModel& model = InMonitor(UnitOptions::Fast());
    // Read before the unit dealt with SetBaudRate, but sent after it.
    model.Receive(SetBaudRatePacket(57600), kNone9600, now_);
    model.Receive(kEnquiryPacket, kNone57600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.Report().noiseBytesIgnored, 0u);
    EXPECT_EQ(model.TakeOutput(now_), Ack());

    // The other way round, the enquiry was sent at a speed the unit did not listen at.
    model.Receive(kEnquiryPacket, kNone9600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.Report().noiseBytesIgnored, 4u);
    EXPECT_TRUE(model.TakeOutput(now_).empty());
}

TEST_F(UnitModelTest, NoiseInsideAFrameBreaksIt) {
    UnitModel& model = InMonitor(UnitOptions::Fast());
    const auto chunk = FillerChunk(60);
    model.Receive(std::span(chunk).first(50), kNone9600, now_);
    model.Receive(std::span(chunk).subspan(50, 1), kNone57600, now_);
    model.Receive(std::span(chunk).subspan(51), kNone9600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.Report().noiseBytesIgnored, 1u);
    EXPECT_EQ(model.Report().demonChunks, 0u);
    ASSERT_FALSE(model.Report().protocolErrors.empty());
    EXPECT_NE(model.Report().protocolErrors[0].find("line noise"), std::string::npos);
    // The rest of the frame is skipped quietly.
    EXPECT_EQ(model.Report().protocolErrors.size(), 1u);
    EXPECT_TRUE(model.TakeOutput(now_).empty());
    model.Receive(chunk, kNone9600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.TakeOutput(now_), Ack());
}

TEST_F(UnitModelTest, APauseInsideAFrameBreaksIt) {
    UnitModel& model = InMonitor(UnitOptions::Fast());
    const auto chunk = FillerChunk();
    model.Receive(std::span(chunk).first(20), kNone9600, now_);
    model.Advance(now_);
    const auto due = model.NextDue();
    ASSERT_TRUE(due);
    EXPECT_GT(*due, now_ + kFrameGap);

    model.Advance(now_ + kFrameGap);
    EXPECT_TRUE(model.Report().protocolErrors.empty()) << "not yet";
    model.Advance(*due);
    ASSERT_EQ(model.Report().protocolErrors.size(), 1u);
    EXPECT_NE(model.Report().protocolErrors[0].find("broken frame"), std::string::npos);

    // The rest of the frame now arrives as rubbish, and a whole frame after it is fine.
    model.Receive(std::span(chunk).subspan(20), kNone9600, *due);
    model.Receive(chunk, kNone9600, *due);
    model.Advance(*due);
    EXPECT_EQ(model.Report().demonChunks, 1u);
    ASSERT_EQ(model.Report().protocolErrors.size(), 2u);
    EXPECT_NE(model.Report().protocolErrors[1].find("stray byte 0x11"), std::string::npos);
}

TEST_F(UnitModelTest, AllChunkFaultsCountFromOne) {
    UnitOptions options = UnitOptions::Fast();
    options.faults = {{FaultKind::DemonDoubleAck, 1}, {FaultKind::DemonStop, 3}};
    UnitModel& model = InMonitor(options);
    std::vector<std::vector<std::uint8_t>> answers;
    for (std::size_t i = 0; i < 4; ++i) {
        model.Receive(DemonChunk(i * kMaxChunkData), kNone9600, now_);
        model.Advance(now_);
        answers.push_back(model.TakeOutput(now_));
    }
    EXPECT_EQ(answers[0], Ack(2));
    EXPECT_EQ(answers[1], Ack(1));
    EXPECT_TRUE(answers[2].empty());
    EXPECT_TRUE(answers[3].empty());
    EXPECT_EQ(model.Report().demonChunks, 4u);
}

TEST_F(UnitModelTest, HangupStopsEverything) {
    UnitOptions options = UnitOptions::Fast();
    options.faults = {{FaultKind::DemonHangup, 2}};
    UnitModel& model = InMonitor(options);
    model.Receive(DemonChunk(0), kNone9600, now_);
    model.Receive(DemonChunk(kMaxChunkData), kNone9600, now_);
    model.Receive(kEnquiryPacket, kNone9600, now_);
    model.Advance(now_);
    EXPECT_TRUE(model.HangupRequested());
    EXPECT_EQ(model.Report().demonChunks, 1u);
    EXPECT_EQ(model.Report().enquiries, 0u);
    // Only chunk 1's ACK is left to go out; nothing more happens.
    EXPECT_EQ(model.TakeOutput(now_), Ack());
    EXPECT_FALSE(model.NextDue());
    model.Receive(kEnquiryPacket, kNone9600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.Report().bytesReceived, 5u + 2 * 234u + 4u);
}

TEST_F(UnitModelTest, SetBaudRateWithAnUnknownCodeIsRefused) {
    UnitModel& model = InMonitor(UnitOptions::Fast());
    model.Receive(RawFrame(0x86, {0x20}, 0xA7), kNone9600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.Report().baud, 9600u);
    ASSERT_EQ(model.Report().protocolErrors.size(), 1u);
    EXPECT_NE(model.Report().protocolErrors[0].find("rate code 0x20"), std::string::npos);
}

TEST_F(UnitModelTest, LogGivesEachTextOnce) {
    UnitModel& model = InMonitor(UnitOptions::Fast());
    auto log = model.TakeLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "now in monitor");
    model.Receive(std::vector<std::uint8_t>{0x41}, kNone9600, now_);
    model.Advance(now_);
    EXPECT_EQ(model.TakeLog(), std::vector<std::string>{"error: stray byte 0x41 outside a frame"});
    EXPECT_TRUE(model.TakeLog().empty());
}

TEST_F(UnitModelTest, FlashRegionMustFitInThirtyTwoBits) {
    UnitOptions options;
    options.flashBase = 0xFFFF0000;
    options.flashSize = 0x10000;
    EXPECT_NO_THROW(UnitModel{options});
    options.flashSize = 0x10001;
    EXPECT_THROW(UnitModel{options}, std::invalid_argument);
    options.flashSize = 0;
    EXPECT_THROW(UnitModel{options}, std::invalid_argument);
}

}  // namespace
}  // namespace vantrel::sim::test
