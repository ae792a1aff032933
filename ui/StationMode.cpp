#include "ui/StationMode.h"

#include <QStringList>
#include <algorithm>

#include "runlog/LogTarget.h"
#include "settings/PortLabel.h"
#include "settings/SettingsStore.h"

namespace vantrel {
namespace {

QString Read(const SettingsStore& settings, const char* name) {
    return settings.ReadString(SettingsStore::kStationSection, name, QString());
}

void Write(SettingsStore& settings, const char* name, const QString& value) {
    settings.WriteString(SettingsStore::kStationSection, name, value);
}

std::optional<std::string> Given(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? std::nullopt : std::optional(trimmed.toStdString());
}

}  // namespace

StationSettings ReadStationSettings(const SettingsStore& settings) {
    return {Read(settings, SettingsStore::kStationModeValue) == QStringLiteral("1"),
            Read(settings, SettingsStore::kStationLogValue),
            Read(settings, SettingsStore::kStationNameValue),
            Read(settings, SettingsStore::kStationOperatorValue),
            Read(settings, SettingsStore::kStationHandsFreeValue) == QStringLiteral("1")};
}

void WriteStationSettings(SettingsStore& settings, const StationSettings& station) {
    Write(settings, SettingsStore::kStationModeValue,
          station.on ? QStringLiteral("1") : QStringLiteral("0"));
    Write(settings, SettingsStore::kStationLogValue, station.logTarget);
    Write(settings, SettingsStore::kStationNameValue, station.station);
    Write(settings, SettingsStore::kStationOperatorValue, station.operatorName);
    Write(settings, SettingsStore::kStationHandsFreeValue,
          station.handsFree ? QStringLiteral("1") : QStringLiteral("0"));
}

std::vector<int> ReadStationPorts(const SettingsStore& settings) {
    std::vector<int> ports;
    for (const QString& item :
         Read(settings, SettingsStore::kStationPortsValue).split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int port = item.trimmed().toInt(&ok);
        // A value edited by hand may name anything: only real ports, each once.
        if (ok && port >= 1 && port <= kPortCount &&
            std::find(ports.begin(), ports.end(), port) == ports.end()) {
            ports.push_back(port);
        }
    }
    return ports;
}

void WriteStationPorts(SettingsStore& settings, const std::vector<int>& ports) {
    QStringList items;
    for (const int port : ports) {
        items.push_back(QString::number(port));
    }
    Write(settings, SettingsStore::kStationPortsValue, items.join(','));
}

StationMode::StationMode(const StationSettings& settings, StationTally tally,
                         std::function<void()> reported)
    : settings_(settings),
      names_(DefaultStationNames(Given(settings_.station), Given(settings_.operatorName))),
      tally_(std::move(tally)) {
    if (!settings_.logTarget.trimmed().isEmpty()) {
        recorder_ = std::make_unique<BackgroundRecorder>(
            settings_.logTarget.trimmed().toStdString(), names_, std::move(reported));
    }
}

QString StationMode::StatusLine(bool writingLog) const {
    const std::string log =
        settings_.logTarget.trimmed().isEmpty()
            ? "no run log"
            : "log " + ShownLogTarget(settings_.logTarget.trimmed().toStdString());
    // The log's address goes last: a long one is cut short, never the tallies.
    return QString::fromStdString("Station mode \u00b7 station " + names_.station +
                                  " \u00b7 operator " + names_.operatorName + " \u00b7 " +
                                  (writingLog ? "Writing the run log\u2026" : tally_.Counts()) +
                                  " \u00b7 " + log);
}

StationMode::~StationMode() = default;

void StationMode::BeginBatch(const BatchRequest& request,
                             const std::vector<std::pair<int, std::string>>& units) {
    summary_ = BeginRunSummary(request, units);
    messages_.clear();
}

LoaderSession::BeforeUnits StationMode::BeforeUnits() {
    return [this](const PreparedBatch& batch, LoaderSession::Proceed proceed) {
        summary_.romSha256 = batch.fileSha256;
        summary_.romFileBytes = batch.fileBytes;
        if (!recorder_) {
            proceed(true);
            return;
        }
        recorder_->RecordStart(summary_, [this, proceed](bool recorded) {
            QMetaObject::invokeMethod(
                &context_, [proceed, recorded] { proceed(recorded); }, Qt::QueuedConnection);
        });
    };
}

void StationMode::RecordUnitStart(const RunSummary& unit,
                                  std::function<void(bool recorded)> answered) {
    if (!recorder_) {
        answered(true);
        return;
    }
    recorder_->RecordStart(unit, std::move(answered));
}

void StationMode::EndUnit(const RunSummary& unit) {
    tally_.Add(unit);
    if (recorder_) {
        recorder_->RecordEnd(unit);
    }
}

void StationMode::KeepMessage(const QString& text) {
    messages_.push_back(text.toStdString());
}

const RunSummary& StationMode::EndBatch(const BatchResult& result) {
    TakeResult(summary_, result);
    summary_.messages = messages_;
    tally_.Add(summary_);
    // A batch the log refused to start has nowhere to record its end either.
    refusedByLog_ = result.refusal && result.refusal->kind == BatchRefusal::Kind::NotRecorded;
    if (recorder_ && !refusedByLog_) {
        recorder_->RecordEnd(summary_);
    }
    return summary_;
}

std::string StationMode::TakeReports() {
    return recorder_ ? LogReportText(recorder_->TakeReports()) : std::string();
}

void StationMode::GiveUpBatchStarts() {
    if (recorder_) {
        recorder_->GiveUpStarts();
    }
}

bool StationMode::AllPassed() const {
    return summary_.ExitCode() == kExitAllComplete;
}

QString StationMode::SummaryText() {
    std::string text;
    if (summary_.Flashed()) {
        std::vector<int> passed;
        for (const UnitResult& unit : summary_.units) {
            if (unit.complete) {
                passed.push_back(unit.port);
            }
        }
        text = std::to_string(passed.size()) + " of " + std::to_string(summary_.units.size()) +
               " units passed.\n";
        text += passed.empty() ? "" : "\nPassed: " + PortRanges(passed) + "\n";
        const std::vector<std::string> failed = FailureLines(summary_);
        text += failed.empty() ? "" : "\nFailed:\n";
        for (const std::string& line : failed) {
            text += line + "\n";
        }
    } else if (refusedByLog_) {
        text =
            "Nothing flashed: the batch could not be put on record before its units were "
            "touched.\n";
    } else {
        text = "Nothing flashed.\n";
    }
    const bool unitsReached =
        summary_.outcome == RunOutcome::Completed || summary_.outcome == RunOutcome::AllUnitsFailed;
    if (!unitsReached) {
        // The units' failures are in their rows; what ended the batch otherwise is told here.
        for (const std::string& message : summary_.messages) {
            text += "\n" + message + "\n";
        }
    }
    if (const std::string reports = TakeReports(); !reports.empty()) {
        text += "\n" + reports + "\n";
    }
    return QString::fromStdString(text).trimmed();
}

}  // namespace vantrel
