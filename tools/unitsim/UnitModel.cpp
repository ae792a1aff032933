#include "tools/unitsim/UnitModel.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "engine/MonitorPackets.h"
#include "image/DemonImageText.h"
#include "image/ImageBuffer.h"
#include "image/SRecordReader.h"

namespace vantrel::sim {
namespace {

constexpr std::uint8_t kEnq = 0x05;
// What the loader sends for a rate outside its table.
constexpr std::uint8_t kOtherRateCode = 0x0B;
// Rubbish the noise fault sends; anything but an ACK.
constexpr std::array<std::uint8_t, 4> kNoiseBytes = {0x15, 0xFF, 0x00, 0x86};

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::uint32_t BigEndian32(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

}  // namespace

std::chrono::nanoseconds ByteTime(const LineSample& line) {
    if (line.baud == 0) {
        return std::chrono::nanoseconds(0);
    }
    const std::int64_t bits = (line.parityEnable || line.parityOdd) ? 11 : 10;
    return std::chrono::nanoseconds(bits * 1'000'000'000 / line.baud);
}

std::span<const std::uint8_t> DemonReference() {
    static const std::vector<std::uint8_t> reference = [] {
        DemonImage image{};
        const std::int32_t size =
            SRecordReader::LoadFromText(DemonImageText, image, kDemonBaseAddress);
        if (size <= 0 || static_cast<std::size_t>(size) > image.size()) {
            throw std::runtime_error("the Demon text does not read: " + std::to_string(size));
        }
        return std::vector<std::uint8_t>(image.begin(), image.begin() + size);
    }();
    return reference;
}

std::optional<std::uint32_t> BaudFromRateCode(std::uint8_t code) {
    for (std::uint32_t baud : kUnitLineSpeeds) {
        if (BaudRateCode(baud) == code) {
            return baud;
        }
    }
    // The catch-all code: the unit keeps the monitor's 9600.
    return BaudRateCode(9600) == code ? std::optional<std::uint32_t>(9600) : std::nullopt;
}

UnitModel::UnitModel(UnitOptions options) : options_(std::move(options)) {
    if (options_.flashSize == 0 ||
        std::uint64_t{options_.flashBase} + options_.flashSize > 0x1'0000'0000ull) {
        throw std::invalid_argument("flash region must be non-empty and end below 4 GiB");
    }
    // The unit arrives with old firmware in its flash: anything but erased.
    report_.flash.assign(options_.flashSize, 0x00);
    report_.flashBase = options_.flashBase;
    report_.flashSize = options_.flashSize;
    written_.assign(options_.flashSize, false);
    ResetSession();
    DemonReference();  // fail now rather than at RunDemon
}

void UnitModel::ResetSession() {
    // The flash and what was written to it outlast a session, as in a unit's own memory.
    UnitReport fresh;
    fresh.name = std::move(report_.name);
    fresh.linkPath = std::move(report_.linkPath);
    fresh.slavePath = std::move(report_.slavePath);
    fresh.faults = options_.faults;
    fresh.unit = report_.unit;
    fresh.pluggedSeconds = report_.pluggedSeconds;
    fresh.pulledSeconds = report_.pulledSeconds;
    fresh.finishedSeconds = report_.finishedSeconds;
    fresh.flashBase = report_.flashBase;
    fresh.flashSize = report_.flashSize;
    fresh.flash = std::move(report_.flash);
    fresh.flashBytesWritten = report_.flashBytesWritten;
    fresh.lowestWritten = report_.lowestWritten;
    fresh.highestWritten = report_.highestWritten;
    report_ = std::move(fresh);

    ram_.assign(kRamSize, 0x00);
    input_.clear();
    output_.clear();
    work_.reset();
    window_.fill(0);
    phase_ = Phase::Idle;
    payload_.clear();
    demonChunkNumber_ = 0;
    firmwareChunkNumber_ = 0;
}

void UnitModel::PowerCycle() {
    if (report_.hungUp) {
        return;  // the line is gone; nothing to come back on
    }
    ResetSession();
    Event("power cycled");
}

void UnitModel::NoteDropped(std::size_t count) {
    report_.bytesDropped += static_cast<unsigned>(count);
}

void UnitModel::Receive(std::span<const std::uint8_t> bytes, const LineSample& line,
                        TimePoint readTime) {
    if (report_.hungUp) {
        return;
    }
    const auto byteTime = ByteTime(line);
    for (std::uint8_t value : bytes) {
        TimePoint arrival = readTime;
        if (!options_.fast) {
            // The pty hands over a whole write at once; a real line takes its time per byte.
            arrival = std::max(readTime, inputLineFree_) + byteTime;
            inputLineFree_ = arrival;
        }
        input_.push_back({value, line, arrival});
    }
    report_.bytesReceived += bytes.size();
    report_.lastLine = LineSampleText(line);
}

void UnitModel::Advance(TimePoint now) {
    while (!report_.hungUp) {
        if (work_) {
            if (work_->due > now) {
                break;
            }
            clock_ = std::max(clock_, work_->due);
            auto finish = std::move(work_->finish);
            work_.reset();
            finish();
            continue;
        }
        if (input_.empty() || input_.front().arrival > now) {
            break;
        }
        const InputByte input = input_.front();
        input_.pop_front();
        clock_ = std::max(clock_, input.arrival);
        if (InPacket() && input.arrival - lastArrival_ > kFrameGap) {
            BreakFrame("gap on the line", Phase::Idle);
        }
        lastArrival_ = input.arrival;
        Take(input);
        ++report_.bytesHandled;
    }
    if (InPacket() && !work_ && input_.empty() && now - lastArrival_ > kFrameGap) {
        BreakFrame("gap on the line", Phase::Idle);
    }
}

std::vector<std::uint8_t> UnitModel::TakeOutput(TimePoint now) {
    std::vector<std::uint8_t> out;
    while (!output_.empty() && output_.front().due <= now) {
        out.push_back(output_.front().value);
        output_.pop_front();
    }
    return out;
}

std::optional<TimePoint> UnitModel::NextDue() const {
    std::optional<TimePoint> due;
    const auto consider = [&due](TimePoint t) {
        if (!due || t < *due) {
            due = t;
        }
    };
    if (work_) {
        consider(work_->due);
    } else if (!input_.empty()) {
        // Bytes are taken in at their own arrival times whenever Advance runs, and a unit
        // answers whole packets only: one wake-up at the last byte instead of one per byte.
        consider(input_.back().arrival);
    } else if (InPacket()) {
        consider(lastArrival_ + kFrameGap + std::chrono::milliseconds(1));
    }
    if (!output_.empty()) {
        consider(output_.front().due);
    }
    return due;
}

std::vector<std::string> UnitModel::TakeLog() {
    return std::exchange(log_, {});
}

std::optional<TimePoint> UnitModel::FinishedBy(TimePoint now) const {
    if (!input_.empty() || InPacket() || work_) {
        return std::nullopt;
    }
    return finish_.FinishedBy(now);
}

LineSample UnitModel::Expected() const {
    if (report_.state == UnitState::Application) {
        return {9600, true, true};
    }
    return {report_.baud, false, false};
}

bool UnitModel::Matches(const LineSample& line) const {
    const LineSample expected = Expected();
    if (line.baud != expected.baud) {
        return false;
    }
    // Linux ptys drop PARENB but keep PARODD, so odd parity shows only as PARODD, and a client
    // that leaves PARODD set when it turns parity off cannot be told from one that sends odd.
    if (expected.parityOdd) {
        return line.parityOdd;
    }
    return !line.parityEnable;
}

void UnitModel::Take(const InputByte& input) {
    if (!Matches(input.line)) {
        ++report_.noiseBytesIgnored;
        if (InPacket()) {
            // The rest of the packet will not make sense either.
            BreakFrame("line noise", Phase::Hunting);
        }
        return;
    }
    if (report_.state == UnitState::Application) {
        TakeApplication(input.value);
    } else {
        TakeMonitor(input.value);
    }
}

void UnitModel::TakeApplication(std::uint8_t value) {
    // Everything else at these settings is the application's own traffic.
    std::copy(window_.begin() + 1, window_.end(), window_.begin());
    window_.back() = value;
    if (std::equal(window_.begin(), window_.end(), kForceMonitorPacket.begin())) {
        window_.fill(0);
        EnterState(UnitState::Monitor);
    }
}

void UnitModel::TakeMonitor(std::uint8_t value) {
    // After a byte that does not fit, the unit hunts for the next STX or ENQ.
    const auto giveUp = [this, value](std::string text) {
        Error(std::move(text));
        phase_ = Phase::Hunting;
        if (value == kStx || value == kEnq) {
            TakeMonitor(value);
        }
    };
    switch (phase_) {
        case Phase::Idle:
        case Phase::Hunting:
            if (value == kEnq) {
                phase_ = Phase::Enquiry;
                enquiryIndex_ = 1;
            } else if (value == kStx) {
                phase_ = Phase::Zero;
            } else if (phase_ == Phase::Idle) {
                Error("stray byte " + Hex2(value) + " outside a frame");
                phase_ = Phase::Hunting;
            }
            return;
        case Phase::Enquiry:
            if (value != kEnquiryPacket[enquiryIndex_]) {
                return giveUp("broken enquiry: " + Hex2(value) + " after " +
                              std::to_string(enquiryIndex_) + " bytes");
            }
            if (++enquiryIndex_ == kEnquiryPacket.size()) {
                phase_ = Phase::Idle;
                OnEnquiry();
            }
            return;
        case Phase::Zero:
            if (value != 0x00) {
                return giveUp("broken frame: " + Hex2(value) + " after STX instead of 0x00");
            }
            phase_ = Phase::Command;
            return;
        case Phase::Command:
            command_ = value;
            phase_ = Phase::Length;
            return;
        case Phase::Length:
            length_ = value;
            if (length_ > kMaxPayload) {
                Error("bad length " + std::to_string(length_) + " in frame " + Hex2(command_) +
                      " (at most " + std::to_string(kMaxPayload) + ")");
                phase_ = Phase::Hunting;
                return;
            }
            payload_.clear();
            phase_ = length_ == 0 ? Phase::Checksum : Phase::Payload;
            return;
        case Phase::Payload:
            payload_.push_back(value);
            if (payload_.size() == length_) {
                phase_ = Phase::Checksum;
            }
            return;
        case Phase::Checksum:
            checksum_ = value;
            phase_ = Phase::Etx;
            return;
        case Phase::Etx:
            if (value != kEtx) {
                // The frame may be longer than its length byte says.
                return giveUp("broken frame " + Hex2(command_) + ": " + Hex2(value) +
                              " where ETX belongs");
            }
            phase_ = Phase::Idle;
            if (const auto expected = FrameChecksum(command_, payload_); checksum_ != expected) {
                Error("bad checksum in frame " + Hex2(command_) + ": " + Hex2(checksum_) +
                      ", should be " + Hex2(expected));
                return;
            }
            OnFrame();
            return;
    }
}

void UnitModel::BreakFrame(const std::string& why, Phase next) {
    Error("broken frame: " + why + " inside it");
    phase_ = next;
}

void UnitModel::OnEnquiry() {
    if (report_.state != UnitState::Monitor) {
        Error("enquiry outside the monitor");
        return;
    }
    ++report_.enquiries;
    Acknowledge(1);
}

void UnitModel::OnFrame() {
    finish_.BusyUntil(clock_);
    const auto command = static_cast<MonitorCommand>(command_);
    const bool inMonitor = report_.state == UnitState::Monitor;
    const bool inDemon =
        report_.state == UnitState::DemonRunning || report_.state == UnitState::Erased;
    const auto refuse = [this](const char* where) {
        Error("command " + Hex2(command_) + " not taken by the " + where);
    };
    const auto badLength = [this] {
        Error("bad length " + std::to_string(length_) + " for command " + Hex2(command_));
    };
    switch (command) {
        case MonitorCommand::LoadDemonChunk:
            if (!inMonitor) {
                return refuse("Demon");
            }
            if (length_ < 5) {
                return badLength();
            }
            return OnDemonChunk(BigEndian32(payload_), std::span(payload_).subspan(4));
        case MonitorCommand::RunDemon:
            if (!inMonitor) {
                return refuse("Demon");
            }
            if (length_ != 4) {
                return badLength();
            }
            return OnRunDemon(BigEndian32(payload_));
        case MonitorCommand::SetBaudRate:
            if (length_ != 1) {
                return badLength();
            }
            return OnSetBaudRate(payload_[0]);
        case MonitorCommand::LoadFirmwareChunk:
            if (!inDemon) {
                return refuse("monitor");
            }
            if (length_ < 5) {
                return badLength();
            }
            return OnFirmwareChunk(BigEndian32(payload_),
                                   std::vector<std::uint8_t>(payload_.begin() + 4, payload_.end()));
        case MonitorCommand::EraseFlash:
            if (!inDemon) {
                return refuse("monitor");
            }
            if (length_ != 0) {
                return badLength();
            }
            return OnErase();
    }
    Error("unknown command " + Hex2(command_));
}

void UnitModel::OnDemonChunk(std::uint32_t address, std::span<const std::uint8_t> data) {
    const unsigned number = ++demonChunkNumber_;
    if (const Fault* fault = FindFault(FaultKind::DemonHangup); fault && fault->count == number) {
        return Hangup("hung up at Demon chunk " + std::to_string(number));
    }
    if (std::uint64_t{address} + data.size() > kRamSize) {
        Error("Demon chunk at " + Hex8(address) + " (" + std::to_string(data.size()) +
              " bytes) outside RAM");
        return;
    }
    std::copy(data.begin(), data.end(), ram_.begin() + address);
    ++report_.demonChunks;
    finish_.TookDemonChunk();
    if (const Fault* fault = FindFault(FaultKind::DemonStop); fault && number >= fault->count) {
        Event("Demon chunk " + std::to_string(number) + " taken but not acknowledged");
        return;
    }
    const Fault* twice = FindFault(FaultKind::DemonDoubleAck);
    Acknowledge(twice && twice->count == number ? 2 : 1);
}

void UnitModel::OnRunDemon(std::uint32_t address) {
    if (address != kDemonBaseAddress) {
        Error("RunDemon at " + Hex8(address) + " refused: the Demon starts at " +
              Hex8(kDemonBaseAddress));
        return;
    }
    const auto reference = DemonReference();
    const auto held = std::span(ram_).subspan(kDemonBaseAddress, reference.size());
    const auto [mine, theirs] = std::mismatch(held.begin(), held.end(), reference.begin());
    if (mine != held.end()) {
        const auto at = kDemonBaseAddress + static_cast<std::uint32_t>(mine - held.begin());
        Error("RunDemon refused: RAM does not hold the Demon (first difference at " + Hex8(at) +
              ")");
        return;
    }
    EnterState(UnitState::DemonRunning);
}

void UnitModel::OnSetBaudRate(std::uint8_t code) {
    const std::string staying = "staying at " + std::to_string(report_.baud) + " baud";
    if (code == kOtherRateCode) {
        // The code names no rate: switching anywhere would lose the line, so the unit keeps it.
        Event("rate code " + Hex2(code) + " names no rate: " + staying);
        return;
    }
    const auto baud = BaudFromRateCode(code);
    if (!baud) {
        Error("SetBaudRate with unknown rate code " + Hex2(code));
        return;
    }
    if (*baud > options_.maxBaud) {
        Event("no " + std::to_string(*baud) + " baud (at most " + std::to_string(options_.maxBaud) +
              "): " + staying);
        return;
    }
    report_.baud = *baud;
    Event("listening at " + std::to_string(*baud) + " baud");
}

void UnitModel::OnErase() {
    const bool slow = FindFault(FaultKind::SlowErase) != nullptr;
    const auto duration = slow ? kSlowEraseTime : options_.eraseTime;
    report_.eraseInProgress = true;
    Event(std::string("erasing") + (slow ? " (slow-erase)" : ""));
    StartWork(duration, [this] {
        std::fill(report_.flash.begin(), report_.flash.end(), 0xFF);
        std::fill(written_.begin(), written_.end(), false);
        report_.flashBytesWritten = 0;
        report_.lowestWritten.reset();
        report_.highestWritten.reset();
        report_.eraseInProgress = false;
        ++report_.erases;
        EnterState(UnitState::Erased);
        Acknowledge(1);
    });
}

void UnitModel::OnFirmwareChunk(std::uint32_t address, std::vector<std::uint8_t> data) {
    const unsigned number = ++firmwareChunkNumber_;
    if (const Fault* fault = FindFault(FaultKind::FirmwareHangup);
        fault && fault->count == number) {
        return Hangup("hung up at firmware chunk " + std::to_string(number));
    }
    if (report_.state != UnitState::Erased) {
        Error("firmware chunk at " + Hex8(address) + " before the flash was erased");
        return;
    }
    const std::uint64_t end = std::uint64_t{address} + data.size();
    if (address < options_.flashBase ||
        end > std::uint64_t{options_.flashBase} + options_.flashSize) {
        Error("firmware chunk at " + Hex8(address) + " (" + std::to_string(data.size()) +
              " bytes) outside the flash " + Hex8(options_.flashBase) + ".." +
              Hex8(static_cast<std::uint32_t>(options_.flashBase + options_.flashSize - 1)));
        return;
    }
    StartWork(options_.writeTime, [this, address, number, data = std::move(data)] {
        const std::size_t offset = address - options_.flashBase;
        bool verified = true;
        for (std::size_t i = 0; i < data.size(); ++i) {
            // Programming only clears bits, as on real flash.
            auto& cell = report_.flash[offset + i];
            cell = static_cast<std::uint8_t>(cell & data[i]);
            verified = verified && cell == data[i];
            if (!written_[offset + i]) {
                written_[offset + i] = true;
                ++report_.flashBytesWritten;
            }
        }
        const auto last = static_cast<std::uint32_t>(address + data.size() - 1);
        report_.lowestWritten = std::min(report_.lowestWritten.value_or(address), address);
        report_.highestWritten = std::max(report_.highestWritten.value_or(last), last);
        if (!verified) {
            Error("flash write at " + Hex8(address) + " does not verify: already programmed");
            return;
        }
        ++report_.firmwareChunks;
        if (const Fault* fault = FindFault(FaultKind::FirmwareStop);
            fault && number >= fault->count) {
            Event("firmware chunk " + std::to_string(number) + " written but not acknowledged");
            return;
        }
        const Fault* twice = FindFault(FaultKind::FirmwareDoubleAck);
        Acknowledge(twice && twice->count == number ? 2 : 1);
    });
}

void UnitModel::Acknowledge(unsigned count) {
    if (FindFault(FaultKind::Silent) != nullptr) {
        return;
    }
    if (const Fault* noise = FindFault(FaultKind::Noise)) {
        for (unsigned i = 0; i < noise->count; ++i) {
            Send(kNoiseBytes[i % kNoiseBytes.size()]);
            ++report_.noiseBytesSent;
        }
    }
    for (unsigned i = 0; i < count; ++i) {
        Send(kAck);
        ++report_.acksSent;
    }
}

void UnitModel::Send(std::uint8_t value) {
    TimePoint due = clock_;
    if (!options_.fast) {
        // The loader sees a byte only once its stop bit is through.
        due = std::max(clock_, outputLineFree_) + ByteTime(Expected());
        outputLineFree_ = due;
    }
    output_.push_back({value, due});
}

void UnitModel::StartWork(std::chrono::nanoseconds duration, std::function<void()> finish) {
    // A unit erasing for long has not finished, however quiet the line.
    finish_.BusyUntil(clock_ + std::chrono::duration_cast<Clock::duration>(duration));
    if (duration <= std::chrono::nanoseconds(0)) {
        finish();
        return;
    }
    work_ = Work{clock_ + duration, std::move(finish)};
}

void UnitModel::EnterState(UnitState state) {
    report_.state = state;
    switch (state) {
        case UnitState::Application:
            break;
        case UnitState::Monitor:
            report_.reachedMonitor = true;
            report_.baud = 9600;
            break;
        case UnitState::DemonRunning:
            report_.reachedDemon = true;
            break;
        case UnitState::Erased:
            report_.reachedErased = true;
            break;
    }
    Event(std::string("now in ") + std::string(StateName(state)));
}

void UnitModel::Hangup(const std::string& why) {
    report_.hungUp = true;
    input_.clear();
    work_.reset();
    phase_ = Phase::Idle;
    Event(why);
}

void UnitModel::Error(std::string text) {
    log_.push_back("error: " + text);
    if (report_.protocolErrors.size() < kMaxLoggedTexts) {
        report_.protocolErrors.push_back(std::move(text));
    }
}

void UnitModel::Event(std::string text) {
    log_.push_back(text);
    if (report_.events.size() < kMaxLoggedTexts) {
        report_.events.push_back(std::move(text));
    }
}

const Fault* UnitModel::FindFault(FaultKind kind) const {
    const auto found = std::find_if(options_.faults.begin(), options_.faults.end(),
                                    [kind](const Fault& fault) { return fault.kind == kind; });
    return found == options_.faults.end() ? nullptr : &*found;
}

}  // namespace vantrel::sim
