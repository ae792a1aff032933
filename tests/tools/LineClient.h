#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/MonitorPackets.h"
#include "tools/unitsim/UnitSim.h"

namespace vantrel::sim::test {

using namespace std::chrono_literals;

// Hang protection only; a healthy unit answers within milliseconds in fast mode.
inline constexpr std::chrono::milliseconds kWait = 3s;
// How long to listen before concluding that nothing more is coming.
inline constexpr std::chrono::milliseconds kQuiet = 40ms;

// The loader's end of a line, done with plain termios.
class LineClient {
  public:
    explicit LineClient(const std::string& path);
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // parity is 'N' or 'O'.
    bool SetLine(speed_t speed, char parity);
    bool Write(std::span<const std::uint8_t> bytes);
    // Reads until an ACK arrives or the timeout passes; returns everything read.
    std::vector<std::uint8_t> ReadUntilAck(std::chrono::milliseconds timeout = kWait);
    // Everything that arrives within the duration.
    std::vector<std::uint8_t> ReadFor(std::chrono::milliseconds duration);
    // Whether a read found the other end gone.
    bool HungUp() const { return hungUp_; }

  private:
    std::vector<std::uint8_t> Read(std::chrono::milliseconds duration, bool untilAck);

    int fd_ = -1;
    bool hungUp_ = false;
};

std::span<const std::uint8_t> AsBytes(const PacketBuffer& buffer, std::uint16_t length);
std::vector<std::uint8_t> Packet(std::uint16_t (*build)(PacketBuffer&));
std::vector<std::uint8_t> DemonChunk(std::size_t offset);
std::vector<std::uint8_t> FirmwareChunk(std::span<const std::uint8_t> image, std::size_t offset,
                                        std::uint32_t base);
std::vector<std::uint8_t> SetBaudRatePacket(std::uint32_t baud);
// A Demon chunk of 0x11 bytes at 0x800: nothing in it looks like the start of a packet.
std::vector<std::uint8_t> FillerChunk(std::size_t count = 32);
// A frame from raw parts, checksum given: for frames the builders will not make.
std::vector<std::uint8_t> RawFrame(std::uint8_t command, std::vector<std::uint8_t> payload,
                                   std::uint8_t checksum, std::uint8_t etx = kEtx);
// A firmware image of the given size with a pattern that has no 0xFF runs.
std::vector<std::uint8_t> MakeFirmware(std::size_t size);
std::size_t DemonChunkCount();
std::size_t ChunkCount(std::size_t imageSize);

// Drives one unit through the download the way the loader does, step by step. Each step
// returns a failure naming what went wrong, so tests can stop at the first.
class TestLoader {
  public:
    explicit TestLoader(SimulatedUnit& unit) : unit_(unit), line_(unit.LinkPath()) {}

    LineClient& Line() { return line_; }
    SimulatedUnit& Unit() { return unit_; }
    // Bytes read by the last step.
    const std::vector<std::uint8_t>& LastRead() const { return lastRead_; }

    // Writes and waits until the unit has read every byte, which the loader's pauses ensure;
    // only then may the line settings change.
    ::testing::AssertionResult Send(std::span<const std::uint8_t> bytes);
    // Sends, then expects exactly `acks` ACK bytes (other bytes are allowed before them).
    ::testing::AssertionResult SendExpectAck(std::span<const std::uint8_t> bytes,
                                             unsigned acks = 1);
    // Sends, waits until the unit has dealt with it, and expects no ACK.
    ::testing::AssertionResult SendExpectNoAck(std::span<const std::uint8_t> bytes);

    // The loader's steps, in order.
    ::testing::AssertionResult ForceToMonitor();  // 9600,O then back to 9600,N
    ::testing::AssertionResult Enquire();
    ::testing::AssertionResult LoadDemon(std::size_t chunks);  // the first `chunks` chunks
    ::testing::AssertionResult StartDemonAt57600();            // RunDemon, SetBaudRate, 57600,N
    ::testing::AssertionResult Erase();
    ::testing::AssertionResult LoadFirmware(std::span<const std::uint8_t> image,
                                            std::uint32_t base);
    // Everything up to an erased unit.
    ::testing::AssertionResult UpToErase();

  private:
    ::testing::AssertionResult WaitHandled(std::uint64_t target);

    SimulatedUnit& unit_;
    LineClient line_;
    std::vector<std::uint8_t> lastRead_;
};

inline constexpr std::uint32_t kFlashBase = 0x00C10000;

}  // namespace vantrel::sim::test
