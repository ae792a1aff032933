#include "session/LoaderSession.h"

#include <QFile>
#include <QFileInfo>
#include <system_error>
#include <utility>
#include <vector>

#include "serial/DeviceIdentity.h"
#include "settings/PortLabel.h"

#ifdef Q_OS_WIN
#include <cstdio>
#endif

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

LoaderSession::StartResult LoaderSession::Start(RunInputs inputs, EndHandler onEnded) {
    stopPending_.store(false);
    view_.SetProgress(0);
    if (RefuseSharedDevice()) {
        return StartResult::SameDevice;
    }
    bool anyTicked = false;
    try {
        anyTicked = link_.OpenTickedPorts();
    } catch (const SerialError& error) {
        ShowSerialError(error);
        return StartResult::PortFailed;
    }
    if (inputs.romPathText.empty()) {
        ShowWarning(kSelectRomFirst);
        return StartResult::NoRomPath;
    }
    if (!OpenRomFile(QString::fromStdString(inputs.romPathText))) {
        return StartResult::RomNotOpened;
    }
    if (!anyTicked) {
        ShowWarning(kSelectPortsFirst);
        return StartResult::NoPorts;
    }
    view_.DisableStart();
    inputs.romFile = std::move(romFile_);
    endHandler_ = {};
    if (onEnded) {
        endHandler_ = [this, onEnded = std::move(onEnded)](RunOutcome outcome) {
            runEnded_->Post([onEnded, outcome] { onEnded(outcome); });
        };
    }
    try {
        if (launcher_) {
            launcher_(std::move(inputs));
        } else {
            Launch(std::move(inputs));
        }
    } catch (const std::system_error&) {
        ShowWarning(kNoSystemResources);
        return StartResult::NoThread;
    }
    // Starting clears the run's stop signal; a request made since Start was called still holds.
    if (stopPending_.load()) {
        RequestStop();
    }
    return StartResult::Started;
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

void LoaderSession::Launch(RunInputs inputs) {
    controller_.Start(*state_, host_, std::move(inputs), endHandler_);
}

bool LoaderSession::OpenRomFile(const QString& path) {
    romFile_.reset();
    // A folder opens as a stream on some platforms but is never a ROM file.
    if (!path.isEmpty() && !QFileInfo(path).isDir()) {
#ifdef Q_OS_WIN
        romFile_ = RomFile(::_wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"rb"));
#else
        romFile_ = OpenRomFileForReading(QFile::encodeName(path).toStdString());
#endif
    }
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

void LoaderSession::StopAndJoin() {
    // The run goes before the ports and buffers it works on: from the stop on it touches
    // nothing of ours.
    RequestStop();
    controller_.Join();
    CloseSelectedPorts();
    romFile_.reset();
}

void LoaderSession::ShowWarning(const QString& text) {
    view_.ShowMessage(text, MessageButtons::Ok, MessageIcon::Exclamation);
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
