#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vantrel {

// Every byte sent to a unit is built here. Builders fill a caller's buffer and return the length.
// The buffer type is sized for the largest frame, so no builder can write past it.

inline constexpr std::size_t kMaxChunkData = 224;  // data bytes per load command
inline constexpr std::size_t kChunkOverhead = 10;  // STX, 0, cmd, len, 4 address, checksum, ETX
inline constexpr std::size_t kMaxPacketSize = kMaxChunkData + kChunkOverhead;  // 234
inline constexpr std::size_t kMaxPayload = kMaxChunkData + 4;                  // 228

using PacketBuffer = std::array<std::uint8_t, kMaxPacketSize>;

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kAck = 0x06;

inline constexpr std::array<std::uint8_t, 5> kForceMonitorPacket = {0x10, 0x1E, 0x4D, 0x10, 0x03};
inline constexpr std::array<std::uint8_t, 4> kEnquiryPacket = {0x05, 0x0A, 0x14, 0x28};

// Command bytes of the framed monitor packets.
enum class MonitorCommand : std::uint8_t {
    LoadDemonChunk = 0x81,
    RunDemon = 0x82,
    SetBaudRate = 0x86,
    LoadFirmwareChunk = 0x89,
    EraseFlash = 0x8F,
};

std::uint16_t BuildForceMonitor(PacketBuffer& buffer);
std::uint16_t BuildEnquiry(PacketBuffer& buffer);
// data must hold 1 to 224 bytes; more throws std::length_error.
std::uint16_t BuildLoadDemonChunk(PacketBuffer& buffer, std::span<const std::uint8_t> data,
                                  std::uint32_t address);
std::uint16_t BuildLoadFirmwareChunk(PacketBuffer& buffer, std::span<const std::uint8_t> data,
                                     std::uint32_t address);
std::uint16_t BuildRunDemon(PacketBuffer& buffer);
std::uint16_t BuildSetBaudRate(PacketBuffer& buffer, std::uint32_t baud);
std::uint16_t BuildEraseFlash(PacketBuffer& buffer);

// The line speeds a unit can be switched to; any other would leave the units behind.
inline constexpr std::array<std::uint32_t, 3> kUnitLineSpeeds = {38400, 57600, 115200};
// The speeds as a message names them: "38400, 57600 or 115200".
std::string UnitLineSpeedChoices();

// Rate code carried by SetBaudRate: 38400 -> 12, 57600 -> 13, 115200 -> 14, anything else -> 11.
std::uint8_t BaudRateCode(std::uint32_t baud);

// Low 8 bits of the sum of command, length and payload bytes.
std::uint8_t FrameChecksum(std::uint8_t command, std::span<const std::uint8_t> payload);

}  // namespace vantrel
