#include "serial/HeadlessSession.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <stdexcept>
#include <utility>

namespace vantrel {
namespace {

const QString kSelectRomFirst = QStringLiteral("Select the ROM file first.");
const QString kRomNotOpened = QStringLiteral("The ROM file could not be opened!");
const QString kSelectPortsFirst = QStringLiteral("Select COM port(s) first.");

std::size_t BoxIndex(int port) {
    if (port < 1 || port > kPortCount) {
        throw std::out_of_range("port number out of range");
    }
    return static_cast<std::size_t>(port - 1);
}

}  // namespace

bool TickedBoxes::IsTicked(int port) const {
    return ticked_[BoxIndex(port)];
}

void TickedBoxes::SetTicked(int port, bool ticked) {
    ticked_[BoxIndex(port)] = ticked;
}

HeadlessSession::HeadlessSession(std::unique_ptr<PortMapping> mapping)
    : state_(std::make_unique<LoaderState>()),
      mapping_(std::move(mapping)),
      link_(*state_, *mapping_, boxes_,
            [this](const QString& text) {
                view_.ShowMessage(text, MessageButtons::Ok, MessageIcon::Exclamation);
            }),
      host_(context_, link_, view_, controller_.Stop()) {}

HeadlessSession::~HeadlessSession() {
    RequestStop();
    controller_.Join();
    link_.CloseSelectedPorts();
}

RunInputs HeadlessSession::MakeInputs(const std::string& romPath,
                                      const std::string& baseAddressText) {
    RunInputs inputs;
    inputs.romPathText = romPath;
    inputs.baseAddressText = baseAddressText;
    inputs.romFile = OpenRomFileForReading(romPath);
    return inputs;
}

bool HeadlessSession::Tick(int port) {
    boxes_.SetTicked(port, true);
    try {
        link_.PortBoxChanged(port);
    } catch (const SerialError& error) {
        view_.ShowMessage(QString::fromStdString(error.what()), MessageButtons::Ok,
                          MessageIcon::Stop);
    }
    return boxes_.IsTicked(port);
}

void HeadlessSession::Untick(int port) {
    boxes_.SetTicked(port, false);
    link_.PortBoxChanged(port);
}

std::optional<RunOutcome> HeadlessSession::Run(RunInputs inputs) {
    if (controller_.Running()) {
        throw std::logic_error("a run is already going on");
    }
    stopRequested_.store(false);
    controller_.Join();
    view_.SetProgress(0);
    bool anyTicked = false;
    try {
        anyTicked = link_.OpenTickedPorts();
    } catch (const SerialError& error) {
        view_.ShowMessage(QString::fromStdString(error.what()), MessageButtons::Ok,
                          MessageIcon::Stop);
        return std::nullopt;
    }
    // The same checks as Start, in the same order: the ROM file before the ports.
    if (inputs.romPathText.empty()) {
        view_.ShowMessage(kSelectRomFirst, MessageButtons::Ok, MessageIcon::None);
        return std::nullopt;
    }
    if (!inputs.romFile) {
        view_.ShowMessage(kRomNotOpened, MessageButtons::Ok, MessageIcon::None);
        return std::nullopt;
    }
    if (!anyTicked) {
        view_.ShowMessage(kSelectPortsFirst, MessageButtons::Ok, MessageIcon::None);
        return std::nullopt;
    }

    std::optional<RunOutcome> outcome;
    controller_.Start(*state_, host_, std::move(inputs), [this, &outcome](RunOutcome result) {
        // Handed to this thread, which is waiting for it below.
        runEnded_->Post([&outcome, result] { outcome = result; });
    });
    // Starting clears the run's stop signal; a request made since Run was called still holds.
    if (stopRequested_.load()) {
        RequestStop();
    }
    while (!outcome) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    controller_.Join();
    if (*outcome == RunOutcome::Stopped) {
        state_->SetInProgress(false);
        link_.CloseSelectedPorts();
    }
    return outcome;
}

void HeadlessSession::RequestStop() {
    stopRequested_.store(true);
    state_->SetInProgress(false);
    controller_.RequestStop();
}

}  // namespace vantrel
