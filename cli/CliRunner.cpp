#include "cli/CliRunner.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/UnitDisplay.h"
#include "image/DemonImageText.h"
#include "image/FirmwareMessages.h"
#include "image/RomFile.h"
#include "image/SRecordReader.h"
#include "serial/DeviceIdentity.h"
#include "session/HeadlessSession.h"
#include "settings/PortLabel.h"
#include "settings/SettingsStore.h"
#include "station/SessionResults.h"

namespace vantrel::cli {
namespace {

// Two units named on one device would each take the other's answers: refused before any port
// is touched, naming both as typed.
std::optional<std::string> SharedDeviceRefusal(const std::vector<PortChoice>& ports,
                                               const PortMapping& mapping) {
    std::vector<QString> devices;
    for (const PortChoice& choice : ports) {
        devices.push_back(mapping.DevicePath(choice.port));
    }
    const auto shared = FindSharedDevice(devices);
    if (!shared) {
        return std::nullopt;
    }
    return (SharedDeviceText(QString::fromStdString(ports[shared->first].argument),
                             QString::fromStdString(ports[shared->second].argument),
                             shared->device) +
            QStringLiteral(": name each unit once"))
        .toStdString();
}

}  // namespace

std::optional<std::string> CheckFirmwareFile(const std::string& path,
                                             const std::string& baseAddressText,
                                             std::span<std::uint8_t> buffer,
                                             CheckedFirmware& checked) {
    const std::uint32_t base = SRecordReader::ParseBaseAddress(baseAddressText);
    if (base == 0) {
        return "base address " + baseAddressText +
               " is invalid: give --base with 1 to 8 "
               "hexadecimal digits, not all zero";
    }
    const RomFile file = OpenRomFileForReading(path);
    if (!file) {
        return path + ": cannot be opened: " + std::strerror(errno);
    }
    FirmwareContent content = ReadFirmwareContent(file.get());
    if (const auto* refusal = std::get_if<FirmwareRefusal>(&content)) {
        return RomRefusalLine(*refusal, path, base);
    }
    checked.content = std::move(std::get<std::vector<std::uint8_t>>(content));
    checked.fileSha256 = Sha256Hex(checked.content);
    const FirmwareLoad load = LoadFirmware(checked.content, base, buffer);
    if (const auto* refusal = std::get_if<FirmwareRefusal>(&load)) {
        return RomRefusalLine(*refusal, path, base);
    }
    checked.layout = std::get<FirmwareLayout>(load);
    return std::nullopt;
}

CliRunner::CliRunner(const CliOptions& options, SettingsStore& settings, std::ostream& err,
                     bool liveTerminal)
    : options_(options),
      settings_(settings),
      err_(err),
      liveTerminal_(liveTerminal),
      romImage_(std::make_unique<RomImage>()) {}

void CliRunner::StopIfNobodyReads() {
    if (err_.fail()) {
        RequestInterrupt();
    }
}

void CliRunner::RequestInterrupt() {
    interrupted_.store(true);
    if (HeadlessSession* session = session_.load()) {
        session->RequestStop();
    }
}

int CliRunner::Run() {
    StartSummary();
    // The file is read once, and checked before any port is touched: a file that would not
    // flash exactly never costs a unit its firmware.
    CheckedFirmware firmware;
    const auto fileRefusal = ReadFirmware(firmware);
    std::vector<UnitDisplay::Unit> displayUnits;
    auto mapping = MapUnits(displayUnits);
    if (fileRefusal) {
        summary_.outcome = RunOutcome::ImageError;
        return Refuse(*fileRefusal);
    }
    if (const auto shared = SharedDeviceRefusal(options_.ports, *mapping)) {
        return Refuse(*shared);
    }
    // The run is on record before any port is touched, or it does not happen.
    if (beforeUnits_ && !beforeUnits_(summary_)) {
        return EndSummary();
    }
    HeadlessSession session(std::move(mapping));
    UnitDisplay display(err_, liveTerminal_, displayUnits, DemonImageSize(), firmware.layout.size);
    ShowSession(session, display);
    session_.store(&session);
    if (OpenPorts(session) && !interrupted_.load()) {
        Flash(session, std::move(firmware.content));
    }
    display.Finish();
    return Finish(session);
}

void CliRunner::StartSummary() {
    summary_ = BeginRunSummary(
        options_.romPath, options_.baseAddress.value_or(settings_.FwBaseAddress().toStdString()),
        options_.baud, {});
}

std::optional<std::string> CliRunner::ReadFirmware(CheckedFirmware& firmware) {
    auto refusal = CheckFirmwareFile(options_.romPath, summary_.baseAddress, *romImage_, firmware);
    if (!firmware.content.empty()) {
        summary_.romSha256 = firmware.fileSha256;
        summary_.romFileBytes = static_cast<std::int64_t>(firmware.content.size());
    }
    return refusal;
}

std::unique_ptr<TablePortMapping> CliRunner::MapUnits(std::vector<UnitDisplay::Unit>& display) {
    auto mapping = std::make_unique<TablePortMapping>();
    const SettingsPortMapping remembered(settings_);
    for (const PortChoice& choice : options_.ports) {
        const QString device = choice.devicePath.empty()
                                   ? remembered.DevicePath(choice.port)
                                   : QString::fromStdString(choice.devicePath);
        mapping->Set(choice.port, device);
        summary_.units.push_back({choice.port, device.toStdString(), {}, false});
        display.push_back(
            {choice.port, PortLabel(choice.port) + " (" + device.toStdString() + ")"});
    }
    return mapping;
}

int CliRunner::Refuse(const std::string& reason) {
    summary_.messages.push_back(reason);
    err_ << reason << '\n';
    return EndSummary();
}

int CliRunner::EndSummary() {
    summary_.finishedAt = std::chrono::system_clock::now();
    summary_.interrupted = interrupted_.load();
    return summary_.ExitCode();
}

void CliRunner::ShowSession(HeadlessSession& session, UnitDisplay& display) {
    unitsStarted_ = std::chrono::steady_clock::now();
    session.View().KeepLatestOnly();
    session.View().SetCallbacks({
        .status =
            [this, &display](int port, const QString& text) {
                summary_.unitMs[port] = std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - unitsStarted_)
                                            .count();
                display.Status(port, text.toStdString());
                StopIfNobodyReads();
            },
        .message =
            [this, &display](const RecordingView::Message& message) {
                summary_.messages.push_back(message.text.toStdString());
                display.Message(message.text.toStdString());
            },
        .progress = [&display](int position) { display.Progress(position); },
        .setting =
            [this](const RecordingView::SettingWrite& write) {
                if (options_.remember) {
                    settings_.WriteString(write.section, write.name, write.value);
                }
            },
    });
}

bool CliRunner::OpenPorts(HeadlessSession& session) {
    for (const PortChoice& choice : options_.ports) {
        // A port that cannot be opened: nothing is flashed.
        if (interrupted_.load() || !session.Tick(choice.port)) {
            return false;
        }
    }
    return true;
}

void CliRunner::Flash(HeadlessSession& session, std::vector<std::uint8_t> romContent) {
    unitsStarted_ = std::chrono::steady_clock::now();
    RunInputs inputs = HeadlessSession::MakeInputs(options_.romPath, summary_.baseAddress);
    inputs.demonBaud = options_.baud;
    inputs.romContent = std::move(romContent);
    summary_.outcome = session.Run(std::move(inputs));
}

int CliRunner::Finish(HeadlessSession& session) {
    session_.store(nullptr);
    summary_.interrupted = interrupted_.load();
    TakeUnitResults(summary_, session.State(), session.Link(),
                    [&session](int port) { return session.View().Status(port); });
    return EndSummary();
}

}  // namespace vantrel::cli
