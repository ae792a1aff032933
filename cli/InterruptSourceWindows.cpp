#include <windows.h>

#include <QMetaObject>
#include <mutex>

#include "cli/InterruptSource.h"

namespace vantrel::cli {
namespace {

std::atomic<bool> requested{false};
std::mutex activeMutex;
QObject* activeReceiver = nullptr;
std::function<void()>* activeCall = nullptr;

// Runs on a thread the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    requested.store(true);
    {
        const std::lock_guard lock(activeMutex);
        if (activeReceiver == nullptr) {
            return FALSE;
        }
        QMetaObject::invokeMethod(activeReceiver, *activeCall, Qt::QueuedConnection);
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning lets the system end the program at once, before the ports are closed and the
        // record kept. It gives a closing console about 5 s; the program's own exit, with its own
        // status, ends this thread first.
        Sleep(10000);
    }
    return TRUE;
}

}  // namespace

struct InterruptSource::Platform {
    bool started = false;
};

InterruptSource::InterruptSource(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)), platform_(std::make_unique<Platform>()) {}

const std::atomic<bool>& InterruptSource::Requested() {
    return requested;
}

InterruptSource::~InterruptSource() {
    if (!platform_->started) {
        return;
    }
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    const std::lock_guard lock(activeMutex);
    activeReceiver = nullptr;
    activeCall = nullptr;
}

std::optional<CliFailure> InterruptSource::Start() {
    {
        const std::lock_guard lock(activeMutex);
        if (activeReceiver != nullptr && activeReceiver != &receiver_) {
            return CliFailure{"cannot set up the interrupt handler: another one is listening"};
        }
        activeReceiver = &receiver_;
        activeCall = &onInterrupt_;
    }
    if (!platform_->started && !SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        return CliFailure{"cannot set up the interrupt handler: Windows error " +
                          std::to_string(GetLastError())};
    }
    platform_->started = true;
    return std::nullopt;
}

}  // namespace vantrel::cli
