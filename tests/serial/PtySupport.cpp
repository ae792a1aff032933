#include "tests/serial/PtySupport.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vantrel::testing {

BarePty::BarePty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        throw std::runtime_error("ptsname");
    }
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        throw std::runtime_error("open " + slavePath_);
    }
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    linkPath_ = dir_.filePath("line");
    if (!dir_.isValid() || symlink(name, linkPath_.toLocal8Bit().constData()) != 0) {
        throw std::runtime_error("no link to " + slavePath_);
    }
}

BarePty::~BarePty() {
    HangUp();
}

void BarePty::Send(const std::vector<std::uint8_t>& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("write to master");
    }
}

std::size_t BarePty::Offer(const std::vector<std::uint8_t>& bytes) {
    const ssize_t written = write(master_, bytes.data(), bytes.size());
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::vector<std::uint8_t> BarePty::Receive(std::size_t count) {
    std::vector<std::uint8_t> received;
    const QDeadlineTimer deadline(kPatience);
    while (received.size() < count && !deadline.hasExpired()) {
        pollfd fd{master_, POLLIN, 0};
        if (poll(&fd, 1, 10) > 0 && (fd.revents & POLLIN)) {
            const auto more = Drain();
            received.insert(received.end(), more.begin(), more.end());
        }
    }
    return received;
}

std::vector<std::uint8_t> BarePty::Drain() {
    std::vector<std::uint8_t> received;
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.insert(received.end(), buffer, buffer + n);
    }
    return received;
}

termios BarePty::Settings() const {
    termios settings{};
    tcgetattr(master_, &settings);
    return settings;
}

void BarePty::SetSettings(const termios& settings) {
    tcsetattr(slave_, TCSANOW, &settings);
}

void BarePty::HangUp() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
}

QString MissingDevice() {
    static const QTemporaryDir dir;
    return dir.filePath("no-such-device");
}

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds patience) {
    // Wakes the loop now and then, so a condition changed by another thread is seen.
    QTimer wake;
    wake.start(2);
    const QDeadlineTimer deadline(patience);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
}

}  // namespace vantrel::testing
