#pragma once

#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "engine/LoaderState.h"
#include "serial/RunView.h"

namespace vantrel {

// A window that only remembers: every status text, message, progress change and settings write
// of a run, with optional callbacks so a caller can show them as they come. Messages are
// answered at once (OK, or Yes for a question). UI thread only.
class RecordingView : public RunView {
  public:
    struct Message {
        QString text;
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
    };
    struct SettingWrite {
        QString section;
        QString name;
        QString value;
    };
    struct Callbacks {
        std::function<void(int port, const QString& text)> status;
        std::function<void(const Message& message)> message;
        std::function<void(int position)> progress;
        std::function<void(const SettingWrite& write)> setting;
    };

    void SetCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }
    // Keeps only each port's latest text and the bar's latest position: a long run's texts
    // would otherwise grow with the image and the number of units.
    void KeepLatestOnly() { latestOnly_ = true; }

    // RunView
    void SetStatusText(int port, const QString& text) override;
    MessageResult ShowMessage(const QString& text, MessageButtons buttons,
                              MessageIcon icon) override;
    void SetProgress(int position) override;
    void StepProgress() override;
    void EnableStart() override { ++startEnabled_; }
    void WriteSetting(const QString& section, const QString& name, const QString& value) override;

    // The text port N shows now; empty before the first one.
    QString Status(int port) const;
    // Every text port N was given, in order (the latest alone after KeepLatestOnly).
    const std::vector<QString>& StatusHistory(int port) const;
    const std::vector<Message>& Messages() const { return messages_; }
    // Texts of the messages, in order.
    std::vector<QString> MessageTexts() const;
    int Progress() const { return progress_; }
    int ProgressSteps() const { return progressSteps_; }
    // Every position the bar took, in order (each step included; the latest alone after
    // KeepLatestOnly).
    const std::vector<int>& ProgressHistory() const { return progressHistory_; }
    // How often Start was enabled again.
    int StartEnabledCount() const { return startEnabled_; }
    const std::vector<SettingWrite>& SettingWrites() const { return settingWrites_; }
    // Forgets everything recorded so far.
    void Clear();

  private:
    void ProgressChanged();

    Callbacks callbacks_;
    bool latestOnly_ = false;
    std::array<std::vector<QString>, kPortCount> statuses_{};
    std::vector<Message> messages_;
    int progress_ = 0;
    int progressSteps_ = 0;
    std::vector<int> progressHistory_;
    int startEnabled_ = 0;
    std::vector<SettingWrite> settingWrites_;
};

}  // namespace vantrel
