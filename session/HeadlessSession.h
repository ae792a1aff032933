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
//   auto outcome = session.Run(HeadlessSession::MakeInputs(romPath, "00C10000"));
//
// Messages are answered OK at once. Nothing here writes the settings store: settings writes
// of a run are only recorded.
class HeadlessSession {
  public:
    explicit HeadlessSession(std::unique_ptr<PortMapping> mapping);
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    // The texts of a run; the session opens the ROM file itself when the run starts.
    static RunInputs MakeInputs(const std::string& romPath, const std::string& baseAddressText);

    // A click that ticks port N's box: prepares, configures and opens the port. A failure is
    // recorded as a message; false when the box ends up unticked.
    bool Tick(int port);
    // A click that unticks it: the port is closed, its flags stay.
    void Untick(int port);
    bool IsTicked(int port) const { return boxes_.IsTicked(port); }

    // Start, then the whole run until it has ended. Nothing when the run could not start; the
    // reason is recorded as a message. A stopped run ends as RunOutcome::Stopped with its ports
    // closed.
    std::optional<RunOutcome> Run(RunInputs inputs);
    // As Exit's stop request; see LoaderSession::RequestStop.
    void RequestStop() { core_->RequestStop(); }
    bool Running() const { return core_->RunActive(); }

    LoaderState& State() { return core_->State(); }
    SerialLink& Link() { return core_->Link(); }
    RecordingView& View() { return view_; }

  private:
    std::unique_ptr<PortMapping> mapping_;
    RecordingView view_;
    TickedBoxes boxes_;
    // Posted calls die with it, after the core that waits for them.
    QObject context_;
    std::unique_ptr<LoaderSession> core_;
};

}  // namespace vantrel
