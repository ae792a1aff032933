#include "session/HeadlessSession.h"

#include <QEventLoop>
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
    // Quit, not a flag looked at between waits: an event dispatcher may handle the run's last
    // posted call and then wait for more events that never come.
    QEventLoop untilOutcome;
    const auto started = core_->Start(std::move(inputs), [&](RunOutcome result) {
        outcome = result;
        untilOutcome.quit();
    });
    if (started != LoaderSession::StartResult::Started) {
        return std::nullopt;
    }
    if (!outcome) {
        untilOutcome.exec();
    }
    if (*outcome == RunOutcome::Stopped) {
        core_->StopAndJoin();
    } else {
        core_->JoinRun();
    }
    return outcome;
}

}  // namespace vantrel
