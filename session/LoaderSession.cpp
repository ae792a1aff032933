#include "session/LoaderSession.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "serial/DeviceIdentity.h"
#include "session/FilePlan.h"
#include "settings/PortLabel.h"

namespace vantrel {
namespace {

const QString kSelectRomFirst = QStringLiteral("Select the ROM file first.");
const QString kRomOpenFailed = QStringLiteral("The ROM file could not be opened!");
const QString kSelectPortsFirst = QStringLiteral("Select COM port(s) first.");
const QString kNoSystemResources = QStringLiteral("Failed to create system resources.");

}  // namespace

LoaderSession::LoaderSession(const PortMapping& mapping, RunView& view, PortBoxes& boxes,
                             QObject& uiContext)
    : mapping_(mapping),
      boxes_(boxes),
      view_(view),
      state_(std::make_unique<LoaderState>()),
      link_(*state_, mapping, boxes, [this](const QString& text) { ShowWarning(text); }),
      runEnded_(new CallMailbox(&uiContext)),
      host_(uiContext, link_, view, controller_.Stop()) {}

LoaderSession::~LoaderSession() {
    RequestStop();
    controller_.Join();
    // The view may be going too: nothing is shown from here.
    try {
        link_.CloseSelectedPorts();
    } catch (const SerialError&) {
    }
}

LoaderSession::StartResult LoaderSession::Start(BatchRequest request, EndHandler onEnded) {
    stopPending_.store(false);
    view_.SetProgress(0);
    if (RefuseSharedDevice()) {
        return StartResult::SameDevice;
    }
    portFailures_.clear();
    const bool anyTicked = link_.OpenTickedPorts(portFailures_, portFailuresEndUnitsOnly_);
    if (!portFailures_.empty() && !portFailuresEndUnitsOnly_) {
        ShowPortFailure(portFailures_.front());
        return StartResult::PortFailed;
    }
    if (request.romPathText.empty()) {
        ShowWarning(kSelectRomFirst);
        return StartResult::NoRomPath;
    }
    if (!OpenRomFile(QString::fromStdString(request.romPathText))) {
        return StartResult::RomNotOpened;
    }
    if (!anyTicked) {
        ShowWarning(kSelectPortsFirst);
        return StartResult::NoPorts;
    }
    return Prepare(std::move(request), std::move(onEnded));
}

LoaderSession::StartResult LoaderSession::StartBatch(BatchRequest request, EndHandler onEnded) {
    stopPending_.store(false);
    portFailures_.clear();
    romFile_ = OpenRomForReading(QString::fromStdString(request.romPathText));
    return Prepare(std::move(request), std::move(onEnded));
}

LoaderSession::StartResult LoaderSession::Prepare(BatchRequest request, EndHandler onEnded) {
    ++batch_;
    onEnded_ = std::move(onEnded);
    prepared_.reset();
    view_.DisableStart();
    // Read once: the bytes checked and hashed here are the bytes flashed.
    FilePlan file = PlanFile(*state_, romFile_.get(), request);
    PreparedBatch batch;
    batch.request = request;
    batch.fileSha256 = file.fileSha256;
    batch.fileBytes = file.fileBytes;
    if (romFile_) {
        for (int port = 1; port <= kPortCount; ++port) {
            if (boxes_.IsTicked(port)) {
                batch.units.emplace_back(port, mapping_.DevicePath(port).toStdString());
            }
        }
        prepared_ = batch;
    }
    if (auto* refusal = std::get_if<BatchRefusal>(&file.plan)) {
        EndUntouched(RunOutcome::ImageError, std::move(*refusal));
        return StartResult::Started;
    }
    prepared_->plan = std::get<RunPlan>(file.plan);
    // A stop asked for as Start began (Exit) holds: nothing more is done.
    if (stopPending_.load()) {
        EndUntouched(RunOutcome::Stopped, std::nullopt);
        return StartResult::Started;
    }
    // Ports named but not opened yet (the command line's) open now, as a click opens them.
    for (const auto& [port, device] : prepared_->units) {
        if (!link_.IsOpen(port) && !portFailuresEndUnitsOnly_) {
            link_.PortBoxChanged(port);
            if (!link_.IsOpen(port)) {
                EndUntouched(std::nullopt, BatchRefusal{BatchRefusal::Kind::PortNotOpened,
                                                        PortLabel(port) + " could not be opened",
                                                        std::nullopt,
                                                        {}});
                return StartResult::Started;
            }
        }
        link_.State().Port(port).selected.store(link_.IsOpen(port));
    }
    launchFailed_ = false;
    awaiting_ = true;
    preparing_ = true;
    const std::uint64_t current = batch_;
    if (beforeUnits_) {
        beforeUnits_(*prepared_, [this, current](bool go) { GoOn(current, go); });
    } else {
        GoOn(current, true);
    }
    preparing_ = false;
    return launchFailed_ ? StartResult::NoThread : StartResult::Started;
}

void LoaderSession::GoOn(std::uint64_t batch, bool go) {
    if (batch != batch_ || !prepared_) {
        return;  // given up meanwhile (Exit)
    }
    awaiting_ = false;
    if (!go) {
        EndUntouched(std::nullopt, BatchRefusal{BatchRefusal::Kind::NotRecorded,
                                                "the batch could not be recorded",
                                                std::nullopt,
                                                {}});
        return;
    }
    if (stopPending_.load()) {
        EndUntouched(RunOutcome::Stopped, std::nullopt);
        return;
    }
    try {
        if (launcher_) {
            launcher_(prepared_->plan);
        } else {
            Launch(prepared_->plan);
        }
    } catch (const std::system_error&) {
        ShowWarning(kNoSystemResources);
        launchFailed_ = true;
        // Start answered already: the batch ends here, or nobody would hear of it.
        if (!preparing_) {
            EndUntouched(RunOutcome::InternalError, std::nullopt);
        }
        return;
    }
    // Starting clears the run's stop signal; a request made since Start was called still holds.
    if (stopPending_.load()) {
        RequestStop();
    }
}

void LoaderSession::Launch(const RunPlan& plan) {
    launched_ = batch_;
    controller_.Start(*state_, host_, plan, [this, batch = batch_](const RunResult& result) {
        runEnded_->Post([this, batch, result] {
            if (batch == batch_ && onEnded_) {
                onEnded_(ResultOf(result));
            }
        });
    });
}

void LoaderSession::EndUntouched(std::optional<RunOutcome> outcome,
                                 std::optional<BatchRefusal> refusal) {
    if (refusal && refusalsShown_ && refusal->kind != BatchRefusal::Kind::NotRecorded &&
        refusal->kind != BatchRefusal::Kind::PortNotOpened) {
        view_.ShowMessage(QString::fromStdString(refusal->message), MessageButtons::Ok,
                          MessageIcon::Exclamation);
    }
    // As the run's finish would: a stopped batch leaves everything alone.
    if (outcome != RunOutcome::Stopped) {
        CloseSelectedPorts();
        view_.EnableStart();
    }
    BatchResult result;
    result.outcome = outcome;
    result.refusal = std::move(refusal);
    if (prepared_) {
        if (prepared_->fileBytes > 0 || !prepared_->fileSha256.empty()) {
            result.fileSha256 = prepared_->fileSha256;
            result.fileBytes = prepared_->fileBytes;
        }
        for (const auto& [port, device] : prepared_->units) {
            result.units.push_back({port, device, {}, false});
        }
    }
    // As a run's end, after the caller has returned.
    runEnded_->Post([this, batch = batch_, result] {
        if (batch == batch_ && onEnded_) {
            onEnded_(result);
        }
    });
}

BatchResult LoaderSession::ResultOf(const RunResult& run) {
    BatchResult result;
    result.outcome = run.outcome;
    result.unitsTouched = run.bytesSent;
    if (prepared_) {
        result.fileSha256 = prepared_->fileSha256;
        result.fileBytes = prepared_->fileBytes;
    }
    const auto failureOf = [this](int port) {
        return std::find_if(portFailures_.begin(), portFailures_.end(),
                            [port](const PortFailure& f) { return f.port == port; });
    };
    result.units = UnitResultsOf(
        run, prepared_ ? prepared_->units : std::vector<std::pair<int, std::string>>{},
        [&](int port) {
            const auto failure = failureOf(port);
            return (failure != portFailures_.end() ? failure->cause : link_.Port(port).LostCause())
                .toStdString();
        });
    for (UnitResult& unit : result.units) {
        if (failureOf(unit.port) != portFailures_.end()) {
            unit.endStage = 0;  // never opened: the run did not reach it
        }
    }
    return result;
}

bool LoaderSession::RefuseSharedDevice() {
    std::vector<int> ports;
    std::vector<QString> devices;
    for (int port = 1; port <= kPortCount; ++port) {
        if (boxes_.IsTicked(port)) {
            ports.push_back(port);
            devices.push_back(mapping_.DevicePath(port));
        }
    }
    const auto shared = FindSharedDevice(devices);
    if (!shared) {
        return false;
    }
    // Two ports on one device would each take the other's answers for their own.
    const auto name = [&](std::size_t index) {
        return QString::fromStdString(PortLabel(ports[index]));
    };
    ShowWarning(SharedDeviceText(name(shared->first), name(shared->second), shared->device) +
                QStringLiteral(": tick one box per unit."));
    return true;
}

bool LoaderSession::OpenRomFile(const QString& path) {
    romFile_ = OpenRomForReading(path);
    if (!romFile_) {
        ShowWarning(kRomOpenFailed);
        return false;
    }
    return true;
}

void LoaderSession::PortBoxClicked(int port) {
    try {
        link_.PortBoxChanged(port);
    } catch (const SerialError& error) {
        ShowSerialError(error);
    }
}

void LoaderSession::RequestStop() {
    stopPending_.store(true);
    state_->SetInProgress(false);
    controller_.RequestStop();
}

BatchResult LoaderSession::StopAndJoin() {
    // The run goes before the ports and buffers it works on: from the stop on it touches
    // nothing of ours.
    const bool ran = launched_ == batch_;
    RequestStop();
    controller_.Join();
    ++batch_;  // an answer still to come, or the run's end, is dropped
    awaiting_ = false;
    CloseSelectedPorts();
    romFile_.reset();
    if (ran) {
        return ResultOf(controller_.LastResult());
    }
    BatchResult untouched;
    untouched.outcome = RunOutcome::Stopped;
    for (const auto& [port, device] :
         prepared_ ? prepared_->units : std::vector<std::pair<int, std::string>>{}) {
        untouched.units.push_back({port, device, {}, false});
    }
    return untouched;
}

void LoaderSession::ShowWarning(const QString& text) {
    view_.ShowMessage(text, MessageButtons::Ok, MessageIcon::Exclamation);
}

void LoaderSession::ShowPortFailure(const PortFailure& failure) {
    const QString port = QString::fromStdString(PortLabel(failure.port));
    view_.ShowMessage(
        port + QStringLiteral(" could not be opened: ") + failure.cause +
            QStringLiteral("\n\nNothing was flashed. Plug in the unit's cable, map ") + port +
            QStringLiteral(" to its device (Port Mapping...), or untick ") + port + '.',
        MessageButtons::Ok, MessageIcon::Stop);
}

void LoaderSession::ShowSerialError(const SerialError& error) {
    view_.ShowMessage(QString::fromUtf8(error.what()), MessageButtons::Ok, MessageIcon::Stop);
}

void LoaderSession::CloseSelectedPorts() {
    try {
        link_.CloseSelectedPorts();
    } catch (const SerialError& error) {
        ShowSerialError(error);
    }
}

}  // namespace vantrel
