#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "engine/PortWatch.h"
#include "results/RunSummary.h"
#include "session/WatchSession.h"
#include "ui/StationMode.h"

namespace vantrel {

// The window's hands-free station: the ticked ports watched, each on its own; each row shows
// its port's state (waiting for a unit, flashing with its own percentage, passed, failed,
// remove the unit); every unit tallied and recorded by station mode as a run of one. Nothing
// waits for a click. UI thread.
class HandsFreeStation {
  public:
    struct Rows {
        // passed: the row's colour, nothing for none; detail: more than the text says, for
        // its tooltip.
        std::function<void(int port, const QString& text, std::optional<bool> passed,
                           const QString& detail)>
            show;
        std::function<void()> talliesChanged;
    };

    HandsFreeStation(StationMode& station, const PortMapping& mapping, Rows rows,
                     QObject& uiContext);
    ~HandsFreeStation();
    HandsFreeStation(const HandsFreeStation&) = delete;
    HandsFreeStation& operator=(const HandsFreeStation&) = delete;

    // Refused: nothing watched and no port touched. Throws std::system_error without threads.
    std::optional<BatchRefusal> Start(const std::vector<int>& ports, BatchRequest request);
    // Every port ends at once, units under way recorded as stopped. What the watch did, for
    // the box that follows it.
    QString Stop();
    bool Watching() const { return session_.Watching(); }
    // A unit is being flashed on some port.
    bool Flashing() const;

  private:
    struct PortState {
        WatchPhase phase = WatchPhase::Waiting;
        RunSummary unit;  // the unit under way
        QString stage;    // its last status text
        int percent = 0;  // of its firmware
        QString result;   // the last unit's end, shown until it is gone
        bool passed = false;
    };

    WatchSession::Events Events();
    void Show(int port);

    StationMode& station_;
    Rows rows_;
    std::map<int, PortState> ports_;
    BatchRequest request_;
    int passed_ = 0;
    int failed_ = 0;
    // Goes first: its ports' last words still reach the states above.
    WatchSession session_;
};

}  // namespace vantrel
