#include "session/HeadlessSession.h"

#include <QCoreApplication>
#include <stdexcept>
#include <utility>

namespace vantrel {

bool TickedBoxes::IsTicked(int port) const {
    return ticked_[PortIndex(port)];
}

void TickedBoxes::SetTicked(int port, bool ticked) {
    ticked_[PortIndex(port)] = ticked;
}

HeadlessSession::HeadlessSession(std::unique_ptr<PortMapping> mapping)
    : mapping_(std::move(mapping)),
      core_(std::make_unique<LoaderSession>(*mapping_, view_, boxes_, context_)) {}

RunInputs HeadlessSession::MakeInputs(const std::string& romPath,
                                      const std::string& baseAddressText) {
    RunInputs inputs;
    inputs.romPathText = romPath;
    inputs.baseAddressText = baseAddressText;
    return inputs;
}

bool HeadlessSession::Tick(int port) {
    boxes_.SetTicked(port, true);
    core_->PortBoxClicked(port);
    return boxes_.IsTicked(port);
}

void HeadlessSession::Untick(int port) {
    boxes_.SetTicked(port, false);
    core_->PortBoxClicked(port);
}

std::optional<RunOutcome> HeadlessSession::Run(RunInputs inputs) {
    if (core_->RunActive()) {
        throw std::logic_error("a run is already going on");
    }
    std::optional<RunOutcome> outcome;
    const auto started =
        core_->Start(std::move(inputs), [&outcome](RunOutcome result) { outcome = result; });
    if (started != LoaderSession::StartResult::Started) {
        return std::nullopt;
    }
    while (!outcome) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (*outcome == RunOutcome::Stopped) {
        core_->StopAndJoin();
    } else {
        core_->JoinRun();
    }
    return outcome;
}

}  // namespace vantrel
