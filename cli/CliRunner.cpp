#include "cli/CliRunner.h"

#include <QCryptographicHash>
#include <QFile>
#include <memory>

#include "cli/UnitDisplay.h"
#include "engine/UnitStage.h"
#include "image/DemonImageText.h"
#include "image/RomFile.h"
#include "image/SRecordReader.h"
#include "session/HeadlessSession.h"
#include "settings/SettingsStore.h"

namespace vantrel::cli {
namespace {

std::size_t RomBytes(const std::string& path) {
    RomFile file = OpenRomFileForReading(path);
    const std::int32_t size = file ? SRecordReader::MeasureFile(file.get()) : -1;
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

void DigestRomFile(const std::string& path, RunSummary& summary) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray bytes = file.readAll();
    summary.romSha256 =
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    summary.romFileBytes = bytes.size();
}

}  // namespace

CliRunner::CliRunner(const CliOptions& options, SettingsStore& settings, std::ostream& err,
                     bool liveTerminal)
    : options_(options), settings_(settings), err_(err), liveTerminal_(liveTerminal) {}

void CliRunner::RequestInterrupt() {
    interrupted_.store(true);
    if (HeadlessSession* session = session_.load()) {
        session->RequestStop();
    }
}

int CliRunner::Run() {
    summary_ = RunSummary{};
    summary_.startedAt = std::chrono::system_clock::now();
    summary_.baud = options_.baud;
    summary_.romPath = options_.romPath;
    DigestRomFile(options_.romPath, summary_);
    summary_.baseAddress = options_.baseAddress.value_or(
        settings_
            .ReadString(SettingsStore::kMiscSection, SettingsStore::kFwBaseAddrValue,
                        SettingsStore::kDefaultFwBaseAddr)
            .toStdString());

    auto mapping = std::make_unique<TablePortMapping>();
    const SettingsPortMapping remembered(settings_);
    std::vector<UnitDisplay::Unit> displayUnits;
    for (const PortChoice& choice : options_.ports) {
        const QString device = choice.devicePath.empty()
                                   ? remembered.DevicePath(choice.port)
                                   : QString::fromStdString(choice.devicePath);
        mapping->Set(choice.port, device);
        summary_.units.push_back({choice.port, device.toStdString(), {}, false});
        displayUnits.push_back(
            {choice.port, "COM" + std::to_string(choice.port) + " (" + device.toStdString() + ")"});
    }

    HeadlessSession session(std::move(mapping));
    auto unitsStarted = std::chrono::steady_clock::now();
    UnitDisplay display(err_, liveTerminal_, displayUnits, DemonImageSize(),
                        RomBytes(options_.romPath));
    session.View().SetCallbacks({
        .status =
            [&](int port, const QString& text) {
                summary_.unitMs[port] = std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - unitsStarted)
                                            .count();
                display.Status(port, text.toStdString());
            },
        .message =
            [&](const RecordingView::Message& message) {
                summary_.messages.push_back(message.text.toStdString());
                display.Message(message.text.toStdString());
            },
        .progress = [&](int position) { display.Progress(position); },
        .setting =
            [&](const RecordingView::SettingWrite& write) {
                if (options_.remember) {
                    settings_.WriteString(write.section, write.name, write.value);
                }
            },
    });

    session_.store(&session);
    for (const PortChoice& choice : options_.ports) {
        if (interrupted_.load() || !session.Tick(choice.port)) {
            // A port that cannot be opened: nothing is flashed.
            display.Finish();
            return Finish(session);
        }
    }
    if (!interrupted_.load()) {
        unitsStarted = std::chrono::steady_clock::now();
        RunInputs inputs = HeadlessSession::MakeInputs(options_.romPath, summary_.baseAddress);
        inputs.demonBaud = options_.baud;
        summary_.outcome = session.Run(std::move(inputs));
    }
    display.Finish();
    return Finish(session);
}

int CliRunner::Finish(HeadlessSession& session) {
    session_.store(nullptr);
    summary_.interrupted = interrupted_.load();
    for (UnitResult& unit : summary_.units) {
        unit.status = session.View().Status(unit.port).toStdString();
        const PortSlot& slot = session.State().Port(unit.port);
        unit.complete = summary_.outcome == RunOutcome::Completed && slot.selected.load() &&
                        slot.stage.load() == kFwLoadComplete;
    }
    summary_.finishedAt = std::chrono::system_clock::now();
    return summary_.ExitCode();
}

}  // namespace vantrel::cli
