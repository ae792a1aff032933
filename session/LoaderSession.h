#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "engine/DownloadWorker.h"
#include "engine/LoaderState.h"
#include "engine/RunController.h"
#include "image/RomFile.h"
#include "serial/PortMapping.h"
#include "serial/RunView.h"
#include "serial/SerialLink.h"
#include "serial/UiThreadHost.h"
#include "threading/CallMailbox.h"

namespace vantrel {

// What the window and the command line share: the loader's state and ports, Start's checks in
// their order with their messages, the run on its own thread, stopping and joining it, and the
// tick boxes' clicks. Its user only shows things (the view) and holds the boxes. Lives on the
// UI thread, as every port does; RequestStop alone may come from another thread.
class LoaderSession {
  public:
    enum class StartResult {
        Started,
        SameDevice,
        PortFailed,
        NoRomPath,
        RomNotOpened,
        NoPorts,
        NoThread
    };
    // Called on the UI thread when a started run has ended.
    using EndHandler = std::function<void(RunOutcome)>;
    // What Start calls last to set the run going; throws std::system_error without a thread.
    using Launcher = std::function<void(RunInputs)>;

    // uiContext: a QObject of the UI thread; the run's calls are carried out through it.
    LoaderSession(const PortMapping& mapping, RunView& view, PortBoxes& boxes, QObject& uiContext);
    // Stops a run still going and closes the selected ports.
    ~LoaderSession();
    LoaderSession(const LoaderSession&) = delete;
    LoaderSession& operator=(const LoaderSession&) = delete;

    // Start: refuses two ticked ports that lead to one device before anything is opened, opens
    // every ticked port, checks that a ROM file is named and opens it afresh (so the run flashes
    // the file as it is now), checks that a port is ticked, then starts the run on the given
    // inputs (their ROM file is the one opened here). Each refusal is shown.
    StartResult Start(RunInputs inputs, EndHandler onEnded = {});
    // Starts the run Start has checked on its own thread; what Start does unless a launcher is
    // set. Tests set one to catch the inputs instead.
    void Launch(RunInputs inputs);
    void SetLauncher(Launcher launcher) { launcher_ = std::move(launcher); }
    // Opens the named file as the ROM file, closing the one open before; a folder is never a ROM
    // file. Shows why on failure.
    bool OpenRomFile(const QString& path);
    bool RomFileOpen() const { return romFile_ != nullptr; }
    // A click on port N's box, ticked or unticked. Failures are shown.
    void PortBoxClicked(int port);

    // Asks a run to stop: from now on no stage is set and no acknowledgement counted. Any
    // thread (not from a signal handler); a request made after Start was called still holds
    // for the run it starts.
    void RequestStop();
    // Exit's sequence: stop request, in-progress cleared, run joined, selected ports closed,
    // ROM file closed. Its pauses and waits end at once, so this returns promptly.
    void StopAndJoin();
    // Waits for the thread of a run that has ended; harmless without one.
    void JoinRun() { controller_.Join(); }
    bool RunActive() const { return controller_.Running(); }

    LoaderState& State() { return *state_; }
    SerialLink& Link() { return link_; }

  private:
    // Shows and returns true when two ticked ports lead to one device.
    bool RefuseSharedDevice();
    void ShowWarning(const QString& text);
    void ShowSerialError(const SerialError& error);
    void CloseSelectedPorts();

    const PortMapping& mapping_;
    PortBoxes& boxes_;
    RunView& view_;
    std::unique_ptr<LoaderState> state_;
    SerialLink link_;
    RomFile romFile_;
    // Its thread is joined in the destructor's body, before any member goes.
    RunController controller_;
    std::atomic<bool> stopPending_{false};
    Launcher launcher_;
    RunController::EndHandler endHandler_;
    // Brings the run's end back to the UI thread; a child of the context.
    CallMailbox* runEnded_;
    UiThreadHost host_;
};

}  // namespace vantrel
