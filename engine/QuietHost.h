#pragma once

#include "engine/DownloadHost.h"

namespace vantrel {

// A host that passes on what reaches the line and drops what the user would see: texts,
// progress, boxes (answered OK), remembered settings and Start. A probe of an empty port goes
// through it, so an empty port shows nothing.
class QuietHost : public DownloadHost {
  public:
    explicit QuietHost(DownloadHost& host) : host_(host) {}

    void SetStatusTexts(std::span<const StatusUpdate>) override {}
    MessageResult ShowMessage(std::string_view, MessageButtons, MessageIcon) override {
        return MessageResult::Ok;
    }
    void ClosePort(int port) override { host_.ClosePort(port); }
    void CloseSelectedPorts() override { host_.CloseSelectedPorts(); }
    void EnableStart() override {}
    void SetLineSettings(const LineSettings& settings) override { host_.SetLineSettings(settings); }
    void WriteToSelected(std::span<const std::uint8_t> bytes) override {
        host_.WriteToSelected(bytes);
    }
    void RememberSettings(std::string_view, std::string_view) override {}
    void SetProgress(int) override {}
    void StepProgress() override {}
    void TakeInArrived() override { host_.TakeInArrived(); }
    Clock::time_point Now() override { return host_.Now(); }
    void SleepUntil(Clock::time_point deadline) override { host_.SleepUntil(deadline); }
    void WaitForAcknowledgement(Clock::time_point deadline) override {
        host_.WaitForAcknowledgement(deadline);
    }

  private:
    DownloadHost& host_;
};

}  // namespace vantrel
