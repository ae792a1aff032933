#include "cli/LineInput.h"

#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>

namespace vantrel::cli {

LineInput::LineInput(int fd) : fd_(fd), notifier_(fd, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { ReadSome(); });
}

void LineInput::ReadSome() {
    char bytes[512];
    const ssize_t got = read(fd_, bytes, sizeof bytes);
    if (got > 0) {
        buffer_.append(bytes, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        ended_ = true;
        notifier_.setEnabled(false);
    }
}

std::optional<std::string> LineInput::Next(const std::function<bool()>& stop) {
    for (;;) {
        if (const auto end = buffer_.find('\n'); end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        if (stop()) {
            return std::nullopt;
        }
        if (ended_) {
            // A last line without its end still counts.
            std::string rest;
            rest.swap(buffer_);
            return rest.empty() ? std::nullopt : std::optional<std::string>(rest);
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void LineInput::DropTypedAhead() {
    if (isatty(fd_)) {
        tcflush(fd_, TCIFLUSH);
        buffer_.clear();
    }
}

}  // namespace vantrel::cli
