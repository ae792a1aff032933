#pragma once

#include <QString>

#include "engine/DownloadHost.h"

namespace vantrel {

// The window side of a session: what the user sees. Called on the UI thread only.
class RunView {
  public:
    virtual ~RunView() = default;
    virtual void SetStatusText(int port, const QString& text) = 0;
    virtual MessageResult ShowMessage(const QString& text, MessageButtons buttons,
                                      MessageIcon icon) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void StepProgress() = 0;
    virtual void EnableStart() = 0;
    // A run is about to start: Start stays disabled until the run enables it again.
    virtual void DisableStart() {}
    virtual void WriteSetting(const QString& section, const QString& name,
                              const QString& value) = 0;
};

}  // namespace vantrel
