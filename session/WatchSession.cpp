#include "session/WatchSession.h"

#include <system_error>

#include "serial/DeviceIdentity.h"
#include "settings/PortLabel.h"

namespace vantrel {

WatchSession::WatchSession(const PortMapping& mapping, Events events, QObject& uiContext)
    : mapping_(mapping), events_(std::move(events)), uiContext_(uiContext) {
    hooks_.images = [this](int port) { return ImagesForUnit(port); };
    hooks_.beforeUnit = events_.beforeUnit;
    hooks_.unitEnded = events_.unitEnded;
    hooks_.declined = events_.declined;
    hooks_.phase = events_.phase;
    hooks_.status = events_.status;
    hooks_.progress = events_.progress;
    hooks_.trouble = events_.trouble;
}

WatchSession::~WatchSession() {
    Stop();
}

std::optional<BatchRefusal> WatchSession::Start(const std::vector<int>& ports,
                                                BatchRequest request) {
    Stop();
    std::vector<QString> devices;
    for (const int port : ports) {
        devices.push_back(mapping_.DevicePath(port));
    }
    if (const auto shared = FindSharedDevice(devices)) {
        return BatchRefusal{
            BatchRefusal::Kind::SameDevice,
            SharedDeviceText(QString::fromStdString(PortLabel(ports[shared->first])),
                             QString::fromStdString(PortLabel(ports[shared->second])),
                             shared->device)
                .toStdString(),
            std::nullopt,
            {}};
    }
    rom_.emplace(std::move(request));
    WatchedRom::Look look = rom_->Current();
    if (look.refusal) {
        rom_.reset();
        return look.refusal;
    }
    images_ = look.images;
    // Made before any starts: a port that cannot have a thread leaves none running.
    for (const int port : ports) {
        watchers_.push_back(std::make_unique<PortWatcher>(port, mapping_, hooks_, uiContext_));
    }
    try {
        for (const auto& watcher : watchers_) {
            watcher->Start();
        }
    } catch (const std::system_error&) {
        Stop();
        throw;
    }
    return std::nullopt;
}

void WatchSession::Stop() {
    // Every port is asked first, so all of them end together.
    for (const auto& watcher : watchers_) {
        watcher->RequestStop();
    }
    for (const auto& watcher : watchers_) {
        watcher->Finish();
    }
    watchers_.clear();
}

std::shared_ptr<const WatchedImages> WatchSession::ImagesForUnit(int port) {
    if (!rom_) {
        return nullptr;
    }
    const WatchedRom::Look look = rom_->Current();
    images_ = look.images;
    if (look.changed && events_.romChanged) {
        events_.romChanged(look);
    }
    if (look.refusal && events_.held) {
        events_.held(port, *look.refusal);
    }
    return images_;
}

}  // namespace vantrel
