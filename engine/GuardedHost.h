#pragma once

#include "engine/DownloadHost.h"
#include "engine/StopSignal.h"

namespace vantrel {

// Thrown by finish-run: the run is over and unwinds to the top of the worker.
struct RunFinished {};
// Thrown once a stop is requested: the run unwinds without touching its host again.
struct RunStopped {};

// The host as the engine sees it: every call first checks for a stop request, so that after one
// nothing of the host is touched; pauses end early when the request comes.
class GuardedHost {
  public:
    GuardedHost(DownloadHost& host, const StopSignal& stop) : host_(host), stop_(stop) {}

    bool StopRequested() const { return stop_.StopRequested(); }
    void CheckStop() const {
        if (stop_.StopRequested()) {
            throw RunStopped{};
        }
    }
    void Sleep(std::chrono::milliseconds duration) {
        CheckStop();
        host_.Sleep(duration);
        CheckStop();
    }
    void SetStatusText(int port, std::string_view text) {
        CheckStop();
        host_.SetStatusText(port, text);
    }
    void SetStatusTexts(std::span<const StatusUpdate> updates) {
        if (updates.empty()) {
            return;
        }
        CheckStop();
        host_.SetStatusTexts(updates);
    }
    MessageResult ShowMessage(std::string_view text, MessageButtons buttons, MessageIcon icon) {
        CheckStop();
        return host_.ShowMessage(text, buttons, icon);
    }
    void ClosePort(int port) {
        CheckStop();
        host_.ClosePort(port);
    }
    void CloseSelectedPorts() {
        CheckStop();
        host_.CloseSelectedPorts();
    }
    void EnableStart() {
        CheckStop();
        host_.EnableStart();
    }
    void SetLineSettings(std::string_view settings) {
        CheckStop();
        host_.SetLineSettings(settings);
    }
    void WriteToSelected(std::span<const std::uint8_t> bytes) {
        CheckStop();
        host_.WriteToSelected(bytes);
    }
    void WriteSetting(std::string_view section, std::string_view name, std::string_view value) {
        CheckStop();
        host_.WriteSetting(section, name, value);
    }
    void SetProgress(int position) {
        CheckStop();
        host_.SetProgress(position);
    }
    void StepProgress() {
        CheckStop();
        host_.StepProgress();
    }

  private:
    DownloadHost& host_;
    const StopSignal& stop_;
};

}  // namespace vantrel
