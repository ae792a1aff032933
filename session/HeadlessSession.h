#pragma once

#include <QObject>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "engine/DownloadWorker.h"
#include "serial/PortMapping.h"
#include "session/LoaderSession.h"
#include "session/RecordingView.h"

namespace vantrel {

// Tick boxes that are only flags.
class TickedBoxes : public PortBoxes {
  public:
    bool IsTicked(int port) const override;
    void SetTicked(int port, bool ticked) override;

  private:
    std::array<bool, kPortCount> ticked_{};
};

// A download without a window: the session core with a view that records what a window would
// show, and an event loop spun while a run goes on. Lives on the thread of the
// QCoreApplication; the ports and every host call are handled there.
//
//   HeadlessSession session(std::move(mapping));
//   session.View().SetCallbacks({...});        // optional: live lines
//   session.Tick(1);                           // as a click on the box of COM1
//   auto outcome = session.Run(HeadlessSession::Request(romPath, "00C10000"));
//   const BatchResult& result = session.Result();
//
// Messages are answered OK at once. Nothing here writes the settings store: settings writes
// of a run are only recorded.
class HeadlessSession {
  public:
    explicit HeadlessSession(std::unique_ptr<PortMapping> mapping);
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    // What a batch flashes; the session opens the ROM file itself when it starts.
    static BatchRequest Request(const std::string& romPath, const std::string& baseAddressText);

    // A click that ticks port N's box: prepares, configures and opens the port. A failure is
    // recorded as a message; false when the box ends up unticked.
    bool Tick(int port);
    // Ticks the box without opening the port: it opens once the batch's file is found fit.
    void Name(int port) { boxes_.SetTicked(port, true); }
    // A click that unticks it: the port is closed, its flags stay.
    void Untick(int port);
    bool IsTicked(int port) const { return boxes_.IsTicked(port); }

    // The window's Start, then the whole batch until it has ended. Nothing when Start refused
    // it or it never touched a unit; the reason is recorded as a message. A stopped run ends as
    // RunOutcome::Stopped with its ports closed.
    std::optional<RunOutcome> Run(BatchRequest request);
    // The command line's: the file first, then the ports named, then as Run.
    std::optional<RunOutcome> RunBatch(BatchRequest request);
    // How the last batch ended, unit by unit.
    const BatchResult& Result() const { return result_; }
    void SetBeforeUnits(LoaderSession::BeforeUnits hook) { core_->SetBeforeUnits(std::move(hook)); }
    void SetRefusalsShown(bool shown) { core_->SetRefusalsShown(shown); }
    // As Exit's stop request; see LoaderSession::RequestStop.
    void RequestStop() { core_->RequestStop(); }
    bool Running() const { return core_->RunActive(); }

    LoaderState& State() { return core_->State(); }
    SerialLink& Link() { return core_->Link(); }
    RecordingView& View() { return view_; }

  private:
    using Starter = LoaderSession::StartResult (LoaderSession::*)(BatchRequest,
                                                                  LoaderSession::EndHandler);
    std::optional<RunOutcome> RunToEnd(Starter start, BatchRequest request);

    std::unique_ptr<PortMapping> mapping_;
    BatchResult result_;
    RecordingView view_;
    TickedBoxes boxes_;
    // Posted calls die with it, after the core that waits for them.
    QObject context_;
    std::unique_ptr<LoaderSession> core_;
};

}  // namespace vantrel
