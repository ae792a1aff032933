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

BatchRequest HeadlessSession::Request(const std::string& romPath,
                                      const std::string& baseAddressText) {
    BatchRequest request;
    request.romPathText = romPath;
    request.baseAddressText = baseAddressText;
    return request;
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

std::optional<RunOutcome> HeadlessSession::Run(BatchRequest request) {
    return RunToEnd(&LoaderSession::Start, std::move(request));
}

std::optional<RunOutcome> HeadlessSession::RunBatch(BatchRequest request) {
    return RunToEnd(&LoaderSession::StartBatch, std::move(request));
}

std::optional<RunOutcome> HeadlessSession::RunToEnd(Starter start, BatchRequest request) {
    if (core_->RunActive()) {
        throw std::logic_error("a run is already going on");
    }
    result_ = {};
    bool ended = false;
    // Quit, not a flag looked at between waits: an event dispatcher may handle the run's last
    // posted call and then wait for more events that never come.
    QEventLoop untilEnded;
    const auto started = (*core_.*start)(std::move(request), [&](const BatchResult& result) {
        result_ = result;
        ended = true;
        untilEnded.quit();
    });
    if (started != LoaderSession::StartResult::Started) {
        return std::nullopt;
    }
    if (!ended) {
        untilEnded.exec();
    }
    if (result_.outcome == RunOutcome::Stopped) {
        core_->StopAndJoin();
    } else {
        core_->JoinRun();
    }
    return result_.outcome;
}

}  // namespace vantrel
