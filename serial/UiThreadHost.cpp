#include "serial/UiThreadHost.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

// How often a waiting worker looks at the stop signal, which cannot wake it itself.
constexpr std::chrono::milliseconds kStopCheck{5};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The state of one posted call, shared by the waiting worker and the call itself.
class Completion {
  public:
    // The call is about to run; false when the worker has given up on it already.
    bool Begin() {
        std::lock_guard lock(mutex_);
        started_ = !abandoned_;
        return started_;
    }
    void MarkDone() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }
    // Waits until the call is over or a stop is requested; a call that has not begun by then
    // never will, even if a later run clears the stop.
    void WaitUntilDone(const StopSignal& stop) {
        std::unique_lock lock(mutex_);
        while (!done_) {
            if (stop.StopRequested()) {
                abandoned_ = !started_;
                return;
            }
            changed_.wait_for(lock, kStopCheck);
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool started_ = false;
    bool abandoned_ = false;
    bool done_ = false;
};

// Held by the posted call only; when the call goes, run or not, the waiter is released.
struct CompletionGuard {
    explicit CompletionGuard(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
    CompletionGuard(const CompletionGuard&) = delete;
    CompletionGuard& operator=(const CompletionGuard&) = delete;
    ~CompletionGuard() { completion->MarkDone(); }
    std::shared_ptr<Completion> completion;
};

}  // namespace

UiThreadHost::UiThreadHost(QObject& context, SerialLink& link, RunView& view, StopSignal& stop)
    : context_(context), mailbox_(new CallMailbox), link_(link), view_(view), stop_(stop) {
    // The context may live on another thread than the one building the host.
    mailbox_->moveToThread(context.thread());
    mailbox_->setParent(&context);
}

void UiThreadHost::OnUiThread(std::function<void()> call) {
    if (stop_.StopRequested()) {
        return;
    }
    if (QThread::currentThread() == context_.thread()) {
        call();
        return;
    }
    auto completion = std::make_shared<Completion>();
    auto guard = std::make_shared<CompletionGuard>(completion);
    StopSignal* stop = &stop_;
    mailbox_->Post([stop, guard = std::move(guard), call = std::move(call)] {
        // The worker may have given up on this call: after a stop nothing is touched.
        if (!stop->StopRequested() && guard->completion->Begin()) {
            call();
        }
        guard->completion->MarkDone();
    });
    completion->WaitUntilDone(stop_);
}

void UiThreadHost::SetStatusText(int port, std::string_view text) {
    OnUiThread([this, port, value = Text(text)] { view_.SetStatusText(port, value); });
}

void UiThreadHost::SetStatusTexts(std::span<const StatusUpdate> updates) {
    std::vector<std::pair<int, QString>> texts;
    texts.reserve(updates.size());
    for (const StatusUpdate& update : updates) {
        texts.emplace_back(update.port, Text(update.text));
    }
    OnUiThread([this, texts = std::move(texts)] {
        for (const auto& [port, text] : texts) {
            view_.SetStatusText(port, text);
        }
    });
}

MessageResult UiThreadHost::ShowMessage(std::string_view text, MessageButtons buttons,
                                        MessageIcon icon) {
    // A box never shown counts as declined.
    auto result = std::make_shared<MessageResult>(
        buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::No);
    OnUiThread([this, result, value = Text(text), buttons, icon] {
        *result = view_.ShowMessage(value, buttons, icon);
    });
    return *result;
}

void UiThreadHost::ClosePort(int port) {
    OnUiThread([this, port] { link_.ClosePort(port); });
}

void UiThreadHost::CloseSelectedPorts() {
    OnUiThread([this] { link_.CloseSelectedPorts(); });
}

void UiThreadHost::EnableStart() {
    OnUiThread([this] { view_.EnableStart(); });
}

void UiThreadHost::Sleep(std::chrono::milliseconds duration) {
    stop_.WaitFor(duration);
}

void UiThreadHost::SetLineSettings(std::string_view settings) {
    const QString text = Text(settings);
    for (int port = 1; port <= kPortCount; ++port) {
        if (stop_.StopRequested()) {
            return;
        }
        if (!link_.IsSelected(port)) {
            continue;
        }
        OnUiThread([this, port, text] { link_.ApplyLineSettings(port, text); });
        Sleep(kLineSettingsPause);
    }
}

void UiThreadHost::WriteToSelected(std::span<const std::uint8_t> bytes) {
    // A copy: the worker's buffer may be gone by the time a dropped call is destroyed.
    const QByteArray packet(reinterpret_cast<const char*>(bytes.data()),
                            static_cast<qsizetype>(bytes.size()));
    OnUiThread([this, packet] { link_.WriteToSelected(packet); });
}

void UiThreadHost::WriteSetting(std::string_view section, std::string_view name,
                                std::string_view value) {
    OnUiThread([this, s = Text(section), n = Text(name), v = Text(value)] {
        view_.WriteSetting(s, n, v);
    });
}

void UiThreadHost::SetProgress(int position) {
    OnUiThread([this, position] { view_.SetProgress(position); });
}

void UiThreadHost::StepProgress() {
    OnUiThread([this] { view_.StepProgress(); });
}

}  // namespace vantrel
