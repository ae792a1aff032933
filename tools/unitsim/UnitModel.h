#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/unitsim/FinishWatch.h"
#include "tools/unitsim/UnitOptions.h"
#include "tools/unitsim/UnitReport.h"

namespace vantrel::sim {

// A partial frame left this long without another byte is given up.
inline constexpr std::chrono::milliseconds kFrameGap{100};
// RAM the monitor loads the Demon into, from address 0.
inline constexpr std::uint32_t kRamSize = 0x10000;
// At most this many texts are kept per list; the rest are only counted.
inline constexpr std::size_t kMaxLoggedTexts = 1000;

// Time one byte spends on the line: start bit, 8 data bits, parity bit if any, stop bit.
std::chrono::nanoseconds ByteTime(const LineSample& line);
// The 5,630 bytes the loader sends from 0x800, read from the Demon text.
std::span<const std::uint8_t> DemonReference();
// The speed a SetBaudRate rate code stands for (9600 for the catch-all code 11); nothing for a
// code the loader never sends.
std::optional<std::uint32_t> BaudFromRateCode(std::uint8_t code);

// One unit's behaviour and timing, without any I/O: bytes go in with the time they were read and
// the line settings they came at; bytes come out when their time has come. Not thread-safe.
class UnitModel {
  public:
    explicit UnitModel(UnitOptions options);

    // Bytes read from the line at readTime, sent at the given settings.
    void Receive(std::span<const std::uint8_t> bytes, const LineSample& line, TimePoint readTime);
    // Handles whatever has arrived and finishes whatever work is done by now.
    void Advance(TimePoint now);
    // Bytes that have crossed the line by now, in order.
    std::vector<std::uint8_t> TakeOutput(TimePoint now);
    // When Advance or TakeOutput next have something to do; nothing when idle. Input pending
    // counts at its last byte's arrival.
    std::optional<TimePoint> NextDue() const;
    // Texts logged since the last call (protocol errors and events).
    std::vector<std::string> TakeLog();
    // When the unit finished (see FinishWatch), once now has reached it; nothing while
    // bytes or work are still pending.
    std::optional<TimePoint> FinishedBy(TimePoint now) const;
    // When it will finish if nothing else comes.
    std::optional<TimePoint> FinishDue() const { return finish_.Due(); }

    bool HangupRequested() const { return report_.hungUp; }
    // Back to the application with empty RAM and counts; the flash keeps its contents.
    void PowerCycle();
    // Output written to nobody.
    void NoteDropped(std::size_t count);

    const UnitReport& Report() const { return report_; }
    UnitReport& MutableReport() { return report_; }

  private:
    struct InputByte {
        std::uint8_t value;
        LineSample line;
        TimePoint arrival;
    };
    struct OutputByte {
        std::uint8_t value;
        TimePoint due;
    };
    struct Work {
        TimePoint due;
        std::function<void()> finish;
    };
    // Hunting: after rubbish, skip bytes quietly until something starts a packet.
    enum class Phase { Idle, Hunting, Enquiry, Zero, Command, Length, Payload, Checksum, Etx };

    bool InPacket() const { return phase_ != Phase::Idle && phase_ != Phase::Hunting; }
    LineSample Expected() const;
    bool Matches(const LineSample& line) const;
    void Take(const InputByte& input);
    void TakeApplication(std::uint8_t value);
    void TakeMonitor(std::uint8_t value);
    void BreakFrame(const std::string& why, Phase next);
    void OnEnquiry();
    void OnFrame();
    void OnDemonChunk(std::uint32_t address, std::span<const std::uint8_t> data);
    void OnRunDemon(std::uint32_t address);
    void OnSetBaudRate(std::uint8_t code);
    void OnErase();
    void OnFirmwareChunk(std::uint32_t address, std::vector<std::uint8_t> data);
    void Acknowledge(unsigned count);
    void Send(std::uint8_t value);
    void StartWork(std::chrono::nanoseconds duration, std::function<void()> finish);
    void EnterState(UnitState state);
    void Hangup(const std::string& why);
    void Error(std::string text);
    void Event(std::string text);
    const Fault* FindFault(FaultKind kind) const;
    void ResetSession();

    UnitOptions options_;
    UnitReport report_;
    std::vector<std::uint8_t> ram_;
    std::vector<bool> written_;  // flash bytes written since the last erase
    std::vector<std::string> log_;

    std::deque<InputByte> input_;
    std::deque<OutputByte> output_;
    std::optional<Work> work_;
    FinishWatch finish_;  // outlasts a power cycle: a unit finishes once
    TimePoint clock_{};   // the unit's own time: it has dealt with everything up to here
    TimePoint inputLineFree_{};
    TimePoint outputLineFree_{};
    TimePoint lastArrival_{};

    std::array<std::uint8_t, 5> window_{};  // last bytes seen by the application
    Phase phase_ = Phase::Idle;
    std::size_t enquiryIndex_ = 0;
    std::uint8_t command_ = 0;
    std::uint8_t length_ = 0;
    std::uint8_t checksum_ = 0;
    std::vector<std::uint8_t> payload_;
    unsigned demonChunkNumber_ = 0;     // well-formed Demon chunks seen
    unsigned firmwareChunkNumber_ = 0;  // well-formed firmware chunks seen
};

}  // namespace vantrel::sim
