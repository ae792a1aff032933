#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "cli/LineInput.h"

namespace vantrel::cli {
namespace {

// Reads whenever the descriptor has bytes; the event loop's own notifier wakes it.
class DescriptorBytes : public InputBytes {
  public:
    explicit DescriptorBytes(int fd) : fd_(fd), notifier_(fd, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { ReadSome(); });
    }

    void TakeArrived(std::string& into) override {
        into += arrived_;
        arrived_.clear();
    }
    bool Ended() const override { return ended_; }
    bool DropTypedAhead() override {
        if (!isatty(fd_)) {
            return false;
        }
        tcflush(fd_, TCIFLUSH);
        arrived_.clear();
        return true;
    }

  private:
    void ReadSome() {
        char bytes[512];
        const ssize_t got = read(fd_, bytes, sizeof bytes);
        if (got > 0) {
            arrived_.append(bytes, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            ended_ = true;
            notifier_.setEnabled(false);
        }
    }

    int fd_;
    QSocketNotifier notifier_;
    std::string arrived_;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<InputBytes> StandardInputBytes() {
    return std::make_unique<DescriptorBytes>(STDIN_FILENO);
}

}  // namespace vantrel::cli
