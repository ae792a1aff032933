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
#include "session/FilePlan.h"
#include "session/HeadlessSession.h"
#include "settings/PortLabel.h"
#include "settings/SettingsStore.h"

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

std::string InvalidBaseLine(const std::string& baseAddressText) {
    return "base address " + baseAddressText +
           " is invalid: give --base with 1 to 8 hexadecimal digits, not all zero";
}

std::string NotOpenedLine(const std::string& path, const std::string& cause) {
    return path + ": cannot be opened: " + cause;
}

}  // namespace

std::optional<std::string> RefusalLine(const BatchRefusal& refusal, const std::string& path,
                                       const std::string& baseAddressText) {
    switch (refusal.kind) {
        case BatchRefusal::Kind::FileNotOpened:
            return NotOpenedLine(path, refusal.cause);
        case BatchRefusal::Kind::BaseAddress:
            return InvalidBaseLine(baseAddressText);
        case BatchRefusal::Kind::Firmware:
            return RomRefusalLine(*refusal.firmware, path,
                                  SRecordReader::ParseBaseAddress(baseAddressText));
        case BatchRefusal::Kind::Demon:
        case BatchRefusal::Kind::SameDevice:
            return refusal.message;
        case BatchRefusal::Kind::PortNotOpened:
        case BatchRefusal::Kind::NotRecorded:
            return std::nullopt;  // told as it happened
    }
    return refusal.message;
}

std::variant<CheckedFirmware, CliFailure> CheckFirmwareFile(const std::string& path,
                                                            const std::string& baseAddressText,
                                                            std::span<std::uint8_t> buffer) {
    const std::uint32_t base = SRecordReader::ParseBaseAddress(baseAddressText);
    if (base == 0) {
        return CliFailure{InvalidBaseLine(baseAddressText)};
    }
    const RomFile file = OpenRomFileForReading(path);
    if (!file) {
        return CliFailure{NotOpenedLine(path, std::strerror(errno))};
    }
    FirmwareContent content = ReadFirmwareContent(file.get());
    if (const auto* refusal = std::get_if<FirmwareRefusal>(&content)) {
        return CliFailure{RomRefusalLine(*refusal, path, base)};
    }
    CheckedFirmware checked;
    checked.content = std::move(std::get<std::vector<std::uint8_t>>(content));
    checked.fileSha256 = Sha256Hex(checked.content);
    const FirmwareLoad load = LoadFirmware(checked.content, base, buffer);
    if (const auto* refusal = std::get_if<FirmwareRefusal>(&load)) {
        return CliFailure{RomRefusalLine(*refusal, path, base)};
    }
    checked.layout = std::get<FirmwareLayout>(load);
    return checked;
}

CliRunner::CliRunner(const CliOptions& options, SettingsStore& settings, std::ostream& err,
                     bool liveTerminal)
    : options_(options), settings_(settings), err_(err), liveTerminal_(liveTerminal) {}

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
    summary_ = RunSummary{};
    summary_.romPath = options_.romPath;
    summary_.baseAddress = options_.baseAddress.value_or(settings_.FwBaseAddress().toStdString());
    summary_.baud = options_.baud;
    summary_.startedAt = std::chrono::system_clock::now();
    std::vector<UnitDisplay::Unit> displayUnits;
    auto mapping = MapUnits(displayUnits);
    if (const auto shared = SharedDeviceRefusal(options_.ports, *mapping)) {
        return Refuse(*shared);
    }
    HeadlessSession session(std::move(mapping));
    session.SetRefusalsShown(false);  // told below in the command line's own words
    for (const PortChoice& choice : options_.ports) {
        session.Name(choice.port);
    }
    std::optional<UnitDisplay> display;
    ShowSession(session, display);
    // The file is read once and found fit before any port is opened; the run is on record
    // before any unit is touched, or it does not happen.
    session.SetBeforeUnits([&](const PreparedBatch& batch, LoaderSession::Proceed proceed) {
        summary_ = BeginRunSummary(batch.request, batch.units);
        summary_.romSha256 = batch.fileSha256;
        summary_.romFileBytes = batch.fileBytes;
        display.emplace(err_, liveTerminal_, displayUnits, batch.plan.demonSize,
                        batch.plan.romSize);
        proceed(!interrupted_.load() && (!beforeUnits_ || beforeUnits_(summary_)));
    });
    session_.store(&session);
    BatchRequest request = HeadlessSession::Request(options_.romPath, summary_.baseAddress);
    request.demonBaud = options_.baud;
    if (!interrupted_.load()) {
        session.RunBatch(std::move(request));
    }
    session_.store(nullptr);
    if (display) {
        display->Finish();
    }
    TakeResult(summary_, session.Result());
    if (const auto& refusal = session.Result().refusal) {
        if (const auto line = RefusalLine(*refusal, options_.romPath, summary_.baseAddress)) {
            return Refuse(*line);
        }
    }
    return EndSummary();
}

std::unique_ptr<TablePortMapping> MapNamedPorts(const std::vector<PortChoice>& ports,
                                                SettingsStore& settings) {
    auto mapping = std::make_unique<TablePortMapping>();
    const SettingsPortMapping remembered(settings);
    for (const PortChoice& choice : ports) {
        mapping->Set(choice.port, choice.devicePath.empty()
                                      ? remembered.DevicePath(choice.port)
                                      : QString::fromStdString(choice.devicePath));
    }
    return mapping;
}

std::unique_ptr<TablePortMapping> CliRunner::MapUnits(std::vector<UnitDisplay::Unit>& display) {
    auto mapping = MapNamedPorts(options_.ports, settings_);
    for (const PortChoice& choice : options_.ports) {
        const QString device = mapping->DevicePath(choice.port);
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

void CliRunner::ShowSession(HeadlessSession& session, std::optional<UnitDisplay>& display) {
    session.View().KeepLatestOnly();
    session.View().SetCallbacks({
        .status =
            [this, &display](int port, const QString& text) {
                if (display) {
                    display->Status(port, text.toStdString());
                }
                StopIfNobodyReads();
            },
        .message =
            [this, &display](const RecordingView::Message& message) {
                summary_.messages.push_back(message.text.toStdString());
                if (display) {
                    display->Message(message.text.toStdString());
                } else {
                    err_ << message.text.toStdString() << '\n';
                }
            },
        .progress =
            [&display](int position) {
                if (display) {
                    display->Progress(position);
                }
            },
        .setting =
            [this](const RecordingView::SettingWrite& write) {
                if (options_.remember) {
                    settings_.WriteString(write.section, write.name, write.value);
                }
            },
    });
}

}  // namespace vantrel::cli
