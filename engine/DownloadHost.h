#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/LineSettings.h"

namespace vantrel {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Exclamation, Stop };
enum class MessageResult { Ok, Yes, No };

struct StatusUpdate {
    int port;
    std::string_view text;
};

// Thrown by a host call once the run has been asked to stop: the run unwinds to the top of the
// worker without touching anything more.
struct RunStopped {};

// Everything a download run needs of the window and the ports. Called on the worker thread; an
// implementation carries each call out wherever its objects live and returns when it is done,
// except status texts and progress, which may be carried out later, in the order given, but
// always before the next call of any other kind is.
//
// Stop rule: once the run is asked to stop, every call throws RunStopped instead of doing its
// work, and a sleep under way ends at once by throwing it. This is the only place a stop is
// seen, so the engine needs no checks of its own.
class DownloadHost {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~DownloadHost() = default;

    // Several ports' texts at once, in the order given: one crossing for the lot.
    virtual void SetStatusTexts(std::span<const StatusUpdate> updates) = 0;
    void SetStatusText(int port, std::string_view text) {
        const StatusUpdate update{port, text};
        SetStatusTexts(std::span(&update, 1));
    }
    // Blocks until the user has answered.
    virtual MessageResult ShowMessage(std::string_view text, MessageButtons buttons,
                                      MessageIcon icon) = 0;
    // Closes the port if it is open.
    virtual void ClosePort(int port) = 0;
    // Closes every selected port that is open; flags are left as they are.
    virtual void CloseSelectedPorts() = 0;
    virtual void EnableStart() = 0;

    // On every selected port: apply the settings, open the port if it is closed, pause 2 ms.
    virtual void SetLineSettings(const LineSettings& settings) = 0;
    // The same bytes to every selected port, in port order.
    virtual void WriteToSelected(std::span<const std::uint8_t> bytes) = 0;
    // Remembers the ROM path and the base-address text exactly as given, for the next start.
    virtual void RememberSettings(std::string_view romPath, std::string_view baseAddressText) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void StepProgress() = 0;
    // Counts the ACKs of every byte that has reached the computer on the active ports by now,
    // also bytes the ports' side has not handed over yet: the last look before a wait gives a
    // unit up.
    virtual void TakeInArrived() = 0;

    // Time as the run counts it, and a pause until a moment of it. Polls sleep to absolute
    // deadlines, so the lateness of one wake-up never adds to the next.
    virtual Clock::time_point Now() = 0;
    virtual void SleepUntil(Clock::time_point deadline) = 0;
    void Sleep(std::chrono::milliseconds duration) { SleepUntil(Now() + duration); }
    // A wait's pause: until the deadline, or less. It may end as soon as an ACK was counted that
    // lets the wait end (LoaderState::WaitDecided) or sent the armed chunk, so the wait looks
    // the moment it is decided.
    virtual void WaitForAcknowledgement(Clock::time_point deadline) { SleepUntil(deadline); }
};

}  // namespace vantrel
