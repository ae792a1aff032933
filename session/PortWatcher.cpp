#include "session/PortWatcher.h"

#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/DownloadWorker.h"
#include "session/FilePlan.h"
#include "threading/UiThreadCall.h"

namespace vantrel {

// The station's answer to an arrival, shared with whoever gives it: it may come after the
// watch has stopped waiting.
struct PortWatcher::UnitAnswer {
    std::mutex mutex;
    std::condition_variable given;
    std::optional<bool> go;
    std::optional<RunPlan> plan;  // set on the UI thread before the hook is asked
};

PortWatcher::PortWatcher(int port, const PortMapping& mapping, PortWatcherHooks& hooks,
                         QObject& uiContext)
    : port_(port),
      mapping_(mapping),
      hooks_(hooks),
      state_(std::make_unique<LoaderState>()),
      box_(port),
      link_(*state_, mapping, box_, [this](const QString& text) { openFailure_ = text; }),
      mailbox_(std::make_unique<CallMailbox>()),
      host_(uiContext, link_, *this, stop_) {}

PortWatcher::~PortWatcher() {
    RequestStop();
    Finish();
}

void PortWatcher::Start() {
    thread_ = std::thread([this] { PortWatch(*state_, host_, *this, port_).Run(); });
}

void PortWatcher::Finish() {
    if (thread_.joinable()) {
        thread_.join();
    }
    // What the watch posted before it ended, a stopped flash's end among it, is told now.
    mailbox_->Drain();
    link_.ClosePort(port_);
}

bool PortWatcher::OpenPort() {
    auto open = std::make_shared<bool>(false);
    if (!CallOnMailboxThread(*mailbox_, stop_, [this, open] { *open = OpenOnUiThread(); })) {
        throw RunStopped{};
    }
    return *open;
}

bool PortWatcher::OpenOnUiThread() {
#ifndef Q_OS_WIN
    // A device unplugged while its port stood open: the port is closed, and opened again
    // only once the device is back.
    if (link_.IsOpen(port_) && !QFileInfo::exists(mapping_.DevicePath(port_))) {
        link_.ClosePort(port_);
    }
#endif
    if (!link_.IsOpen(port_)) {
        openFailure_.clear();
        link_.PortBoxChanged(port_);
        if (!link_.IsOpen(port_)) {
            return false;
        }
    }
    state_->Port(port_).selected.store(true);
    return true;
}

std::optional<RunPlan> PortWatcher::UnitArrived() {
    auto answer = std::make_shared<UnitAnswer>();
    if (!CallOnMailboxThread(*mailbox_, stop_, [this, answer] { PrepareUnit(answer); })) {
        throw RunStopped{};
    }
    std::unique_lock lock(answer->mutex);
    if (!answer->plan) {
        return std::nullopt;
    }
    // Bounded by the log's own waits; a stop is seen within a slice.
    while (!answer->go) {
        if (stop_.StopRequested()) {
            throw RunStopped{};
        }
        answer->given.wait_for(lock, std::chrono::milliseconds(50));
    }
    if (!*answer->go) {
        mailbox_->Post([this] {
            if (hooks_.declined) {
                hooks_.declined(port_);
            }
        });
        return std::nullopt;
    }
    return answer->plan;
}

void PortWatcher::PrepareUnit(const std::shared_ptr<UnitAnswer>& answer) {
    const std::shared_ptr<const WatchedImages> images = hooks_.images(port_);
    if (!images) {
        return;
    }
    // The watch's thread waits meanwhile: the buffers are free.
    std::copy(images->demon.begin(), images->demon.end(), state_->DemonBuffer().begin());
    std::copy(images->rom.begin(), images->rom.end(), state_->RomBuffer().begin());
    PreparedBatch unit;
    unit.fileSha256 = images->fileSha256;
    unit.fileBytes = images->fileBytes;
    unit.plan = images->plan;
    unit.request.romPathText = images->plan.romPathText;
    unit.units = {{port_, mapping_.DevicePath(port_).toStdString()}};
    unit_ = unit;
    {
        const std::lock_guard lock(answer->mutex);
        answer->plan = images->plan;
    }
    auto proceed = [answer](bool go) {
        {
            const std::lock_guard lock(answer->mutex);
            answer->go = go;
        }
        answer->given.notify_all();
    };
    if (hooks_.beforeUnit) {
        hooks_.beforeUnit(*unit_, proceed);
    } else {
        proceed(true);
    }
}

void PortWatcher::UnitEnded(const RunResult& result) {
    mailbox_->Post([this, result] {
        if (!unit_) {
            return;
        }
        BatchResult batch;
        batch.outcome = result.outcome;
        batch.unitsTouched = result.bytesSent;
        batch.fileSha256 = unit_->fileSha256;
        batch.fileBytes = unit_->fileBytes;
        batch.units = UnitResultsOf(result, unit_->units, [this](int port) {
            return link_.Port(port).LostCause().toStdString();
        });
        if (hooks_.unitEnded) {
            hooks_.unitEnded(*unit_, batch);
        }
    });
}

void PortWatcher::PhaseChanged(WatchPhase phase) {
    mailbox_->Post([this, phase] {
        if (phase == WatchPhase::Flashing) {
            progress_ = 0;
        }
        if (hooks_.phase) {
            hooks_.phase(port_, phase,
                         phase == WatchPhase::DeviceMissing ? openFailure_ : QString());
        }
    });
}

void PortWatcher::Trouble(std::string_view what) {
    mailbox_->Post(
        [this, text = QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()))] {
            if (hooks_.trouble) {
                hooks_.trouble(port_, text);
            }
        });
}

void PortWatcher::SetStatusText(int port, const QString& text) {
    if (hooks_.status) {
        hooks_.status(port, text);
    }
}

MessageResult PortWatcher::ShowMessage(const QString& text, MessageButtons, MessageIcon) {
    // A unit's failure is told by its result; only the unexpected is passed on.
    if (text.startsWith(QString::fromUtf8(kInternalErrorMessage.data(),
                                          static_cast<qsizetype>(kInternalErrorMessage.size()))) &&
        hooks_.trouble) {
        hooks_.trouble(port_, text);
    }
    return MessageResult::Ok;
}

void PortWatcher::SetProgress(int position) {
    progress_ = position;
    if (hooks_.progress) {
        hooks_.progress(port_, progress_);
    }
}

void PortWatcher::StepProgress() {
    SetProgress(std::min(progress_ + 1, 100));
}

}  // namespace vantrel
