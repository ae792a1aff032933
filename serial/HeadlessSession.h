#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "engine/DownloadWorker.h"
#include "engine/LoaderState.h"
#include "engine/RunController.h"
#include "serial/CallMailbox.h"
#include "serial/PortMapping.h"
#include "serial/RecordingView.h"
#include "serial/SerialLink.h"
#include "serial/UiThreadHost.h"

namespace vantrel {

// Tick boxes that are only flags.
class TickedBoxes : public PortBoxes {
  public:
    bool IsTicked(int port) const override;
    void SetTicked(int port, bool ticked) override;

  private:
    std::array<bool, kPortCount> ticked_{};
};

// A download without a window: the loader's ports, a run on its own thread and a view that
// records what a window would show. Lives on the thread of the QCoreApplication, whose event
// loop it spins while a run goes on; the ports and every host call are handled there.
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
    // Stops a run still going (as Exit does) and closes the selected ports.
    ~HeadlessSession();
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    // Opens the ROM file for a run; a file that cannot be opened leaves RunInputs::romFile empty.
    static RunInputs MakeInputs(const std::string& romPath, const std::string& baseAddressText);

    // A click that ticks port N's box: prepares, configures and opens the port. A failure is
    // recorded as a message; false when the box ends up unticked.
    bool Tick(int port);
    // A click that unticks it: the port is closed, its flags stay.
    void Untick(int port);
    bool IsTicked(int port) const { return boxes_.IsTicked(port); }

    // Start, then the whole run: opens the ticked ports, checks the ROM file and the ports as
    // Start does, runs the download on its own thread and handles events until it has ended.
    // Nothing when the run could not start; the reason is recorded as a message ("Select the
    // ROM file first.", "The ROM file could not be opened!", "Select COM port(s) first.", or a
    // port's own error text). A stopped run ends as RunOutcome::Stopped with its ports closed.
    std::optional<RunOutcome> Run(RunInputs inputs);
    // Asks a run to stop, as Exit does: from now on no stage is set and no acknowledgement
    // counted. Any thread (not from a signal handler). Counts from the moment Run is called,
    // even before its run has started; harmless without a run.
    void RequestStop();
    bool Running() const { return controller_.Running(); }

    LoaderState& State() { return *state_; }
    SerialLink& Link() { return link_; }
    RecordingView& View() { return view_; }
    const PortMapping& Mapping() const { return *mapping_; }

  private:
    std::unique_ptr<LoaderState> state_;
    std::unique_ptr<PortMapping> mapping_;
    RecordingView view_;
    TickedBoxes boxes_;
    SerialLink link_;
    // Its thread is joined in the destructor's body, before any member goes.
    RunController controller_;
    std::atomic<bool> stopRequested_{false};
    // Posted calls die with it, before the stop signal they look at.
    QObject context_;
    // Brings the run's outcome back to this thread; a child of the context.
    CallMailbox* runEnded_ = new CallMailbox(&context_);
    UiThreadHost host_;
};

}  // namespace vantrel
