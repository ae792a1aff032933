#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <QObject>

#include "recording/BackgroundRecorder.h"
#include "results/RunSummary.h"
#include "results/StationTally.h"
#include "session/LoaderSession.h"

namespace vantrel {

class SettingsStore;

// Station mode as the user set it: its run log (an SQLite file or a postgresql:// address;
// empty: none) and the names its records carry (empty: the host's and the login's).
struct StationSettings {
    bool on = false;
    QString logTarget;
    QString station;
    QString operatorName;
    bool handsFree = false;  // Start watches the ports instead of flashing one batch

    friend bool operator==(const StationSettings&, const StationSettings&) = default;
};

StationSettings ReadStationSettings(const SettingsStore& settings);
void WriteStationSettings(SettingsStore& settings, const StationSettings& station);
// The ports ticked at the last click in station mode, ticked again at the next start.
std::vector<int> ReadStationPorts(const SettingsStore& settings);
void WriteStationPorts(SettingsStore& settings, const std::vector<int>& ports);

// A window's batches in station mode: a failed unit is kept for the batch's one summary instead
// of stopping it, every batch is tallied and, with a log, recorded as the command line records
// its runs. It only keeps and tells; the window shows. UI thread, but for BeforeUnits' hook.
class StationMode {
  public:
    // reported: called on another thread when the log has something to say (TakeReports).
    explicit StationMode(const StationSettings& settings, StationTally tally = {},
                         std::function<void()> reported = {});
    ~StationMode();

    // A batch begins on these units (port, device).
    void BeginBatch(const BatchRequest& request,
                    const std::vector<std::pair<int, std::string>>& units);
    // The session's hook: puts the prepared batch on record before any unit is touched, on the
    // log's thread, and answers on this one; no when it can be recorded nowhere.
    LoaderSession::BeforeUnits BeforeUnits();
    // A message of the run: kept for the summary; the batch goes on.
    void KeepMessage(const QString& text);
    // The batch ended: its result taken in, tallied and recorded without waiting.
    const RunSummary& EndBatch(const BatchResult& result);
    // The one summary of the batch that ended: each unit passed or failed with its cause, the
    // run's own messages when it did not reach the units' end, and what the log had to say.
    QString SummaryText();
    // What the log had to say since it was last asked, as LogReportText: runs a killed window
    // never finished, records that wait for the log.
    std::string TakeReports();
    // Hands-free: each unit a run of one, recorded as a batch is. answered(false) when it can
    // be recorded nowhere and must not be flashed; called on any thread.
    void RecordUnitStart(const RunSummary& unit, std::function<void(bool recorded)> answered);
    // Its end: tallied, and recorded without waiting.
    void EndUnit(const RunSummary& unit);

    // Whether every unit of the batch that ended passed.
    bool AllPassed() const;
    // The window is going: a batch waiting for its record does not start.
    void GiveUpBatchStarts();

    // The window's line for station mode: "Station mode · station line1-st3 · operator ann ·
    // log station.db · 3 runs, 24 units, 95.8 % yield", the log never with its password;
    // while a batch waits for its record, "Writing the run log…" in place of the counts.
    QString StatusLine(bool writingLog) const;

    const StationTally& Tally() const { return tally_; }
    // Watched ports show in the tallies before their first unit.
    void ListPorts(const std::vector<int>& ports) { tally_.List(ports); }
    void ResetTally() { tally_ = {}; }
    const StationSettings& Settings() const { return settings_; }

  private:
    StationSettings settings_;
    StationNames names_;
    StationTally tally_;
    // Lives on the UI thread: the log's answers are brought back through it. It goes after
    // the recorder, whose thread may still answer while it ends.
    QObject context_;
    std::unique_ptr<BackgroundRecorder> recorder_;
    RunSummary summary_;
    bool refusedByLog_ = false;  // the batch that ended could be recorded nowhere
    std::vector<std::string> messages_;
};

}  // namespace vantrel
