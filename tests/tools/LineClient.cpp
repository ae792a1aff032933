#include "LineClient.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "image/DemonImageText.h"
#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

namespace vantrel::sim::test {
namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char piece[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(piece, sizeof piece, "%02X ", byte);
        text += piece;
    }
    return text.empty() ? "nothing" : text;
}

unsigned CountAcks(std::span<const std::uint8_t> bytes) {
    return static_cast<unsigned>(std::count(bytes.begin(), bytes.end(), kAck));
}

const std::vector<std::uint8_t>& DemonImageBytes() {
    static const std::vector<std::uint8_t> bytes = [] {
        DemonImage image{};
        const auto size = SRecordReader::LoadFromText(DemonImageText, image, kDemonBaseAddress);
        return std::vector<std::uint8_t>(image.begin(), image.begin() + std::max(size, 0));
    }();
    return bytes;
}

}  // namespace

LineClient::LineClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ >= 0 && !SetLine(B9600, 'N')) {
        close(fd_);
        fd_ = -1;
    }
}

LineClient::~LineClient() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool LineClient::SetLine(speed_t speed, char parity) {
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB);
    if (parity == 'O') {
        settings.c_cflag |= PARENB | PARODD;
    }
    cfsetspeed(&settings, speed);
    return tcsetattr(fd_, TCSANOW, &settings) == 0;
}

bool LineClient::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EAGAIN) {
            pollfd out{fd_, POLLOUT, 0};
            poll(&out, 1, 100);
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::uint8_t> LineClient::Read(std::chrono::milliseconds duration, bool untilAck) {
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!hungUp_ && !(untilAck && CountAcks(bytes) > 0)) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd in{fd_, POLLIN, 0};
        if (poll(&in, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        std::uint8_t buffer[256];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        } else if (n == 0 || errno != EAGAIN) {
            hungUp_ = true;
        }
    }
    return bytes;
}

std::vector<std::uint8_t> LineClient::ReadUntilAck(std::chrono::milliseconds timeout) {
    return Read(timeout, true);
}

std::vector<std::uint8_t> LineClient::ReadFor(std::chrono::milliseconds duration) {
    return Read(duration, false);
}

std::span<const std::uint8_t> AsBytes(const PacketBuffer& buffer, std::uint16_t length) {
    return std::span(buffer.data(), length);
}

std::vector<std::uint8_t> Packet(std::uint16_t (*build)(PacketBuffer&)) {
    PacketBuffer buffer{};
    const auto length = build(buffer);
    return {buffer.begin(), buffer.begin() + length};
}

std::size_t ChunkCount(std::size_t imageSize) {
    return (imageSize + kMaxChunkData - 1) / kMaxChunkData;
}

std::size_t DemonChunkCount() {
    return ChunkCount(DemonImageBytes().size());
}

std::vector<std::uint8_t> DemonChunk(std::size_t offset) {
    const auto& image = DemonImageBytes();
    PacketBuffer buffer{};
    const auto count = std::min(kMaxChunkData, image.size() - offset);
    const auto length = BuildLoadDemonChunk(buffer, std::span(image).subspan(offset, count),
                                            static_cast<std::uint32_t>(0x800 + offset));
    return {buffer.begin(), buffer.begin() + length};
}

std::vector<std::uint8_t> FirmwareChunk(std::span<const std::uint8_t> image, std::size_t offset,
                                        std::uint32_t base) {
    PacketBuffer buffer{};
    const auto count = std::min(kMaxChunkData, image.size() - offset);
    const auto length = BuildLoadFirmwareChunk(buffer, image.subspan(offset, count),
                                               base + static_cast<std::uint32_t>(offset));
    return {buffer.begin(), buffer.begin() + length};
}

std::vector<std::uint8_t> SetBaudRatePacket(std::uint32_t baud) {
    PacketBuffer buffer{};
    const auto length = BuildSetBaudRate(buffer, baud);
    return {buffer.begin(), buffer.begin() + length};
}

std::vector<std::uint8_t> FillerChunk(std::size_t count) {
    const std::vector<std::uint8_t> data(count, 0x11);
    PacketBuffer buffer{};
    const auto length = BuildLoadDemonChunk(buffer, data, 0x800);
    return {buffer.begin(), buffer.begin() + length};
}

std::vector<std::uint8_t> RawFrame(std::uint8_t command, std::vector<std::uint8_t> payload,
                                   std::uint8_t checksum, std::uint8_t etx) {
    std::vector<std::uint8_t> frame;
    frame.reserve(payload.size() + 6);
    frame.push_back(kStx);
    frame.push_back(0x00);
    frame.push_back(command);
    frame.push_back(static_cast<std::uint8_t>(payload.size()));
    for (std::uint8_t byte : payload) {
        frame.push_back(byte);
    }
    frame.push_back(checksum);
    frame.push_back(etx);
    return frame;
}

std::vector<std::uint8_t> MakeFirmware(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>((i * 37 + i / 251) % 251);
    }
    return image;
}

::testing::AssertionResult TestLoader::WaitHandled(std::uint64_t target) {
    const bool handled = unit_.WaitUntil(
        [target](const UnitReport& report) { return report.bytesHandled >= target; }, kWait);
    if (!handled) {
        return ::testing::AssertionFailure()
               << unit_.Name() << " did not deal with its bytes; handled "
               << unit_.Report().bytesHandled << " of " << target;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::Send(std::span<const std::uint8_t> bytes) {
    const auto target = unit_.Report().bytesReceived + bytes.size();
    if (!line_.Write(bytes)) {
        return ::testing::AssertionFailure() << "cannot write to " << unit_.LinkPath();
    }
    const bool read = unit_.WaitUntil(
        [target](const UnitReport& report) { return report.bytesReceived >= target; }, kWait);
    if (!read) {
        return ::testing::AssertionFailure() << unit_.Name() << " did not read " << Hex(bytes);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::SendExpectAck(std::span<const std::uint8_t> bytes,
                                                     unsigned acks) {
    if (!line_.Write(bytes)) {
        return ::testing::AssertionFailure() << "cannot write to " << unit_.LinkPath();
    }
    lastRead_.clear();
    while (CountAcks(lastRead_) < acks) {
        const auto more = line_.ReadUntilAck();
        if (more.empty()) {
            return ::testing::AssertionFailure()
                   << "no ACK from " << unit_.Name() << " after "
                   << Hex(bytes.first(std::min<std::size_t>(bytes.size(), 12))) << "; read "
                   << Hex(lastRead_) << (line_.HungUp() ? " (hung up)" : "");
        }
        lastRead_.insert(lastRead_.end(), more.begin(), more.end());
    }
    if (CountAcks(lastRead_) != acks || lastRead_.back() != kAck) {
        return ::testing::AssertionFailure() << "expected " << acks << " ACK(s) last from "
                                             << unit_.Name() << ", read " << Hex(lastRead_);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::SendExpectNoAck(std::span<const std::uint8_t> bytes) {
    const auto target = unit_.Report().bytesHandled + bytes.size();
    if (!line_.Write(bytes)) {
        return ::testing::AssertionFailure() << "cannot write to " << unit_.LinkPath();
    }
    if (auto handled = WaitHandled(target); !handled) {
        return handled;
    }
    lastRead_ = line_.ReadFor(kQuiet);
    if (CountAcks(lastRead_) != 0) {
        return ::testing::AssertionFailure()
               << unit_.Name() << " acknowledged "
               << Hex(bytes.first(std::min<std::size_t>(bytes.size(), 12)));
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::ForceToMonitor() {
    if (!line_.SetLine(B9600, 'O')) {
        return ::testing::AssertionFailure() << "cannot set 9600,O,8,1";
    }
    if (auto sent = Send(kForceMonitorPacket); !sent) {
        return sent;
    }
    if (!line_.SetLine(B9600, 'N')) {
        return ::testing::AssertionFailure() << "cannot set 9600,N,8,1";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::Enquire() {
    return SendExpectAck(kEnquiryPacket);
}

::testing::AssertionResult TestLoader::LoadDemon(std::size_t chunks) {
    for (std::size_t i = 0; i < chunks; ++i) {
        if (auto acked = SendExpectAck(DemonChunk(i * kMaxChunkData)); !acked) {
            return acked << " (Demon chunk " << i + 1 << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::StartDemonAt57600() {
    if (auto sent = Send(Packet(BuildRunDemon)); !sent) {
        return sent;
    }
    if (auto sent = Send(SetBaudRatePacket(57600)); !sent) {
        return sent;
    }
    if (!line_.SetLine(B57600, 'N')) {
        return ::testing::AssertionFailure() << "cannot set 57600,N,8,1";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::Erase() {
    return SendExpectAck(Packet(BuildEraseFlash));
}

::testing::AssertionResult TestLoader::LoadFirmware(std::span<const std::uint8_t> image,
                                                    std::uint32_t base) {
    for (std::size_t offset = 0; offset < image.size(); offset += kMaxChunkData) {
        if (auto acked = SendExpectAck(FirmwareChunk(image, offset, base)); !acked) {
            return acked << " (firmware chunk " << offset / kMaxChunkData + 1 << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TestLoader::UpToErase() {
    if (!line_.IsOpen()) {
        return ::testing::AssertionFailure() << "cannot open " << unit_.LinkPath();
    }
    for (auto step : {&TestLoader::ForceToMonitor, &TestLoader::Enquire}) {
        if (auto done = (this->*step)(); !done) {
            return done;
        }
    }
    if (auto done = LoadDemon(DemonChunkCount()); !done) {
        return done;
    }
    if (auto done = StartDemonAt57600(); !done) {
        return done;
    }
    return Erase();
}

}  // namespace vantrel::sim::test
