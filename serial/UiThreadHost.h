#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "engine/DownloadHost.h"
#include "engine/StopSignal.h"
#include "serial/RunView.h"
#include "serial/SerialLink.h"
#include "threading/CallMailbox.h"

namespace vantrel {

// The host of a run whose window and ports live on the UI thread. Every call is carried out
// there while the worker waits, except status texts and progress: those ride with the next call
// that crosses, or go ahead without the worker waiting when it is about to pause, so a chunk
// costs the worker one crossing. A failure of one of them ends the run at that next crossing.
// Once a stop is requested, calls not yet carried out are dropped and waits end at once by
// throwing RunStopped, so the UI thread can join the worker without a deadlock. The stop is
// seen here and nowhere else: where a call crosses threads and where time passes.
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
    ~UiThreadHost() override;
    UiThreadHost(const UiThreadHost&) = delete;
    UiThreadHost& operator=(const UiThreadHost&) = delete;

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
    // Also ends when the link counts an ACK.
    void WaitForAcknowledgement(Clock::time_point deadline) override;
    // For each selected port in order: apply the settings (opening the port if closed) on the
    // UI thread, then pause kLineSettingsPause here through Sleep.
    void SetLineSettings(const LineSettings& settings) override;
    void WriteToSelected(std::span<const std::uint8_t> bytes) override;
    // As the two remembered values of the settings store, through the view.
    void RememberSettings(std::string_view romPath, std::string_view baseAddressText) override;
    void SetProgress(int position) override;
    void StepProgress() override;
    // Through the link, on the UI thread where the ports live.
    void TakeInArrived() override;

  private:
    // Runs the queued operations and then the call on the UI thread, and waits until they have
    // run; throws RunStopped when a stop came first.
    void OnUiThread(std::function<void()> call);
    // A window operation the worker need not wait for; at once on the UI thread itself.
    void Queue(std::function<void()> operation);
    // Sends the queued operations on without waiting for them.
    void PostQueued();
    [[noreturn]] void Stopped();
    // UI thread: writes the armed chunk when it is due, then wakes the worker.
    void AcknowledgementCounted();

    CallMailbox* mailbox_;  // a child of the context, made on its thread
    SerialLink& link_;
    RunView& view_;
    StopSignal& stop_;
    std::vector<std::function<void()>> queued_;  // worker thread only
    // What a posted operation threw, until the next crossing ends the run with it; touched on
    // the UI thread only, and a fresh one after each stop.
    std::shared_ptr<std::exception_ptr> postedError_;
    std::uint64_t progressSeen_ = 0;              // worker thread only
    QMetaObject::Connection progressConnection_;  // for ACKs counted by the link
};

}  // namespace vantrel
