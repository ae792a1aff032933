#pragma once

#include <array>
#include <string>

#include "engine/DownloadHost.h"
#include "engine/LoaderState.h"

namespace vantrel {

// A host that passes every call on and keeps, per port, the last status text it was given and
// when: what a run tells about a unit is known from the run itself, never read back from a view.
class TextLedger : public DownloadHost {
  public:
    struct Entry {
        std::string text;
        Clock::time_point when{};
    };

    explicit TextLedger(DownloadHost& host) : host_(host) {}

    const Entry& Last(int port) const { return entries_[PortIndex(port)]; }

    void SetStatusTexts(std::span<const StatusUpdate> updates) override;
    MessageResult ShowMessage(std::string_view text, MessageButtons buttons,
                              MessageIcon icon) override {
        return host_.ShowMessage(text, buttons, icon);
    }
    void ClosePort(int port) override { host_.ClosePort(port); }
    void CloseSelectedPorts() override { host_.CloseSelectedPorts(); }
    void EnableStart() override { host_.EnableStart(); }
    void SetLineSettings(const LineSettings& settings) override { host_.SetLineSettings(settings); }
    void WriteToSelected(std::span<const std::uint8_t> bytes) override {
        host_.WriteToSelected(bytes);
    }
    void RememberSettings(std::string_view romPath, std::string_view baseAddressText) override {
        host_.RememberSettings(romPath, baseAddressText);
    }
    void SetProgress(int position) override { host_.SetProgress(position); }
    void StepProgress() override { host_.StepProgress(); }
    void TakeInArrived() override { host_.TakeInArrived(); }
    Clock::time_point Now() override { return host_.Now(); }
    void SleepUntil(Clock::time_point deadline) override { host_.SleepUntil(deadline); }
    void WaitForAcknowledgement(Clock::time_point deadline) override {
        host_.WaitForAcknowledgement(deadline);
    }

  private:
    DownloadHost& host_;
    std::array<Entry, kPortCount> entries_{};
};

}  // namespace vantrel
