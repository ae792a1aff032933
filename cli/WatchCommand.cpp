#include "cli/WatchCommand.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <system_error>

#include "cli/CliRunner.h"
#include "cli/ExitCodes.h"
#include "recording/RunRecordMaker.h"
#include "runlog/IsoTime.h"
#include "settings/PortLabel.h"
#include "settings/SettingsStore.h"

namespace vantrel::cli {
namespace {

std::string Seconds(const UnitResult& unit) {
    return unit.durationMs ? OneDecimal(static_cast<double>(*unit.durationMs) / 1000.0) + " s"
                           : std::string("-");
}

}  // namespace

WatchCommand::WatchCommand(const CliOptions& options, SettingsStore& settings, std::ostream& out,
                           std::ostream& err)
    : options_(options), settings_(settings), out_(out), err_(err) {}

WatchCommand::~WatchCommand() = default;

void WatchCommand::RequestStop() {
    stop_.store(true);
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            if (loop_ != nullptr) {
                loop_->quit();
            }
        },
        Qt::QueuedConnection);
}

int WatchCommand::Run() {
    romPath_ = !options_.romPath.empty() ? options_.romPath
                                         : settings_
                                               .ReadString(SettingsStore::kRomFileSection,
                                                           SettingsStore::kNameAndPathValue, {})
                                               .toStdString();
    baseAddress_ = options_.baseAddress.value_or(settings_.FwBaseAddress().toStdString());
    if (romPath_.empty()) {
        Tell("no ROM file: give --rom FILE (none is remembered)");
        return kExitNothingFlashed;
    }
    const auto mapping = MapNamedPorts(options_.ports, settings_);
    std::vector<int> ports;
    for (const PortChoice& choice : options_.ports) {
        ports.push_back(choice.port);
        devices_[choice.port] = mapping->DevicePath(choice.port).toStdString();
    }
    if (options_.logTarget) {
        recorder_ = std::make_unique<BackgroundRecorder>(
            *options_.logTarget, DefaultStationNames(options_.station, options_.operatorName),
            [this] {
                QMetaObject::invokeMethod(
                    &context_, [this] { TellReports(); }, Qt::QueuedConnection);
            });
        if (const auto failure = recorder_->WaitForOpening(stop_)) {
            recorder_->TakeReports();  // told here
            Tell(*failure);
            return kExitNothingFlashed;
        }
        if (stop_.load()) {
            return kExitInterrupted;
        }
    }
    tally_.List(ports);
    WatchSession session(*mapping, Events(), context_);
    BatchRequest request;
    request.romPathText = romPath_;
    request.baseAddressText = baseAddress_;
    request.demonBaud = options_.baud;
    try {
        if (const auto refusal = session.Start(ports, request)) {
            Tell(RefusalLine(*refusal, romPath_, baseAddress_).value_or(refusal->message));
            return kExitNothingFlashed;
        }
    } catch (const std::system_error&) {
        Tell("Failed to create system resources.");
        return kExitInternalError;
    }
    if (options_.remember) {
        settings_.WriteString(SettingsStore::kRomFileSection, SettingsStore::kNameAndPathValue,
                              QString::fromStdString(romPath_));
        settings_.WriteString(SettingsStore::kMiscSection, SettingsStore::kFwBaseAddrValue,
                              QString::fromStdString(baseAddress_));
    }
    std::string names;
    for (const int port : ports) {
        names += (names.empty() ? "" : ", ") + PortLabel(port);
    }
    Tell("watching " + names + " with " + romPath_ + " (SHA-256 " + session.Images()->fileSha256 +
         "); Ctrl+C ends");
    QEventLoop loop;
    loop_ = &loop;
    if (!stop_.load()) {
        loop.exec();
    }
    loop_ = nullptr;
    // Every port ends at once; a unit stopped mid-flash is told and recorded here.
    session.Stop();
    BackgroundRecorder::Leftovers leftovers;
    if (recorder_) {
        recorder_->GiveUpStarts();
        leftovers = recorder_->Finish();
        TellReports();
        for (const std::string& line : leftovers.lines) {
            Tell(line);
        }
    }
    if (options_.json) {
        out_ << QJsonDocument(QJsonObject{{"tally", tally_.Json()}})
                    .toJson(QJsonDocument::Compact)
                    .toStdString()
             << '\n';
    } else {
        out_ << '\n' << tally_.Text();
    }
    out_.flush();
    if (leftovers.someNotRecorded) {
        return kExitNotRecorded;
    }
    return someFailed_ ? kExitSomeFailed : kExitAllComplete;
}

WatchSession::Events WatchCommand::Events() {
    WatchSession::Events events;
    events.beforeUnit = [this](const PreparedBatch& unit, PortWatcherHooks::Proceed proceed) {
        BeforeUnit(unit, std::move(proceed));
    };
    events.unitEnded = [this](const PreparedBatch& unit, const BatchResult& result) {
        UnitEnded(unit, result);
    };
    events.phase = [this](int port, WatchPhase phase, const QString& cause) {
        PhaseChanged(port, phase, cause);
    };
    events.declined = [this](int port) {
        if (notRecorded_.insert(port).second && !stop_.load()) {
            Tell(PortName(port) +
                 ": not flashed: its run could not be recorded; tried again while the unit "
                 "stays");
        }
    };
    events.trouble = [this](int port, const QString& what) {
        Tell(PortName(port) + ": " + what.toStdString());
    };
    events.romChanged = [this](const WatchedRom::Look& look) { RomChanged(look); };
    return events;
}

void WatchCommand::BeforeUnit(const PreparedBatch& unit, PortWatcherHooks::Proceed proceed) {
    const int port = unit.units.front().first;
    BatchRequest request = unit.request;
    request.baseAddressText = baseAddress_;
    request.demonBaud = options_.baud;
    RunSummary summary = BeginRunSummary(request, unit.units);
    summary.romSha256 = unit.fileSha256;
    summary.romFileBytes = unit.fileBytes;
    runs_[port] = summary;
    if (stop_.load()) {
        proceed(false);
        return;
    }
    if (!recorder_) {
        proceed(true);
        return;
    }
    recorder_->RecordStart(summary, proceed);
}

void WatchCommand::UnitEnded(const PreparedBatch& unit, const BatchResult& result) {
    const int port = unit.units.front().first;
    notRecorded_.erase(port);
    RunSummary summary = runs_[port];
    TakeResult(summary, result);
    summary.interrupted = result.outcome == RunOutcome::Stopped;
    if (recorder_) {
        recorder_->RecordEnd(summary);
    }
    tally_.Add(summary);
    for (const UnitResult& ended : summary.units) {
        someFailed_ = someFailed_ || !ended.complete;
        if (options_.json) {
            QJsonObject line = UnitJson(summary, ended);
            line.insert("outcome", QString::fromStdString(OutcomeName(summary.outcome)));
            line.insert("started_at", QString::fromStdString(IsoUtc(summary.startedAt)));
            if (ended.durationMs) {
                line.insert("seconds",
                            RoundedToOneDecimal(static_cast<double>(*ended.durationMs) / 1000.0));
            }
            line.insert("rom_sha256", QString::fromStdString(summary.romSha256.value_or("")));
            out_ << QJsonDocument(line).toJson(QJsonDocument::Compact).toStdString() << '\n';
        } else {
            out_ << UnitLine(ended) << "  " << Seconds(ended)
                 << (summary.interrupted ? "  (stopped)" : "") << '\n';
        }
    }
    out_.flush();
}

void WatchCommand::PhaseChanged(int port, WatchPhase phase, const QString& cause) {
    const auto before = phases_.find(port);
    if (phase == WatchPhase::DeviceMissing) {
        Tell(PortName(port) + ": " + cause.toStdString() + "; watched until it comes back");
    } else if (before != phases_.end() && before->second == WatchPhase::DeviceMissing) {
        Tell(PortName(port) + ": device back");
    }
    phases_[port] = phase;
}

void WatchCommand::RomChanged(const WatchedRom::Look& look) {
    if (look.refusal) {
        Tell(RefusalLine(*look.refusal, romPath_, baseAddress_).value_or(look.refusal->message) +
             ": no new unit is flashed until the file is fixed");
    } else {
        Tell("ROM file changed: " + romPath_ + " (SHA-256 " + look.images->fileSha256 +
             "): flashed from the next unit on");
    }
}

void WatchCommand::Tell(const std::string& line) {
    err_ << "vantrel-cli: " << line << '\n';
    err_.flush();
}

void WatchCommand::TellReports() {
    if (!recorder_) {
        return;
    }
    for (const std::string& line : recorder_->TakeReports()) {
        Tell(line);
    }
}

std::string WatchCommand::PortName(int port) const {
    const auto device = devices_.find(port);
    return PortLabel(port) + (device != devices_.end() ? " (" + device->second + ")" : "");
}

}  // namespace vantrel::cli
