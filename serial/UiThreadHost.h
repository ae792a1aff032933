#pragma once

#include <QObject>
#include <chrono>
#include <functional>

#include "engine/DownloadHost.h"
#include "engine/StopSignal.h"
#include "serial/RunView.h"
#include "serial/SerialLink.h"
#include "threading/CallMailbox.h"

namespace vantrel {

// The host of a run whose window and ports live on the UI thread. Every call is carried out
// there while the worker waits; once a stop is requested, calls not yet carried out are
// dropped and waits end at once by throwing RunStopped, so the UI thread can join the worker
// without a deadlock. The stop is seen here and nowhere else: where a call crosses threads and
// where time passes.
//
// The link, the view and the stop signal must outlive the context (or at least every event
// loop pass that may still deliver a posted call). A call posted to a context that is destroyed
// before it runs is dropped, and the worker waiting for it goes on.
class UiThreadHost : public DownloadHost {
  public:
    // Pause after the line settings of each selected port change.
    static constexpr std::chrono::milliseconds kLineSettingsPause{2};

    // context: a QObject of the UI thread; calls posted to it die with it.
    UiThreadHost(QObject& context, SerialLink& link, RunView& view, StopSignal& stop);

    // All of them in one call on the UI thread.
    void SetStatusTexts(std::span<const StatusUpdate> updates) override;
    MessageResult ShowMessage(std::string_view text, MessageButtons buttons,
                              MessageIcon icon) override;
    void ClosePort(int port) override;
    void CloseSelectedPorts() override;
    void EnableStart() override;
    Clock::time_point Now() override;
    // Sleeps on the stop signal, so a stop request ends the pause.
    void SleepUntil(Clock::time_point deadline) override;
    // For each selected port in order: apply the settings (opening the port if closed) on the
    // UI thread, then pause kLineSettingsPause here through Sleep.
    void SetLineSettings(std::string_view settings) override;
    void WriteToSelected(std::span<const std::uint8_t> bytes) override;
    // As the two remembered values of the settings store, through the view.
    void RememberSettings(std::string_view romPath, std::string_view baseAddressText) override;
    void SetProgress(int position) override;
    void StepProgress() override;
    // Through the link, on the UI thread where the ports live.
    void TakeInArrived() override;

  private:
    // Runs the call on the UI thread and waits until it has run; throws RunStopped when a stop
    // came first.
    void OnUiThread(std::function<void()> call);

    CallMailbox* mailbox_;  // a child of the context, made on its thread
    SerialLink& link_;
    RunView& view_;
    StopSignal& stop_;
};

}  // namespace vantrel
