#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <vector>

#include "serial/PortMapping.h"
#include "session/BatchTypes.h"
#include "session/PortWatcher.h"
#include "session/WatchedRom.h"

namespace vantrel {

// A hands-free station: every port on its own, each unit flashed the moment it answers, with
// the batch's sequence for a batch of one, and each unit's result told as a batch of one. The
// ROM file is read once and again whenever it changes. Lives on the UI thread.
class WatchSession {
  public:
    struct Events {
        // Before a unit is touched: its flash goes on once proceed(true) is called.
        std::function<void(const PreparedBatch& unit, PortWatcherHooks::Proceed proceed)>
            beforeUnit;
        std::function<void(const PreparedBatch& unit, const BatchResult& result)> unitEnded;
        // beforeUnit let a unit not go on: it is left alone, and asked for again.
        std::function<void(int port)> declined;
        std::function<void(int port, WatchPhase phase, const QString& cause)> phase;
        std::function<void(int port, const QString& text)> status;
        std::function<void(int port, int percent)> progress;
        std::function<void(int port, const QString& what)> trouble;
        // A unit's arrival found a new version of the file, or found it refused.
        std::function<void(const WatchedRom::Look& look)> romChanged;
        // A unit on port is left alone while the file is refused; told at each of its answers.
        std::function<void(int port, const BatchRefusal& refusal)> held;
    };

    WatchSession(const PortMapping& mapping, Events events, QObject& uiContext);
    ~WatchSession();
    WatchSession(const WatchSession&) = delete;
    WatchSession& operator=(const WatchSession&) = delete;

    // Reads and checks the file, and that no two ports lead to one device; refused, nothing
    // starts and no port is touched. Then watches each port given.
    std::optional<BatchRefusal> Start(const std::vector<int>& ports, BatchRequest request);
    // Ends every port's watch at once; a flash under way ends stopped, and its end is told
    // before this returns. Every port is closed.
    void Stop();
    bool Watching() const { return !watchers_.empty(); }
    // The file's version in use; nothing before Start or while it is refused.
    std::shared_ptr<const WatchedImages> Images() const { return images_; }

  private:
    std::shared_ptr<const WatchedImages> ImagesForUnit(int port);

    const PortMapping& mapping_;
    Events events_;
    QObject& uiContext_;
    PortWatcherHooks hooks_;
    std::optional<WatchedRom> rom_;
    std::shared_ptr<const WatchedImages> images_;
    std::vector<std::unique_ptr<PortWatcher>> watchers_;
};

}  // namespace vantrel
