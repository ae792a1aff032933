#include "ui/HandsFreeStation.h"

#include "engine/UnitStage.h"

namespace vantrel {
namespace {

const QString kWaiting = QStringLiteral("Waiting for a unit");
// A firmware chunk's two texts: the row shows its percentage instead.
const QString kFirmwareStage = QStringLiteral("FW Load Cmd");

}  // namespace

HandsFreeStation::HandsFreeStation(StationMode& station, const PortMapping& mapping, Rows rows,
                                   QObject& uiContext)
    : station_(station), rows_(std::move(rows)), session_(mapping, Events(), uiContext) {}

HandsFreeStation::~HandsFreeStation() = default;

std::optional<BatchRefusal> HandsFreeStation::Start(const std::vector<int>& ports,
                                                    BatchRequest request) {
    request_ = request;
    ports_.clear();
    passed_ = 0;
    failed_ = 0;
    if (auto refusal = session_.Start(ports, std::move(request))) {
        return refusal;
    }
    station_.ListPorts(ports);
    for (const int port : ports) {
        ports_[port] = PortState{};
        Show(port);
    }
    return std::nullopt;
}

QString HandsFreeStation::Stop() {
    session_.Stop();
    QString text = QStringLiteral("Hands-free ended: %1 of %2 units passed.")
                       .arg(passed_)
                       .arg(passed_ + failed_);
    const std::string reports = station_.TakeReports();
    if (!reports.empty()) {
        text += QStringLiteral("\n\n") + QString::fromStdString(reports);
    }
    return text;
}

bool HandsFreeStation::Flashing() const {
    for (const auto& [port, state] : ports_) {
        if (state.phase == WatchPhase::Flashing) {
            return true;
        }
    }
    return false;
}

WatchSession::Events HandsFreeStation::Events() {
    WatchSession::Events events;
    events.beforeUnit = [this](const PreparedBatch& unit, PortWatcherHooks::Proceed proceed) {
        const int port = unit.units.front().first;
        BatchRequest request = request_;
        request.romPathText = unit.request.romPathText;
        PortState& state = ports_[port];
        state.unit = BeginRunSummary(request, unit.units);
        state.unit.romSha256 = unit.fileSha256;
        state.unit.romFileBytes = unit.fileBytes;
        station_.RecordUnitStart(state.unit, proceed);
    };
    events.unitEnded = [this](const PreparedBatch& unit, const BatchResult& result) {
        PortState& state = ports_[unit.units.front().first];
        TakeResult(state.unit, result);
        state.unit.interrupted = result.outcome == RunOutcome::Stopped;
        station_.EndUnit(state.unit);
        const UnitResult& ended = state.unit.units.front();
        state.passed = ended.complete;
        state.result = QString::fromStdString(ended.status);
        if (!ended.cause.empty()) {
            state.result += QStringLiteral(" (%1)").arg(QString::fromStdString(ended.cause));
        }
        ++(state.passed ? passed_ : failed_);
        if (rows_.talliesChanged) {
            rows_.talliesChanged();
        }
    };
    events.phase = [this](int port, WatchPhase phase, const QString& cause) {
        PortState& state = ports_[port];
        state.phase = phase;
        state.stage.clear();
        state.percent = 0;
        if (phase == WatchPhase::DeviceMissing) {
            state.result = cause;
        }
        Show(port);
    };
    events.status = [this](int port, const QString& text) {
        ports_[port].stage = text;
        Show(port);
    };
    events.progress = [this](int port, int percent) {
        ports_[port].percent = percent;
        if (ports_[port].stage.startsWith(kFirmwareStage)) {
            Show(port);
        }
    };
    events.declined = [this](int port) {
        rows_.show(port, QStringLiteral("Not flashed: the run log cannot take its record"), false,
                   {});
    };
    events.held = [this](int port, const BatchRefusal& refusal) {
        rows_.show(port, QStringLiteral("Not flashed: the ROM file is refused"), false,
                   QString::fromStdString(refusal.message));
    };
    events.trouble = [this](int port, const QString& what) {
        rows_.show(port, what.simplified(), false, what);
    };
    return events;
}

void HandsFreeStation::Show(int port) {
    const PortState& state = ports_[port];
    switch (state.phase) {
        case WatchPhase::Waiting:
            rows_.show(port, kWaiting, std::nullopt, {});
            return;
        case WatchPhase::DeviceMissing:
            rows_.show(port, state.result, std::nullopt, {});
            return;
        case WatchPhase::Flashing:
            // A firmware chunk's failure starts like the firmware's stage: it is shown as it is.
            if (IsFailureText(state.stage.toStdString())) {
                rows_.show(port, state.stage, false, {});
            } else if (state.stage.startsWith(kFirmwareStage)) {
                rows_.show(port, QStringLiteral("Flashing %1 %").arg(state.percent), std::nullopt,
                           {});
            } else {
                rows_.show(port, state.stage, std::nullopt, {});
            }
            return;
        case WatchPhase::Remove:
            // Short enough for the row; what ended the unit is in its tooltip.
            rows_.show(port,
                       (state.passed ? QStringLiteral("Passed") : QStringLiteral("Failed")) +
                           QStringLiteral(" \u2013 remove the unit"),
                       state.passed, state.result);
            return;
    }
}

}  // namespace vantrel
