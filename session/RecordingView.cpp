#include "session/RecordingView.h"

namespace vantrel {

void RecordingView::SetStatusText(int port, const QString& text) {
    auto& history = statuses_[PortIndex(port)];
    if (latestOnly_) {
        history.clear();
    }
    history.push_back(text);
    if (callbacks_.status) {
        callbacks_.status(port, text);
    }
}

MessageResult RecordingView::ShowMessage(const QString& text, MessageButtons buttons,
                                         MessageIcon icon) {
    const Message message{text, buttons, icon};
    messages_.push_back(message);
    if (callbacks_.message) {
        callbacks_.message(message);
    }
    return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Yes;
}

void RecordingView::SetProgress(int position) {
    progress_ = position;
    ProgressChanged();
}

void RecordingView::StepProgress() {
    ++progressSteps_;
    ++progress_;
    ProgressChanged();
}

void RecordingView::WriteSetting(const QString& section, const QString& name,
                                 const QString& value) {
    settingWrites_.push_back({section, name, value});
    if (callbacks_.setting) {
        callbacks_.setting(settingWrites_.back());
    }
}

QString RecordingView::Status(int port) const {
    const auto& history = statuses_[PortIndex(port)];
    return history.empty() ? QString() : history.back();
}

const std::vector<QString>& RecordingView::StatusHistory(int port) const {
    return statuses_[PortIndex(port)];
}

std::vector<QString> RecordingView::MessageTexts() const {
    std::vector<QString> texts;
    texts.reserve(messages_.size());
    for (const auto& message : messages_) {
        texts.push_back(message.text);
    }
    return texts;
}

void RecordingView::Clear() {
    for (auto& history : statuses_) {
        history.clear();
    }
    messages_.clear();
    progress_ = 0;
    progressSteps_ = 0;
    progressHistory_.clear();
    startEnabled_ = 0;
    settingWrites_.clear();
}

void RecordingView::ProgressChanged() {
    if (latestOnly_) {
        progressHistory_.clear();
    }
    progressHistory_.push_back(progress_);
    if (callbacks_.progress) {
        callbacks_.progress(progress_);
    }
}

}  // namespace vantrel
