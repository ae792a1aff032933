#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#include <cstring>

#include "cli/InterruptSource.h"

namespace vantrel::cli {
namespace {

int interruptPipe[2] = {-1, -1};
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnSignal(int) {
    requested.store(true);
    const char byte = 1;
    // Only async-signal-safe work here: the event loop picks the byte up.
    [[maybe_unused]] ssize_t written = write(interruptPipe[1], &byte, 1);
}

}  // namespace

// The pipe and the handlers stay for the rest of the process: a late signal writes a byte that
// nobody reads, instead of killing the program on its way out.
struct InterruptSource::Platform {
    std::unique_ptr<QSocketNotifier> notifier;
};

InterruptSource::InterruptSource(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)), platform_(std::make_unique<Platform>()) {}

InterruptSource::~InterruptSource() = default;

const std::atomic<bool>& InterruptSource::Requested() {
    return requested;
}

std::optional<CliFailure> InterruptSource::Start() {
    if (interruptPipe[0] < 0 && pipe(interruptPipe) != 0) {
        return CliFailure{std::string("cannot set up the interrupt handler: ") +
                          std::strerror(errno)};
    }
    platform_->notifier =
        std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(platform_->notifier.get(), &QSocketNotifier::activated, &receiver_, [this] {
        char byte = 0;
        [[maybe_unused]] ssize_t got = read(interruptPipe[0], &byte, 1);
        onInterrupt_();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // A closed terminal or ssh session ends the run as Ctrl+C does: ports closed, record kept.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A reader of stderr that goes away shows up as a failed write, which stops the run.
    std::signal(SIGPIPE, SIG_IGN);
    return std::nullopt;
}

}  // namespace vantrel::cli
