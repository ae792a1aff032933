#include <windows.h>

#include <QAbstractEventDispatcher>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "cli/LineInput.h"

namespace vantrel::cli {
namespace {

// What the console's reading thread and the event loop's thread share. The reading thread keeps
// it: when the program ends, that thread may still be waiting in a read nothing can take back.
struct ConsoleShared {
    std::mutex mutex;
    std::condition_variable asked;
    bool wanted = false;  // a read was asked for and has not answered yet
    bool ended = false;   // the console cannot be read any more
    bool closed = false;  // nobody takes what is read any more
    std::string arrived;
    QAbstractEventDispatcher* loop = nullptr;  // woken by each answer; null once closed
};

void ReadConsoleWhenAsked(const std::shared_ptr<ConsoleShared>& shared, HANDLE input) {
    for (;;) {
        {
            std::unique_lock lock(shared->mutex);
            shared->asked.wait(lock, [&] { return shared->wanted || shared->closed; });
            if (shared->closed) {
                return;
            }
        }
        char bytes[512];
        DWORD got = 0;
        // Ctrl+C ends a read with nothing, which is not the end: the interrupt comes its own
        // way.
        const bool read = ReadFile(input, bytes, sizeof bytes, &got, nullptr) != 0;
        const bool ended = !read && GetLastError() != ERROR_OPERATION_ABORTED;
        const std::lock_guard lock(shared->mutex);
        shared->arrived.append(bytes, got);
        shared->wanted = false;
        shared->ended = ended;
        if (shared->loop != nullptr) {
            shared->loop->wakeUp();
        }
        if (ended) {
            return;
        }
    }
}

// A console is read the way it wants to be: a line at a time, echoed and edited by the console
// as it is typed, on a thread of its own that reads only while a line is wanted, so that keys
// pressed during a run stay with the console, to be dropped before the next prompt.
class ConsoleBytes : public InputBytes {
  public:
    explicit ConsoleBytes(HANDLE input)
        : input_(input), shared_(std::make_shared<ConsoleShared>()) {
        shared_->loop = QAbstractEventDispatcher::instance();
        std::thread([shared = shared_, input] { ReadConsoleWhenAsked(shared, input); }).detach();
    }
    ~ConsoleBytes() override {
        const std::lock_guard lock(shared_->mutex);
        shared_->closed = true;
        shared_->loop = nullptr;
        shared_->asked.notify_all();
    }

    void TakeArrived(std::string& into) override {
        const std::lock_guard lock(shared_->mutex);
        into += shared_->arrived;
        shared_->arrived.clear();
        if (!shared_->wanted && !shared_->ended) {
            shared_->wanted = true;
            shared_->asked.notify_all();
        }
    }
    bool Ended() const override {
        const std::lock_guard lock(shared_->mutex);
        return shared_->ended && shared_->arrived.empty();
    }
    bool DropTypedAhead() override {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->wanted) {
            FlushConsoleInputBuffer(input_);
        }
        shared_->arrived.clear();
        return true;
    }

  private:
    HANDLE input_;
    std::shared_ptr<ConsoleShared> shared_;
};

// A pipe or a file is read only for what is there, never waiting in a read: a pipe has nothing
// the event loop could wait on, and under wine a thread waiting in a pipe's read keeps a call
// posted from elsewhere (an interrupt) from waking the loop. While a line is wanted, a timer
// looks every 50 ms.
class HandleBytes : public InputBytes {
  public:
    explicit HandleBytes(HANDLE input) : input_(input) {
        if (input == nullptr || input == INVALID_HANDLE_VALUE) {
            ended_ = true;  // started without standard input
        } else if (GetFileType(input) == FILE_TYPE_PIPE) {
            kind_ = Kind::Pipe;
        }
        look_.setInterval(50);
    }

    void TakeArrived(std::string& into) override {
        if (!ended_) {
            ReadWhatIsThere();
        }
        into += arrived_;
        arrived_.clear();
        // Until the next take, or for good at the end.
        if (ended_) {
            look_.stop();
        } else if (!look_.isActive()) {
            look_.start();
        }
    }
    bool Ended() const override { return ended_ && arrived_.empty(); }
    bool DropTypedAhead() override {
        look_.stop();
        return false;
    }

  private:
    enum class Kind { File, Pipe };

    void ReadWhatIsThere() {
        DWORD ready = 0;
        switch (kind_) {
            case Kind::Pipe:
                if (!PeekNamedPipe(input_, nullptr, 0, nullptr, &ready, nullptr)) {
                    if (GetLastError() != ERROR_NOT_SUPPORTED) {
                        ended_ = true;  // the writer is gone
                        return;
                    }
                    // wine's pipes from Linux cannot be looked into: they are read as a file,
                    // waiting in the read.
                    kind_ = Kind::File;
                    ready = sizeof buffer_;
                } else if (ready == 0) {
                    return;
                }
                break;
            case Kind::File:
                ready = sizeof buffer_;
                break;
        }
        DWORD got = 0;
        const DWORD wanted = ready < sizeof buffer_ ? ready : DWORD{sizeof buffer_};
        const BOOL read = ReadFile(input_, buffer_, wanted, &got, nullptr);
        arrived_.append(buffer_, got);
        if (!read || got == 0) {
            ended_ = true;
        }
    }

    HANDLE input_;
    Kind kind_ = Kind::File;
    bool ended_ = false;
    std::string arrived_;
    char buffer_[512];
    QTimer look_;
};

}  // namespace

std::unique_ptr<InputBytes> StandardInputBytes() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode) != 0) {
        return std::make_unique<ConsoleBytes>(input);
    }
    return std::make_unique<HandleBytes>(input);
}

}  // namespace vantrel::cli
