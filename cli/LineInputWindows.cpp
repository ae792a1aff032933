#include <windows.h>

#include <QTimer>
#include <vector>

#include "cli/LineInput.h"

namespace vantrel::cli {
namespace {

// Reads only what is there, never waiting in a read: a console or pipe has nothing the event
// loop could wait on, and a thread waiting in a read would keep an interrupt from waking the
// loop under wine. While a line is wanted, a timer looks every 50 ms.
class HandleBytes : public InputBytes {
  public:
    explicit HandleBytes(HANDLE input) : input_(input) {
        DWORD mode = 0;
        if (input == nullptr || input == INVALID_HANDLE_VALUE) {
            ended_ = true;  // started without standard input
        } else if (GetConsoleMode(input, &mode) != 0) {
            kind_ = Kind::Console;
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
        if (kind_ != Kind::Console) {
            return false;
        }
        FlushConsoleInputBuffer(input_);
        arrived_.clear();
        return true;
    }

  private:
    enum class Kind { File, Pipe, Console };

    void ReadWhatIsThere() {
        DWORD ready = 0;
        switch (kind_) {
            case Kind::Console:
                // The console hands over a line only once Enter is in; until then a read would
                // wait.
                if (!EnterTyped()) {
                    return;
                }
                ready = sizeof buffer_;
                break;
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
        // Ctrl+C at a console ends its read with nothing; the interrupt comes its own way.
        if (got == 0 && kind_ != Kind::Console) {
            ended_ = true;
        } else if (!read && GetLastError() != ERROR_OPERATION_ABORTED) {
            ended_ = true;
        }
    }

    bool EnterTyped() const {
        DWORD count = 0;
        if (!GetNumberOfConsoleInputEvents(input_, &count) || count == 0) {
            return false;
        }
        std::vector<INPUT_RECORD> records(count);
        DWORD seen = 0;
        if (!PeekConsoleInputW(input_, records.data(), count, &seen)) {
            return false;
        }
        for (DWORD i = 0; i < seen; ++i) {
            const INPUT_RECORD& r = records[i];
            if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown &&
                r.Event.KeyEvent.wVirtualKeyCode == VK_RETURN) {
                return true;
            }
        }
        return false;
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
    return std::make_unique<HandleBytes>(GetStdHandle(STD_INPUT_HANDLE));
}

}  // namespace vantrel::cli
