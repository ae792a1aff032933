#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/DownloadHost.h"
#include "engine/LoaderState.h"
#include "engine/MonitorPackets.h"
#include "engine/StopSignal.h"

namespace vantrel::testing {

// How a simulated unit of the fake host answers. Chunk numbers count from 1.
struct UnitBehaviour {
    bool answersEnquiry = true;
    int silentFromDemonChunk = 0;  // 0: never
    int silentFromFirmwareChunk = 0;
    int doubleAckDemonChunk = 0;
    int doubleAckFirmwareChunk = 0;
    bool answersErase = true;
    int ackDelayMs = 1;
    int eraseMs = 50;
};

// One thing the run did to its host, in order, at virtual time `at` (ms).
struct HostEvent {
    enum Kind {
        LineSettings,
        Write,
        Sleep,
        Wait,  // a wait's pause, which ends early at a counted ACK
        Status,
        Message,
        ClosePort,
        CloseSelected,
        EnableStart,
        Setting,
        Progress,
        ProgressStep,
        TakeIn,
    };
    Kind kind;
    long at = 0;
    int port = 0;
    std::string text;
    std::vector<std::uint8_t> bytes;
    std::vector<int> ports;  // ports written to, for Write
    bool armed = false;      // a Write of the armed chunk, made where the ACKs are counted
};

// A host on virtual time: a sleep advances a clock and delivers the simulated units' ACKs that
// fall due. Nothing really sleeps. Keeps the stop rule: after a stop every call throws.
class FakeHost : public DownloadHost {
  public:
    FakeHost(LoaderState& state, StopSignal& stop) : state_(state), stop_(stop) {}

    void AddUnit(int port, UnitBehaviour behaviour = {}) {
        units_[port] = Unit{behaviour, 0, 0};
        state_.Port(port).selected.store(true);
    }
    // The unit is taken away: it hears nothing from now on.
    void RemoveUnit(int port) { units_.erase(port); }
    void StopAt(long time) { stopAt_ = time; }
    // Something that happens at a virtual time, as the clock passes it (a unit plugged or
    // pulled).
    void At(long time, std::function<void()> action) {
        scheduled_.push_back({time, std::move(action)});
    }

    // DownloadHost
    void SetStatusTexts(std::span<const StatusUpdate> updates) override {
        CheckStop();
        ++statusBatches;
        for (const StatusUpdate& update : updates) {
            Log(HostEvent::Status, update.port, std::string(update.text));
            status_[static_cast<std::size_t>(update.port - 1)] = std::string(update.text);
        }
    }
    MessageResult ShowMessage(std::string_view text, MessageButtons, MessageIcon icon) override {
        Log(HostEvent::Message, 0, std::string(text));
        messageIcons.push_back(icon);
        return MessageResult::Ok;
    }
    void ClosePort(int port) override {
        Log(HostEvent::ClosePort, port, {});
        open_[static_cast<std::size_t>(port - 1)] = false;
    }
    void CloseSelectedPorts() override {
        Log(HostEvent::CloseSelected, 0, {});
        for (int port = 1; port <= kPortCount; ++port) {
            if (state_.Port(port).selected.load()) {
                open_[static_cast<std::size_t>(port - 1)] = false;
            }
        }
    }
    void EnableStart() override {
        Log(HostEvent::EnableStart, 0, {});
        startEnabled = true;
    }
    Clock::time_point Now() override { return Clock::time_point(std::chrono::milliseconds(now_)); }
    void SleepUntil(Clock::time_point deadline) override {
        const long until = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline.time_since_epoch())
                .count());
        Log(HostEvent::Sleep, static_cast<int>(until - now_), {});
        Advance(until - now_);
    }
    // Ends at the ACK that decides the wait or sends the armed chunk, as the UI thread wakes the
    // worker then, else at the deadline.
    void WaitForAcknowledgement(Clock::time_point deadline) override {
        const long until = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline.time_since_epoch())
                .count());
        std::vector<long> times;
        for (const PendingAck& ack : pending_) {
            if (!ack.unread && ack.at <= until) {
                times.push_back(std::max(now_, ack.at));
            }
        }
        std::sort(times.begin(), times.end());
        Log(HostEvent::Wait, 0, {});
        const std::size_t index = events.size() - 1;
        const long from = now_;
        const int armedBefore = armedWrites_;
        for (const long at : times) {
            Advance(at - now_);
            if (armedWrites_ != armedBefore || state_.WaitDecided()) {
                break;
            }
        }
        if (armedWrites_ == armedBefore && !state_.WaitDecided()) {
            Advance(until - now_);
        }
        events[index].port = static_cast<int>(now_ - from);
    }
    void SetLineSettings(const LineSettings& settings) override {
        Log(HostEvent::LineSettings, 0, FormatLineSettings(settings));
        for (int port = 1; port <= kPortCount; ++port) {
            if (state_.Port(port).selected.load()) {
                open_[static_cast<std::size_t>(port - 1)] = true;
                Advance(2);
            }
        }
    }
    void WriteToSelected(std::span<const std::uint8_t> bytes) override {
        HostEvent& event = Log(HostEvent::Write, 0, {});
        event.bytes.assign(bytes.begin(), bytes.end());
        event.armed = writingArmed_;
        for (int port = 1; port <= kPortCount; ++port) {
            if (state_.Port(port).selected.load()) {
                event.ports.push_back(port);
                React(port, bytes);
            }
        }
    }
    void RememberSettings(std::string_view romPath, std::string_view baseAddressText) override {
        Log(HostEvent::Setting, 0, "RomFile/NameAndPath=" + std::string(romPath));
        Log(HostEvent::Setting, 0, "Misc/FwBaseAddr=" + std::string(baseAddressText));
    }
    void SetProgress(int position) override {
        Log(HostEvent::Progress, position, {});
        progress = position;
    }
    void StepProgress() override {
        Log(HostEvent::ProgressStep, 0, {});
        ++progress;
    }
    void TakeInArrived() override {
        Log(HostEvent::TakeIn, 0, {});
        for (const int port : unread_) {
            Count(port);
        }
        unread_.clear();
    }

    // Inspection
    std::vector<HostEvent> Events(HostEvent::Kind kind) const {
        std::vector<HostEvent> out;
        std::copy_if(events.begin(), events.end(), std::back_inserter(out),
                     [kind](const HostEvent& e) { return e.kind == kind; });
        return out;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& e : Events(HostEvent::Message)) {
            out.push_back(e.text);
        }
        return out;
    }
    const std::string& Status(int port) const {
        return status_[static_cast<std::size_t>(port - 1)];
    }
    bool IsOpen(int port) const { return open_[static_cast<std::size_t>(port - 1)]; }
    void SetOpen(int port, bool open) { open_[static_cast<std::size_t>(port - 1)] = open; }
    long NowMs() const { return now_; }
    // Delivers an ACK byte to a port at a virtual time from now.
    void ScheduleAck(int port, long delayMs, int count = 1) {
        for (int i = 0; i < count; ++i) {
            pending_.push_back({now_ + delayMs, port, false});
        }
    }
    // An ACK that reaches the computer at a virtual time from now but is counted only when the
    // host is told to take in what has arrived, as when the UI thread is busy.
    void ScheduleUnreadAck(int port, long delayMs) {
        pending_.push_back({now_ + delayMs, port, true});
    }

    std::vector<HostEvent> events;
    std::vector<MessageIcon> messageIcons;
    int progress = 0;
    int statusBatches = 0;
    bool startEnabled = false;
    std::optional<std::size_t> eventsAtStop;  // how many events there were when the stop came

  private:
    struct Unit {
        UnitBehaviour behaviour;
        int demonChunks;
        int firmwareChunks;
    };
    struct PendingAck {
        long at;
        int port;
        bool unread;
    };

    void CheckStop() const {
        if (stop_.StopRequested()) {
            throw RunStopped{};
        }
    }

    HostEvent& Log(HostEvent::Kind kind, int port, std::string text) {
        CheckStop();
        events.push_back(HostEvent{kind, now_, port, std::move(text), {}, {}});
        return events.back();
    }

    void Advance(long ms) {
        long target = now_ + ms;
        if (stopAt_ && *stopAt_ <= target) {
            target = std::max(now_, *stopAt_);
            stopAt_.reset();
            DeliverUntil(target);
            stop_.RequestStop();
            eventsAtStop = events.size();
            throw RunStopped{};
        }
        DeliverUntil(target);
    }

    void DeliverUntil(long target) {
        for (auto due = scheduled_.begin(); due != scheduled_.end();) {
            if (due->first <= target) {
                auto action = std::move(due->second);
                due = scheduled_.erase(due);
                action();
            } else {
                ++due;
            }
        }
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const PendingAck& a, const PendingAck& b) { return a.at < b.at; });
        while (!pending_.empty() && pending_.front().at <= target) {
            const PendingAck ack = pending_.front();
            pending_.erase(pending_.begin());
            now_ = std::max(now_, ack.at);
            if (ack.unread) {
                unread_.push_back(ack.port);
            } else {
                Count(ack.port);
            }
        }
        now_ = target;
    }

    void Count(int port) {
        const std::uint8_t byte = kAck;
        if (state_.IsActive(port)) {
            state_.CountAcknowledgements(port, std::span(&byte, 1));
        }
        // As the UI thread does: an armed chunk goes out the moment it is due.
        if (const auto due = state_.TakeDueChunk(); !due.empty()) {
            writingArmed_ = true;
            ++armedWrites_;
            WriteToSelected(due);
            writingArmed_ = false;
            state_.ChunkWritten();
        }
    }

    void React(int port, std::span<const std::uint8_t> bytes) {
        auto found = units_.find(port);
        if (found == units_.end() || bytes.empty()) {
            return;
        }
        Unit& unit = found->second;
        const UnitBehaviour& b = unit.behaviour;
        const long delay = b.ackDelayMs;
        if (bytes[0] == kEnquiryPacket[0] && bytes.size() == kEnquiryPacket.size()) {
            if (b.answersEnquiry) {
                ScheduleAck(port, delay);
            }
            return;
        }
        if (bytes[0] != kStx || bytes.size() < 6) {
            return;
        }
        switch (static_cast<MonitorCommand>(bytes[2])) {
            case MonitorCommand::LoadDemonChunk: {
                const int k = ++unit.demonChunks;
                if (b.silentFromDemonChunk == 0 || k < b.silentFromDemonChunk) {
                    ScheduleAck(port, delay, k == b.doubleAckDemonChunk ? 2 : 1);
                }
                break;
            }
            case MonitorCommand::LoadFirmwareChunk: {
                const int k = ++unit.firmwareChunks;
                if (b.silentFromFirmwareChunk == 0 || k < b.silentFromFirmwareChunk) {
                    ScheduleAck(port, delay, k == b.doubleAckFirmwareChunk ? 2 : 1);
                }
                break;
            }
            case MonitorCommand::EraseFlash:
                if (b.answersErase) {
                    ScheduleAck(port, b.eraseMs);
                }
                break;
            default:
                break;
        }
    }

    LoaderState& state_;
    StopSignal& stop_;
    std::map<int, Unit> units_;
    std::vector<PendingAck> pending_;
    std::vector<int> unread_;  // ports of ACKs arrived and not yet counted
    std::array<std::string, kPortCount> status_{};
    std::array<bool, kPortCount> open_{};
    std::optional<long> stopAt_;
    std::vector<std::pair<long, std::function<void()>>> scheduled_;
    long now_ = 0;
    bool writingArmed_ = false;
    int armedWrites_ = 0;
};

}  // namespace vantrel::testing
