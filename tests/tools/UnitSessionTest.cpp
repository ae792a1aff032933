// Units driven over their pseudo-terminals the way the loader drives them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "LineClient.h"

namespace vantrel::sim::test {
namespace {

bool FlashHolds(const UnitReport& report, std::span<const std::uint8_t> image,
                std::uint32_t address) {
    const auto offset = address - report.flashBase;
    return std::equal(image.begin(), image.end(), report.flash.begin() + offset);
}

class UnitSessionTest : public ::testing::Test {
  protected:
    BenchOptions Options(unsigned count = 1) {
        BenchOptions options;
        options.count = count;
        options.unit = UnitOptions::Fast();
        return options;
    }
};

// The parameter: the units' thread spins instead of sleeping, and answers the same.
class CleanSessionsTest : public UnitSessionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CleanSessionsTest, OnTwoUnitsLeaveTheImageInFlash) {
    BenchOptions options = Options(2);
    options.spin = GetParam();
    UnitBench bench(options);
    const auto firmware = MakeFirmware(3 * kMaxChunkData + 100);  // last chunk short

    // Both units side by side, as the loader runs them.
    std::vector<std::unique_ptr<TestLoader>> loaders;
    for (unsigned number = 1; number <= 2; ++number) {
        loaders.push_back(std::make_unique<TestLoader>(bench.Unit(number)));
    }
    std::vector<std::thread> sessions;
    std::vector<::testing::AssertionResult> results(2, ::testing::AssertionSuccess());
    for (std::size_t i = 0; i < 2; ++i) {
        sessions.emplace_back([&, i] {
            results[i] = loaders[i]->UpToErase();
            if (results[i]) {
                results[i] = loaders[i]->LoadFirmware(firmware, kFlashBase);
            }
        });
    }
    for (auto& session : sessions) {
        session.join();
    }

    for (unsigned number = 1; number <= 2; ++number) {
        SCOPED_TRACE("com" + std::to_string(number));
        ASSERT_TRUE(results[number - 1]);
        const UnitReport report = bench.Unit(number).Report();
        EXPECT_EQ(report.state, UnitState::Erased);
        EXPECT_TRUE(report.reachedMonitor);
        EXPECT_TRUE(report.reachedDemon);
        EXPECT_TRUE(report.reachedErased);
        EXPECT_EQ(report.baud, 57600u);
        EXPECT_EQ(report.enquiries, 1u);
        EXPECT_EQ(report.demonChunks, 26u);
        EXPECT_EQ(report.firmwareChunks, 4u);
        EXPECT_EQ(report.erases, 1u);
        // enquiry + 26 Demon chunks + erase + 4 firmware chunks, one ACK each
        EXPECT_EQ(report.acksSent, 32u);
        EXPECT_TRUE(report.protocolErrors.empty()) << report.protocolErrors.front();
        EXPECT_EQ(report.noiseBytesIgnored, 0u);
        EXPECT_EQ(report.flashBytesWritten, firmware.size());
        EXPECT_EQ(report.lowestWritten, kFlashBase);
        EXPECT_EQ(report.highestWritten, kFlashBase + firmware.size() - 1);
        EXPECT_TRUE(std::ranges::equal(report.WrittenRange(), firmware));
        // The rest of the flash stays erased.
        EXPECT_TRUE(std::all_of(report.flash.begin() + static_cast<long>(firmware.size()),
                                report.flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
        EXPECT_EQ(report.slavePath.rfind("/dev/pts/", 0), 0u) << report.slavePath;
    }
}

INSTANTIATE_TEST_SUITE_P(SleepingOrSpinning, CleanSessionsTest, ::testing::Bool());

TEST_F(UnitSessionTest, LinksNameTheSlavesAndGoWithTheBench) {
    std::string dir;
    std::vector<std::string> links;
    {
        UnitBench bench(Options(3));
        dir = bench.Dir();
        for (unsigned number = 1; number <= 3; ++number) {
            const auto& unit = bench.Unit(number);
            EXPECT_EQ(unit.LinkPath(), dir + "/com" + std::to_string(number));
            char target[256] = {};
            ASSERT_GT(readlink(unit.LinkPath().c_str(), target, sizeof target - 1), 0);
            EXPECT_EQ(std::string(target), unit.SlavePath());
            links.push_back(unit.LinkPath());
        }
        EXPECT_NE(bench.Unit(1).SlavePath(), bench.Unit(2).SlavePath());
        EXPECT_THROW(bench.Unit(0), std::out_of_range);
        EXPECT_THROW(bench.Unit(4), std::out_of_range);
    }
    for (const auto& link : links) {
        EXPECT_NE(access(link.c_str(), F_OK), 0) << link;
    }
    EXPECT_NE(access(dir.c_str(), F_OK), 0) << "temporary directory left behind";
}

TEST_F(UnitSessionTest, FaultForAMissingUnitIsRefused) {
    BenchOptions options = Options(2);
    options.faults[3] = {{FaultKind::Silent}};
    EXPECT_THROW(UnitBench{options}, std::invalid_argument);
}

TEST_F(UnitSessionTest, SlaveCanBeOpenedAndClosedAgainAndAgain) {
    UnitBench bench(Options());
    for (int i = 0; i < 5; ++i) {
        LineClient line(bench.LinkPath(1));
        ASSERT_TRUE(line.IsOpen()) << "open " << i;
    }
    // Closing every client must not leave the unit deaf.
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.Enquire());
    // A second client after the first has gone still gets answers.
    {
        TestLoader again(bench.Unit(1));
        ASSERT_TRUE(again.Enquire());
    }
    EXPECT_EQ(bench.Unit(1).Report().enquiries, 2u);
}

TEST_F(UnitSessionTest, ForceToMonitorCountsOnlyAt9600OddParity) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.Line().IsOpen());

    ASSERT_TRUE(loader.Line().SetLine(B9600, 'N'));
    ASSERT_TRUE(loader.Send(kForceMonitorPacket));
    ASSERT_TRUE(loader.Line().SetLine(B57600, 'O'));
    ASSERT_TRUE(loader.Send(kForceMonitorPacket));
    ASSERT_TRUE(
        bench.Unit(1).WaitUntil([](const UnitReport& r) { return r.bytesHandled >= 10; }, kWait));
    auto report = bench.Unit(1).Report();
    EXPECT_EQ(report.state, UnitState::Application);
    EXPECT_EQ(report.noiseBytesIgnored, 10u);

    ASSERT_TRUE(loader.ForceToMonitor());
    EXPECT_TRUE(bench.Unit(1).WaitForState(UnitState::Monitor, kWait));
    EXPECT_EQ(bench.Unit(1).Report().lastLine, "9600,O");
    EXPECT_TRUE(loader.Line().ReadFor(kQuiet).empty()) << "force-to-monitor has no reply";
}

TEST_F(UnitSessionTest, EnquiryAtTheWrongSpeedIsNoise) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());

    ASSERT_TRUE(loader.Line().SetLine(B57600, 'N'));
    EXPECT_TRUE(loader.SendExpectNoAck(kEnquiryPacket));
    auto report = bench.Unit(1).Report();
    EXPECT_EQ(report.lastLine, "57600,N");
    EXPECT_EQ(report.noiseBytesIgnored, 4u);
    EXPECT_EQ(report.enquiries, 0u);
    EXPECT_TRUE(report.protocolErrors.empty());

    ASSERT_TRUE(loader.Line().SetLine(B9600, 'N'));
    EXPECT_TRUE(loader.Enquire());
    EXPECT_EQ(bench.Unit(1).Report().enquiries, 1u);
}

TEST_F(UnitSessionTest, ParityLeftOverFromTheForceIsTakenAsNone) {
    // The pty hides PARENB, and a serial library that turns parity off may leave PARODD set,
    // so 9600 with PARODD must still reach the monitor.
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.Line().SetLine(B9600, 'O'));
    ASSERT_TRUE(loader.Send(kForceMonitorPacket));
    EXPECT_TRUE(loader.Enquire());
    EXPECT_EQ(bench.Unit(1).Report().noiseBytesIgnored, 0u);
}

TEST_F(UnitSessionTest, AfterSetBaudRateOnlyTheNewSpeedCounts) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.Enquire());
    ASSERT_TRUE(loader.LoadDemon(DemonChunkCount()));
    ASSERT_TRUE(loader.Send(Packet(BuildRunDemon)));
    ASSERT_TRUE(loader.Send(SetBaudRatePacket(57600)));
    ASSERT_TRUE(
        bench.Unit(1).WaitUntil([](const UnitReport& r) { return r.baud == 57600; }, kWait));

    // The loader forgot to switch: the erase is rubbish to the Demon.
    EXPECT_TRUE(loader.SendExpectNoAck(Packet(BuildEraseFlash)));
    EXPECT_EQ(bench.Unit(1).Report().noiseBytesIgnored, 6u);
    EXPECT_FALSE(bench.Unit(1).Report().reachedErased);

    ASSERT_TRUE(loader.Line().SetLine(B57600, 'N'));
    EXPECT_TRUE(loader.Erase());
    EXPECT_TRUE(bench.Unit(1).Report().reachedErased);
}

TEST_F(UnitSessionTest, SetBaudRateSwitchesOnlyToARateTheUnitHas) {
    // The loader goes on at the rate it asked for; a unit that stayed behind does not hear the
    // erase and keeps its old firmware. 9600 is asked for with code 11, which names no rate.
    const auto speed = [](std::uint32_t baud) {
        return baud == 115200 ? B115200 : baud == 57600 ? B57600 : baud == 38400 ? B38400 : B9600;
    };
    const struct {
        std::uint32_t before;  // a rate set first, 0 for none
        std::uint32_t asked;
        std::uint32_t maxBaud;
        std::uint32_t listening;
    } cases[] = {
        {0, 38400, 115200, 38400}, {0, 57600, 115200, 57600},     {0, 115200, 115200, 115200},
        {0, 9600, 115200, 9600},   {57600, 9600, 115200, 57600},  {0, 57600, 38400, 9600},
        {0, 115200, 57600, 9600},  {57600, 115200, 57600, 57600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + " then " + std::to_string(c.asked) + ", at most " +
                     std::to_string(c.maxBaud));
        BenchOptions options = Options();
        options.maxBaud[1] = c.maxBaud;
        UnitBench bench(options);
        TestLoader loader(bench.Unit(1));
        ASSERT_TRUE(loader.ForceToMonitor());
        ASSERT_TRUE(loader.Enquire());
        ASSERT_TRUE(loader.LoadDemon(DemonChunkCount()));
        ASSERT_TRUE(loader.Send(Packet(BuildRunDemon)));
        for (std::uint32_t rate : {c.before, c.asked}) {
            if (rate != 0) {
                ASSERT_TRUE(loader.Send(SetBaudRatePacket(rate)));
                ASSERT_TRUE(loader.Line().SetLine(speed(rate), 'N'));
            }
        }
        const bool heard = c.listening == c.asked;
        EXPECT_TRUE(heard ? loader.Erase() : loader.SendExpectNoAck(Packet(BuildEraseFlash)));
        const auto report = bench.Unit(1).Report();
        EXPECT_EQ(report.baud, c.listening);
        EXPECT_EQ(report.erases, heard ? 1u : 0u);
        EXPECT_EQ(report.flash[0], heard ? 0xFF : 0x00);
        EXPECT_TRUE(report.protocolErrors.empty()) << report.protocolErrors.front();
    }
}

TEST_F(UnitSessionTest, ChunkBeforeTheEraseIsRefused) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.Enquire());
    ASSERT_TRUE(loader.LoadDemon(DemonChunkCount()));
    ASSERT_TRUE(loader.StartDemonAt57600());
    ASSERT_TRUE(bench.Unit(1).WaitForState(UnitState::DemonRunning, kWait));

    const auto firmware = MakeFirmware(64);
    EXPECT_TRUE(loader.SendExpectNoAck(FirmwareChunk(firmware, 0, kFlashBase)));
    auto report = bench.Unit(1).Report();
    ASSERT_EQ(report.protocolErrors.size(), 1u);
    EXPECT_NE(report.protocolErrors[0].find("before the flash was erased"), std::string::npos)
        << report.protocolErrors[0];
    EXPECT_EQ(report.firmwareChunks, 0u);
    EXPECT_EQ(report.flashBytesWritten, 0u);
    EXPECT_EQ(report.flash[0], 0x00) << "old firmware must still be there";

    ASSERT_TRUE(loader.Erase());
    EXPECT_TRUE(loader.LoadFirmware(firmware, kFlashBase));
    EXPECT_EQ(bench.Unit(1).Report().firmwareChunks, 1u);
}

TEST_F(UnitSessionTest, ChunkOutsideTheFlashIsRefused) {
    BenchOptions options = Options();
    options.unit.flashSize = 4096;
    UnitBench bench(options);
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.UpToErase());
    const auto firmware = MakeFirmware(kMaxChunkData);

    EXPECT_TRUE(loader.SendExpectNoAck(FirmwareChunk(firmware, 0, kFlashBase - 1)));
    // Starts inside, runs past the end by one byte.
    EXPECT_TRUE(loader.SendExpectNoAck(FirmwareChunk(firmware, 0, kFlashBase + 4096 - 223)));
    // Ends exactly at the last byte.
    EXPECT_TRUE(loader.SendExpectAck(FirmwareChunk(firmware, 0, kFlashBase + 4096 - 224)));

    const auto report = bench.Unit(1).Report();
    ASSERT_EQ(report.protocolErrors.size(), 2u);
    EXPECT_NE(report.protocolErrors[0].find("outside the flash"), std::string::npos);
    EXPECT_EQ(report.firmwareChunks, 1u);
    EXPECT_EQ(report.highestWritten, kFlashBase + 4095);
    EXPECT_TRUE(FlashHolds(report, firmware, kFlashBase + 4096 - 224));
}

TEST_F(UnitSessionTest, ProgrammedBytesCannotBeOverwrittenButRewritingIsFine) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.UpToErase());
    const auto firmware = MakeFirmware(kMaxChunkData);
    ASSERT_TRUE(loader.LoadFirmware(firmware, kFlashBase));
    // The same bytes again verify.
    EXPECT_TRUE(loader.LoadFirmware(firmware, kFlashBase));
    // Other bytes over them do not.
    auto other = firmware;
    std::transform(other.begin(), other.end(), other.begin(),
                   [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); });
    EXPECT_TRUE(loader.SendExpectNoAck(FirmwareChunk(other, 0, kFlashBase)));
    const auto report = bench.Unit(1).Report();
    ASSERT_EQ(report.protocolErrors.size(), 1u);
    EXPECT_NE(report.protocolErrors[0].find("does not verify"), std::string::npos);
    EXPECT_EQ(report.flashBytesWritten, firmware.size());

    // A new erase makes room again.
    ASSERT_TRUE(loader.Erase());
    EXPECT_EQ(bench.Unit(1).Report().flashBytesWritten, 0u);
    EXPECT_TRUE(loader.LoadFirmware(other, kFlashBase));
    EXPECT_TRUE(FlashHolds(bench.Unit(1).Report(), other, kFlashBase));
}

TEST_F(UnitSessionTest, BadFramesAreNotAcknowledgedAndAreLogged) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.Enquire());
    const auto chunk = FillerChunk();

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* logged;
    };
    auto badChecksum = chunk;
    badChecksum[badChecksum.size() - 2] ^= 0x01;
    auto noEtx = chunk;
    noEtx.back() = 0x04;
    auto badZero = chunk;
    badZero[1] = 0x01;
    const std::vector<Case> cases = {
        {"bad checksum", badChecksum, "bad checksum"},
        {"no ETX", noEtx, "where ETX belongs"},
        {"second byte not 0", badZero, "after STX"},
        {"length over 228", RawFrame(0x81, std::vector<std::uint8_t>(229, 0x11), 0x00),
         "bad length 229"},
        {"chunk without data", RawFrame(0x81, {0, 0, 8, 0}, 0x8D), "bad length 4"},
        {"RunDemon with 3 bytes", RawFrame(0x82, {0, 0, 8}, 0x8D), "bad length 3"},
        {"unknown command", RawFrame(0x99, {}, 0x99), "unknown command 0x99"},
        {"erase in the monitor", Packet(BuildEraseFlash), "not taken by the monitor"},
        {"stray byte", {0x41}, "stray byte 0x41"},
        {"broken enquiry", {0x05, 0x0A, 0x15}, "broken enquiry"},
    };
    std::size_t errors = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(loader.SendExpectNoAck(c.bytes));
        const auto report = bench.Unit(1).Report();
        ASSERT_GT(report.protocolErrors.size(), errors);
        EXPECT_NE(report.protocolErrors.back().find(c.logged), std::string::npos)
            << report.protocolErrors.back();
        errors = report.protocolErrors.size();
        // The unit is still listening: a good chunk goes through.
        EXPECT_TRUE(loader.SendExpectAck(chunk));
    }
    EXPECT_EQ(bench.Unit(1).Report().demonChunks, cases.size());
}

TEST_F(UnitSessionTest, FrameCutOffIsGivenUpAfterAPause) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    const auto chunk = DemonChunk(0);
    ASSERT_TRUE(loader.Send(std::span(chunk).first(100)));
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const UnitReport& r) { return !r.protocolErrors.empty(); }, kWait));
    EXPECT_NE(bench.Unit(1).Report().protocolErrors[0].find("broken frame"), std::string::npos);
    EXPECT_TRUE(loader.Enquire());
    EXPECT_TRUE(loader.SendExpectAck(chunk));
}

TEST_F(UnitSessionTest, RunDemonWaitsForTheWholeDemon) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.Enquire());
    const auto all = DemonChunkCount();
    ASSERT_EQ(all, 26u);
    ASSERT_TRUE(loader.LoadDemon(all - 1));

    EXPECT_TRUE(loader.SendExpectNoAck(Packet(BuildRunDemon)));
    auto report = bench.Unit(1).Report();
    EXPECT_EQ(report.state, UnitState::Monitor);
    ASSERT_EQ(report.protocolErrors.size(), 1u);
    // The last chunk starts at 0x800 + 25 * 224.
    EXPECT_NE(report.protocolErrors[0].find("0x00001DE0"), std::string::npos)
        << report.protocolErrors[0];

    // The wrong start address is refused even with everything loaded.
    ASSERT_TRUE(loader.SendExpectAck(DemonChunk((all - 1) * kMaxChunkData)));
    EXPECT_TRUE(loader.SendExpectNoAck(RawFrame(0x82, {0, 0, 0x10, 0}, 0x96)));
    EXPECT_EQ(bench.Unit(1).Report().state, UnitState::Monitor);

    EXPECT_TRUE(loader.SendExpectNoAck(Packet(BuildRunDemon)));
    report = bench.Unit(1).Report();
    EXPECT_EQ(report.state, UnitState::DemonRunning);
    EXPECT_EQ(report.protocolErrors.size(), 2u);
}

TEST_F(UnitSessionTest, CorruptDemonByteStopsRunDemon) {
    UnitBench bench(Options());
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.LoadDemon(DemonChunkCount()));
    // One byte of chunk 3 overwritten, with a proper frame around it.
    auto chunk = DemonChunk(2 * kMaxChunkData);
    std::vector<std::uint8_t> data(chunk.begin() + 8, chunk.end() - 2);
    data[5] ^= 0x40;
    PacketBuffer buffer{};
    const auto length = BuildLoadDemonChunk(buffer, data, 0x800 + 2 * kMaxChunkData);
    ASSERT_TRUE(loader.SendExpectAck(AsBytes(buffer, length)));

    EXPECT_TRUE(loader.SendExpectNoAck(Packet(BuildRunDemon)));
    EXPECT_EQ(bench.Unit(1).Report().state, UnitState::Monitor);
    EXPECT_NE(bench.Unit(1).Report().protocolErrors.at(0).find("0x000009C5"), std::string::npos);
}

TEST_F(UnitSessionTest, PowerCycleReturnsToTheApplicationAndKeepsTheFlash) {
    UnitBench bench(Options());
    const auto firmware = MakeFirmware(300);
    {
        TestLoader loader(bench.Unit(1));
        ASSERT_TRUE(loader.UpToErase());
        ASSERT_TRUE(loader.LoadFirmware(firmware, kFlashBase));
    }
    bench.PowerCycle();
    ASSERT_TRUE(bench.Unit(1).WaitUntil(
        [](const UnitReport& r) { return r.state == UnitState::Application; }, kWait));
    auto report = bench.Unit(1).Report();
    EXPECT_FALSE(report.reachedMonitor);
    EXPECT_EQ(report.baud, 9600u);
    EXPECT_EQ(report.demonChunks, 0u);
    EXPECT_TRUE(FlashHolds(report, firmware, kFlashBase));

    // A second download runs like the first.
    TestLoader again(bench.Unit(1));
    ASSERT_TRUE(again.UpToErase());
    ASSERT_TRUE(again.LoadFirmware(firmware, kFlashBase));
    EXPECT_EQ(bench.Unit(1).Report().firmwareChunks, 2u);
}

TEST_F(UnitSessionTest, LineTimeDelaysTheAck) {
    // Real line time: only lower bounds are checked, which the model guarantees.
    BenchOptions options = Options();
    options.unit.fast = false;
    UnitBench bench(options);
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.Enquire());

    // 234 bytes at 9600,N,8,1 take 243.75 ms, and the ACK 1.04 ms more.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(loader.SendExpectAck(DemonChunk(0)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 244ms);
}

TEST_F(UnitSessionTest, EraseTimeDelaysTheAck) {
    BenchOptions options = Options();
    options.unit.eraseTime = 120ms;
    UnitBench bench(options);
    TestLoader loader(bench.Unit(1));
    ASSERT_TRUE(loader.ForceToMonitor());
    ASSERT_TRUE(loader.LoadDemon(DemonChunkCount()));
    ASSERT_TRUE(loader.StartDemonAt57600());

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(loader.Send(Packet(BuildEraseFlash)));
    // Busy erasing, and not done yet.
    EXPECT_TRUE(bench.Unit(1).WaitUntil(
        [](const UnitReport& r) { return r.eraseInProgress && !r.reachedErased; }, kWait));
    const auto read = loader.Line().ReadUntilAck();
    EXPECT_EQ(read, std::vector<std::uint8_t>{kAck});
    EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
    EXPECT_TRUE(bench.Unit(1).Report().reachedErased);
}

}  // namespace
}  // namespace vantrel::sim::test
