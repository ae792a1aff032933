#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/LoaderState.h"
#include "engine/PortWatch.h"
#include "engine/StopSignal.h"
#include "serial/PortMapping.h"
#include "serial/RunView.h"
#include "serial/SerialLink.h"
#include "serial/UiThreadHost.h"
#include "session/BatchTypes.h"
#include "session/WatchedRom.h"
#include "threading/CallMailbox.h"

namespace vantrel {

// What a watched port asks of its station and tells it, on the UI thread.
struct PortWatcherHooks {
    // Whether a unit may be flashed, given later on any thread: its record kept, or not.
    using Proceed = std::function<void(bool go)>;

    // The file's version to flash port's next unit with; nothing while it is refused.
    std::function<std::shared_ptr<const WatchedImages>(int port)> images;
    // The unit's flash, prepared: it goes on once proceed(true) is called.
    std::function<void(const PreparedBatch& unit, Proceed proceed)> beforeUnit;
    std::function<void(const PreparedBatch& unit, const BatchResult& result)> unitEnded;
    // The unit was not let go on (its record could not be kept): it is left alone for now.
    std::function<void(int port)> declined;
    // cause: why the device is missing, for WatchPhase::DeviceMissing.
    std::function<void(int port, WatchPhase phase, const QString& cause)> phase;
    std::function<void(int port, const QString& text)> status;
    std::function<void(int port, int percent)> progress;
    std::function<void(int port, const QString& what)> trouble;
};

// One port of a watch: its own state, port and thread, on which the port's watch runs. Lives
// on the UI thread, which owns its port; every call of the watch is carried out there.
class PortWatcher : private WatchStation, private RunView {
  public:
    PortWatcher(int port, const PortMapping& mapping, PortWatcherHooks& hooks, QObject& uiContext);
    // Stops and joins the watch, and closes the port.
    ~PortWatcher() override;
    PortWatcher(const PortWatcher&) = delete;
    PortWatcher& operator=(const PortWatcher&) = delete;

    // Starts the watch's thread; throws std::system_error without one.
    void Start();
    // Any thread: every wait of the watch ends at once, a flash under way stops.
    void RequestStop() { stop_.RequestStop(); }
    // Waits for the thread, then carries out what it left to tell (a stopped flash's end),
    // and closes the port.
    void Finish();
    int Port() const { return port_; }

  private:
    class OnePortBox : public PortBoxes {
      public:
        explicit OnePortBox(int port) : port_(port) {}
        bool IsTicked(int port) const override { return port == port_; }
        void SetTicked(int, bool) override {}  // a watched port stays ticked

      private:
        int port_;
    };

    // WatchStation, on the watch's thread.
    bool OpenPort() override;
    std::optional<RunPlan> UnitArrived() override;
    void UnitEnded(const RunResult& result) override;
    void PhaseChanged(WatchPhase phase) override;
    void Trouble(std::string_view what) override;

    // RunView, on the UI thread: the run's texts and progress go to the station.
    void SetStatusText(int port, const QString& text) override;
    MessageResult ShowMessage(const QString& text, MessageButtons buttons,
                              MessageIcon icon) override;
    void SetProgress(int position) override;
    void StepProgress() override;
    void EnableStart() override {}
    void WriteSetting(const QString&, const QString&, const QString&) override {}

    // UI thread.
    bool OpenOnUiThread();
    struct UnitAnswer;
    void PrepareUnit(const std::shared_ptr<UnitAnswer>& answer);

    int port_;
    const PortMapping& mapping_;
    PortWatcherHooks& hooks_;
    std::unique_ptr<LoaderState> state_;
    OnePortBox box_;
    SerialLink link_;
    StopSignal stop_;
    // The watch's calls to the UI thread; those still queued when it goes never run.
    std::unique_ptr<CallMailbox> mailbox_;
    UiThreadHost host_;
    std::optional<PreparedBatch> unit_;  // the unit being flashed; UI thread
    QString openFailure_;                // UI thread
    int progress_ = 0;                   // UI thread
    std::thread thread_;
};

}  // namespace vantrel
