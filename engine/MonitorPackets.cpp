#include "engine/MonitorPackets.h"

#include <algorithm>
#include <stdexcept>

#include "image/DemonImageText.h"

namespace vantrel {
namespace {

std::uint16_t BuildFrame(PacketBuffer& buffer, MonitorCommand command,
                         std::span<const std::uint8_t> payload) {
    if (payload.size() > kMaxPayload) {
        throw std::length_error("monitor packet payload longer than 228 bytes");
    }
    const auto commandByte = static_cast<std::uint8_t>(command);
    std::size_t n = 0;
    buffer[n++] = kStx;
    buffer[n++] = 0x00;
    buffer[n++] = commandByte;
    buffer[n++] = static_cast<std::uint8_t>(payload.size());
    n = static_cast<std::size_t>(std::copy(payload.begin(), payload.end(), buffer.begin() + 4) -
                                 buffer.begin());
    buffer[n++] = FrameChecksum(commandByte, payload);
    buffer[n++] = kEtx;
    return static_cast<std::uint16_t>(n);
}

void PutAddress(std::uint8_t* out, std::uint32_t address) {
    out[0] = static_cast<std::uint8_t>(address >> 24);
    out[1] = static_cast<std::uint8_t>(address >> 16);
    out[2] = static_cast<std::uint8_t>(address >> 8);
    out[3] = static_cast<std::uint8_t>(address);
}

std::uint16_t BuildChunk(PacketBuffer& buffer, MonitorCommand command,
                         std::span<const std::uint8_t> data, std::uint32_t address) {
    if (data.size() > kMaxChunkData) {
        throw std::length_error("load chunk longer than 224 bytes");
    }
    std::array<std::uint8_t, kMaxPayload> payload{};
    PutAddress(payload.data(), address);
    std::copy(data.begin(), data.end(), payload.begin() + 4);
    return BuildFrame(buffer, command, std::span(payload.data(), data.size() + 4));
}

}  // namespace

std::uint8_t FrameChecksum(std::uint8_t command, std::span<const std::uint8_t> payload) {
    unsigned sum = command + static_cast<unsigned>(payload.size());
    for (std::uint8_t byte : payload) {
        sum += byte;
    }
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

std::string UnitLineSpeedChoices() {
    std::string choices;
    for (std::size_t i = 0; i < kUnitLineSpeeds.size(); ++i) {
        const bool last = i + 1 == kUnitLineSpeeds.size();
        choices += (i == 0 ? "" : last ? " or " : ", ") + std::to_string(kUnitLineSpeeds[i]);
    }
    return choices;
}

std::uint8_t BaudRateCode(std::uint32_t baud) {
    const auto* speed = std::find(kUnitLineSpeeds.begin(), kUnitLineSpeeds.end(), baud);
    return speed == kUnitLineSpeeds.end()
               ? std::uint8_t{11}
               : static_cast<std::uint8_t>(12 + (speed - kUnitLineSpeeds.begin()));
}

std::uint16_t BuildForceMonitor(PacketBuffer& buffer) {
    std::copy(kForceMonitorPacket.begin(), kForceMonitorPacket.end(), buffer.begin());
    return static_cast<std::uint16_t>(kForceMonitorPacket.size());
}

std::uint16_t BuildEnquiry(PacketBuffer& buffer) {
    std::copy(kEnquiryPacket.begin(), kEnquiryPacket.end(), buffer.begin());
    return static_cast<std::uint16_t>(kEnquiryPacket.size());
}

std::uint16_t BuildLoadDemonChunk(PacketBuffer& buffer, std::span<const std::uint8_t> data,
                                  std::uint32_t address) {
    return BuildChunk(buffer, MonitorCommand::LoadDemonChunk, data, address);
}

std::uint16_t BuildLoadFirmwareChunk(PacketBuffer& buffer, std::span<const std::uint8_t> data,
                                     std::uint32_t address) {
    return BuildChunk(buffer, MonitorCommand::LoadFirmwareChunk, data, address);
}

std::uint16_t BuildRunDemon(PacketBuffer& buffer) {
    std::array<std::uint8_t, 4> payload{};
    PutAddress(payload.data(), kDemonBaseAddress);
    return BuildFrame(buffer, MonitorCommand::RunDemon, payload);
}

std::uint16_t BuildSetBaudRate(PacketBuffer& buffer, std::uint32_t baud) {
    const std::array<std::uint8_t, 1> payload = {BaudRateCode(baud)};
    return BuildFrame(buffer, MonitorCommand::SetBaudRate, payload);
}

std::uint16_t BuildEraseFlash(PacketBuffer& buffer) {
    return BuildFrame(buffer, MonitorCommand::EraseFlash, {});
}

}  // namespace vantrel
