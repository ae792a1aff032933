#include "serial/UiThreadHost.h"

#include "settings/SettingsStore.h"
#include "threading/UiThreadCall.h"

#include <QMetaObject>
#include <QThread>
#include <memory>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

UiThreadHost::UiThreadHost(QObject& context, SerialLink& link, RunView& view, StopSignal& stop)
    : mailbox_(new CallMailbox),
      link_(link),
      view_(view),
      stop_(stop),
      postedError_(std::make_shared<std::exception_ptr>()) {
    // The context may live on another thread than the one building the host.
    mailbox_->moveToThread(context.thread());
    mailbox_->setParent(&context);
    progressConnection_ = QObject::connect(&link_, &SerialLink::AcknowledgementCounted, mailbox_,
                                           [this] { AcknowledgementCounted(); });
}

// The stop signal may go before the link does.
UiThreadHost::~UiThreadHost() {
    QObject::disconnect(progressConnection_);
}

void UiThreadHost::AcknowledgementCounted() {
    // The next chunk goes out here, at once, when this ACK was the last the worker waited for;
    // the worker is woken only when its wait can end.
    const auto due =
        stop_.StopRequested() ? std::span<const std::uint8_t>() : link_.State().TakeDueChunk();
    if (!due.empty()) {
        struct Written {
            LoaderState& state;
            ~Written() { state.ChunkWritten(); }
        } written{link_.State()};
        link_.WriteToSelected(due);
    }
    if (!due.empty() || link_.State().WaitDecided()) {
        stop_.NotifyProgress();
    }
}

void UiThreadHost::OnUiThread(std::function<void()> call) {
    auto queued = std::exchange(queued_, {});
    const bool ran = CallOnMailboxThread(
        *mailbox_, stop_,
        [error = postedError_, queued = std::move(queued), call = std::move(call)] {
            if (*error) {
                std::rethrow_exception(std::exchange(*error, nullptr));
            }
            for (const auto& operation : queued) {
                operation();
            }
            call();
        });
    if (!ran) {
        Stopped();
    }
}

void UiThreadHost::Queue(std::function<void()> operation) {
    if (stop_.StopRequested()) {
        Stopped();
    }
    if (QThread::currentThread() == mailbox_->thread()) {
        operation();
        return;
    }
    queued_.push_back(std::move(operation));
}

void UiThreadHost::PostQueued() {
    if (queued_.empty()) {
        return;
    }
    mailbox_->Post([stop = &stop_, error = postedError_, queued = std::exchange(queued_, {})] {
        if (stop->StopRequested() || *error) {
            return;
        }
        // Nobody waits for these: what one throws waits for the worker's next crossing.
        try {
            for (const auto& operation : queued) {
                operation();
            }
        } catch (...) {
            *error = std::current_exception();
        }
    });
}

void UiThreadHost::Stopped() {
    queued_.clear();
    postedError_ = std::make_shared<std::exception_ptr>();
    throw RunStopped{};
}

void UiThreadHost::SetStatusTexts(std::span<const StatusUpdate> updates) {
    std::vector<std::pair<int, QString>> texts;
    texts.reserve(updates.size());
    for (const StatusUpdate& update : updates) {
        texts.emplace_back(update.port, Text(update.text));
    }
    Queue([this, texts = std::move(texts)] {
        for (const auto& [port, text] : texts) {
            view_.SetStatusText(port, text);
        }
    });
}

MessageResult UiThreadHost::ShowMessage(std::string_view text, MessageButtons buttons,
                                        MessageIcon icon) {
    // Shared: after a stop the box may still be open when the worker has gone on.
    auto result = std::make_shared<MessageResult>(MessageResult::Ok);
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

DownloadHost::Clock::time_point UiThreadHost::Now() {
    return Clock::now();
}

void UiThreadHost::SleepUntil(Clock::time_point deadline) {
    PostQueued();
    if (stop_.StopRequested() || stop_.WaitUntil(deadline)) {
        Stopped();
    }
}

void UiThreadHost::WaitForAcknowledgement(Clock::time_point deadline) {
    PostQueued();
    if (stop_.StopRequested() || stop_.WaitForProgress(deadline, progressSeen_)) {
        Stopped();
    }
}

void UiThreadHost::SetLineSettings(const LineSettings& settings) {
    for (int port = 1; port <= kPortCount; ++port) {
        if (!link_.IsSelected(port)) {
            continue;
        }
        OnUiThread([this, port, settings] { link_.ApplyLineSettings(port, settings); });
        Sleep(kLineSettingsPause);
    }
}

void UiThreadHost::WriteToSelected(std::span<const std::uint8_t> bytes) {
    // A copy: the worker's buffer may be gone by the time a dropped call is destroyed.
    const QByteArray packet(reinterpret_cast<const char*>(bytes.data()),
                            static_cast<qsizetype>(bytes.size()));
    OnUiThread([this, packet] { link_.WriteToSelected(packet); });
}

void UiThreadHost::RememberSettings(std::string_view romPath, std::string_view baseAddressText) {
    OnUiThread([this, path = Text(romPath), base = Text(baseAddressText)] {
        view_.WriteSetting(SettingsStore::kRomFileSection, SettingsStore::kNameAndPathValue, path);
        view_.WriteSetting(SettingsStore::kMiscSection, SettingsStore::kFwBaseAddrValue, base);
    });
}

void UiThreadHost::SetProgress(int position) {
    Queue([this, position] { view_.SetProgress(position); });
}

void UiThreadHost::StepProgress() {
    Queue([this] { view_.StepProgress(); });
}

void UiThreadHost::TakeInArrived() {
    OnUiThread([this] { link_.TakeInArrived(); });
}

}  // namespace vantrel
