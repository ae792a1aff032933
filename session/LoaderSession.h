#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "engine/LoaderState.h"
#include "engine/RunController.h"
#include "image/RomFile.h"
#include "serial/PortMapping.h"
#include "serial/RunView.h"
#include "serial/SerialLink.h"
#include "serial/UiThreadHost.h"
#include "session/BatchTypes.h"
#include "threading/CallMailbox.h"

namespace vantrel {

// What the window and the command line share: the loader's state and ports, the checks of a
// batch in their order with their messages, the run on its own thread, stopping and joining it,
// and the tick boxes' clicks. Its user only shows things (the view) and holds the boxes. Lives
// on the UI thread, as every port does; RequestStop alone may come from another thread.
//
// A batch takes one road, for both: the ROM file is read once, checked and hashed, its images
// put in the buffers; its ports are open; the settings are remembered; the before-units hook
// keeps its record; then the run sends exactly those bytes and returns each unit's result.
class LoaderSession {
  public:
    enum class StartResult {
        Started,  // the batch is under way: its end handler will be called
        SameDevice,
        PortFailed,
        NoRomPath,
        RomNotOpened,
        NoPorts,
        NoThread
    };
    // Called on the UI thread once a batch that started has ended, refused or not.
    using EndHandler = std::function<void(const BatchResult&)>;
    // Called with whether the prepared batch may touch its units: at once, or later on the UI
    // thread.
    using Proceed = std::function<void(bool go)>;
    using BeforeUnits = std::function<void(const PreparedBatch& batch, Proceed proceed)>;
    // What sets the run going; throws std::system_error without a thread. Tests set one to
    // catch the plan instead.
    using Launcher = std::function<void(const RunPlan& plan)>;

    // uiContext: a QObject of the UI thread; the run's calls are carried out through it.
    LoaderSession(const PortMapping& mapping, RunView& view, PortBoxes& boxes, QObject& uiContext);
    // Stops a run still going and closes the selected ports.
    ~LoaderSession();
    LoaderSession(const LoaderSession&) = delete;
    LoaderSession& operator=(const LoaderSession&) = delete;

    // The window's Start: refuses two ticked ports that lead to one device, opens every ticked
    // port, checks that a ROM file is named and opens it afresh, checks that a port is ticked,
    // each refusal shown; then the batch.
    StartResult Start(BatchRequest request, EndHandler onEnded = {});
    // The command line's: the ROM file is found fit before any port is opened; then its ticked
    // ports are opened, as clicks open them, and the batch goes on as the window's.
    StartResult StartBatch(BatchRequest request, EndHandler onEnded = {});

    void SetBeforeUnits(BeforeUnits hook) { beforeUnits_ = std::move(hook); }
    // Station mode: a ticked port that cannot be opened at Start does not stop the batch; its
    // unit ends failed, with the port's failure as its cause.
    void SetPortFailuresEndUnitsOnly(bool on) { portFailuresEndUnitsOnly_ = on; }
    // Whether a refused file or base address is shown as the window's box; the command line
    // words the refusal in its result itself.
    void SetRefusalsShown(bool shown) { refusalsShown_ = shown; }
    void SetLauncher(Launcher launcher) { launcher_ = std::move(launcher); }
    // Starts the run of a prepared plan on its own thread; what a batch does unless a launcher
    // is set.
    void Launch(const RunPlan& plan);

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
    // ROM file closed, a batch waiting for its record given up. Returns promptly, with how the
    // batch under way ended; its end handler is not called.
    BatchResult StopAndJoin();
    // Waits for the thread of a run that has ended; harmless without one.
    void JoinRun() { controller_.Join(); }
    bool RunActive() const { return controller_.Running(); }
    // A prepared batch waits for the before-units hook's answer.
    bool AwaitingRecord() const { return awaiting_; }

    LoaderState& State() { return *state_; }
    SerialLink& Link() { return link_; }

  private:
    // The one road of a batch once its front end's checks are done.
    StartResult Prepare(BatchRequest request, EndHandler onEnded);
    void GoOn(std::uint64_t batch, bool go);
    // Ends a batch that touched no unit: the refusal shown as asked, Start enabled, the end
    // handler called after the caller has returned.
    void EndUntouched(std::optional<RunOutcome> outcome, std::optional<BatchRefusal> refusal);
    BatchResult ResultOf(const RunResult& run);
    // Shows and returns true when two ticked ports lead to one device.
    bool RefuseSharedDevice();
    void ShowWarning(const QString& text);
    void ShowSerialError(const SerialError& error);
    void ShowPortFailure(const PortFailure& failure);
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
    BeforeUnits beforeUnits_;
    bool portFailuresEndUnitsOnly_ = false;
    bool refusalsShown_ = true;

    // The batch under way.
    std::uint64_t batch_ = 0;  // counts batches, so an answer for one given up is dropped
    std::uint64_t launched_ = ~std::uint64_t{0};  // the last batch whose run was started
    bool awaiting_ = false;
    bool launchFailed_ = false;
    bool preparing_ = false;  // in Prepare: an answer given now is Start's own
    EndHandler onEnded_;
    std::optional<PreparedBatch> prepared_;
    std::vector<PortFailure> portFailures_;

    // Brings the run's end back to the UI thread; a child of the context.
    CallMailbox* runEnded_;
    UiThreadHost host_;
};

}  // namespace vantrel
