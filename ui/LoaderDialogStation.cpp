// The window in station mode: its batches, each ended by one summary, its line, and what the
// run log has to say.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <system_error>
#include <utility>
#include <vector>

#include "ui/LoaderApp.h"
#include "ui/LoaderDialog.h"
#include "ui/LoaderDialogParts.h"
#include "ui/StationDialog.h"

namespace vantrel {

void CLoaderDialog::StartStationBatch(BatchRequest request) {
    session_->SetPortFailuresEndUnitsOnly(true);
    std::vector<std::pair<int, std::string>> units;
    for (int port = 1; port <= kPortCount; ++port) {
        SetStatusText(port, QString());
        ShowRowResult(port, std::nullopt);
        if (IsTicked(port)) {
            units.emplace_back(port, mapping_.DevicePath(port).toStdString());
        }
    }
    station_->BeginBatch(request, units);
    // While the log is waited for, the window says so.
    session_->SetBeforeUnits([this, keep = station_->BeforeUnits()](
                                 const PreparedBatch& batch, LoaderSession::Proceed proceed) {
        writingLog_ = true;
        ShowStationLine();
        keep(batch, [this, proceed](bool recorded) {
            writingLog_ = false;
            ShowStationLine();
            proceed(recorded);
        });
    });
    const auto result = session_->Start(std::move(request),
                                        [this](const BatchResult& ended) { OnBatchEnded(ended); });
    if (result == LoaderSession::StartResult::RomNotOpened) {
        ForgetRomPath();
    }
    if (result == LoaderSession::StartResult::Started) {
        batchOpen_ = true;
        LockDuringRun(true);
    }
}

void CLoaderDialog::StartHandsFree(BatchRequest request) {
    std::vector<int> ports;
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsTicked(port)) {
            ports.push_back(port);
        }
    }
    if (request.romPathText.empty()) {
        Message(QStringLiteral("Select the ROM file first."));
        return;
    }
    if (ports.empty()) {
        Message(QStringLiteral("Select COM port(s) first."));
        return;
    }
    HandsFreeStation::Rows rows;
    rows.show = [this](int port, const QString& text, std::optional<bool> passed,
                       const QString& detail) {
        QLineEdit& row = *statusFields_[PortIndex(port)];
        window::ShowStatusText(row, text);
        if (!detail.isEmpty()) {
            row.setToolTip(detail);
        }
        ShowRowResult(port, passed);
    };
    rows.talliesChanged = [this] { ShowStationLine(); };
    handsFree_ = std::make_unique<HandsFreeStation>(*station_, mapping_, std::move(rows), *this);
    // Each port's watch opens its own port: the window's hold on it is let go meanwhile.
    for (const int port : ports) {
        session_->Link().ClosePort(port);
    }
    std::optional<BatchRefusal> refusal;
    try {
        refusal = handsFree_->Start(ports, std::move(request));
    } catch (const std::system_error&) {
        refusal = BatchRefusal{BatchRefusal::Kind::FileNotOpened,
                               "Failed to create system resources.",
                               std::nullopt,
                               {}};
    }
    if (refusal) {
        handsFree_.reset();
        for (const int port : ports) {
            session_->PortBoxClicked(port);
        }
        Message(QString::fromStdString(refusal->message), {BoxButtons::Ok, BoxIcon::Exclamation});
        return;
    }
    LockDuringRun(true);
    startButton_->setText(QStringLiteral("Stop"));
}

void CLoaderDialog::StopHandsFree(bool showSummary) {
    if (!handsFree_) {
        return;
    }
    const QString summary = handsFree_->Stop();
    handsFree_.reset();
    startButton_->setText(QStringLiteral("Start"));
    LockDuringRun(false);
    ShowStationLine();
    if (!showSummary) {
        return;
    }
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsTicked(port)) {
            session_->PortBoxClicked(port);
        }
    }
    Message(summary, {BoxButtons::Ok, BoxIcon::Information});
}

void CLoaderDialog::ShowStationLine() {
    if (station_) {
        const QString line = station_->StatusLine(writingLog_);
        stationLine_->setText(
            stationLine_->fontMetrics().elidedText(line, Qt::ElideRight, stationLine_->width()));
        stationLine_->setToolTip(line);
    }
}

void CLoaderDialog::ApplyStationSettings(const StationSettings& settings) {
    if (!settings.on) {
        station_.reset();
        ShowStationMode();
        return;
    }
    if (station_ && station_->Settings() == settings) {
        return;
    }
    // The tallies go on across a change of log or names.
    StationTally tally = station_ ? station_->Tally() : StationTally{};
    station_.reset();
    // The recorder's thread asks; the window looks on its own thread, between batches.
    station_ = std::make_unique<StationMode>(settings, std::move(tally), [this] {
        QMetaObject::invokeMethod(this, &CLoaderDialog::ShowLogReports, Qt::QueuedConnection);
    });
    ShowStationMode();
}

void CLoaderDialog::ShowLogReports() {
    // During a batch or a watch they wait for its summary; after the window's end nobody reads
    // them.
    if (!station_ || batchOpen_ || Watching() || ended_) {
        return;
    }
    const QString text = QString::fromStdString(station_->TakeReports());
    if (!text.isEmpty()) {
        Message(text, {BoxButtons::Ok, BoxIcon::Exclamation});
    }
}

void CLoaderDialog::TickRememberedPorts() {
    for (const int port : ReadStationPorts(app_.Settings())) {
        if (!IsTicked(port)) {
            // As a click does: the port opens, or says why not and stays unticked.
            SetTicked(port, true);
            session_->PortBoxClicked(port);
        }
    }
}

void CLoaderDialog::OnBatchEnded(const BatchResult& result) {
    if (!batchOpen_ || !station_) {
        return;  // ended already, by Exit
    }
    session_->JoinRun();
    batchOpen_ = false;
    LockDuringRun(false);
    startButton_->setEnabled(true);
    const RunSummary& summary = station_->EndBatch(result);
    for (const UnitResult& unit : summary.units) {
        // A port that could not be opened shows why, as a failed unit does.
        if (unit.status.empty() && !unit.cause.empty()) {
            window::ShowStatusText(*statusFields_[PortIndex(unit.port)],
                                   QString::fromStdString(unit.cause));
        }
        const bool notOpened = unit.status.empty() && !unit.cause.empty();
        ShowRowResult(unit.port,
                      summary.Flashed() || notOpened ? std::optional(unit.complete) : std::nullopt);
    }
    ShowStationLine();
    if (ended_) {
        return;
    }
    const std::pair<QString, BoxType> summaryBox = {
        station_->SummaryText(),
        {BoxButtons::Ok, station_->AllPassed() ? BoxIcon::Information : BoxIcon::Exclamation}};
    if (exitQuestionOpen_) {
        // Its question has no reason left: it goes, and the summary follows it.
        pendingSummary_ = summaryBox;
        app_.CloseOpenBox();
        return;
    }
    Message(summaryBox.first, summaryBox.second);
}

void CLoaderDialog::LockDuringRun(bool locked) {
    // A stray click mid-run would drop a unit half flashed, or change what the next run takes.
    for (QCheckBox* box : portBoxes_) {
        box->setEnabled(!locked);
    }
    romPathField_->setReadOnly(locked);
    browseButton_->setEnabled(!locked);
    settingsButton_->setEnabled(!locked);
}

void CLoaderDialog::OnStation() {
    CStationDialog dialog(
        station_ ? station_->Settings() : ReadStationSettings(app_.Settings()),
        station_ ? &station_->Tally() : nullptr, session_->RunActive() || batchOpen_ || Watching(),
        [this](const QString& question) {
            return Message(question, {BoxButtons::YesNo, BoxIcon::Question, 1}) == BoxResult::Yes;
        },
        this);
    if (runModal_(dialog) != QDialog::Accepted || session_->RunActive() || batchOpen_ ||
        Watching()) {
        return;
    }
    if (dialog.TalliesReset() && station_) {
        station_->ResetTally();
        ShowStationLine();
    }
    const bool wasOn = station_ != nullptr;
    WriteStationSettings(app_.Settings(), dialog.Settings());
    ApplyStationSettings(dialog.Settings());
    if (station_ && !wasOn) {
        RememberTicks();
    }
}

void CLoaderDialog::RememberTicks() {
    std::vector<int> ticked;
    for (int port = 1; port <= kPortCount; ++port) {
        if (IsTicked(port)) {
            ticked.push_back(port);
        }
    }
    WriteStationPorts(app_.Settings(), ticked);
}

}  // namespace vantrel
