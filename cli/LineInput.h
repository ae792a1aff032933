#pragma once

#include <QSocketNotifier>
#include <functional>
#include <optional>
#include <string>

namespace vantrel::cli {

// Lines from a descriptor (standard input), read while the event loop goes on, so that an
// interrupt handled there ends a wait at once.
class LineInput {
  public:
    explicit LineInput(int fd);

    // The next line without its end. Nothing at the end of input, or as soon as stop() holds.
    std::optional<std::string> Next(const std::function<bool()>& stop);
    // Forgets what was typed ahead (on a terminal), so a key pressed during a run does not
    // start the next one before the units are replaced.
    void DropTypedAhead();

  private:
    void ReadSome();

    int fd_;
    QSocketNotifier notifier_;
    std::string buffer_;
    bool ended_ = false;
};

}  // namespace vantrel::cli
