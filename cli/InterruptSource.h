#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/CliFailure.h"

namespace vantrel::cli {

// The requests from outside to stop a run, each turned into one call on the event loop's thread:
// on Linux SIGINT (Ctrl+C), SIGTERM and SIGHUP (the terminal or ssh session closes); on Windows
// Ctrl+C, Ctrl+Break and the console window closing, taken as the same three. A reader of the
// output that goes away shows up as a failed write, never as the end of the program.
// One at a time; it needs a QCoreApplication, and keeps listening until it is destroyed.
class InterruptSource {
  public:
    explicit InterruptSource(std::function<void()> onInterrupt);
    ~InterruptSource();
    InterruptSource(const InterruptSource&) = delete;
    InterruptSource& operator=(const InterruptSource&) = delete;

    // Starts listening; why it cannot, if it cannot.
    std::optional<CliFailure> Start();
    // Set the moment a request comes, before the call reaches the event loop: a wait that
    // holds this thread (on the run log) looks at it and ends at once.
    static const std::atomic<bool>& Requested();

  private:
    struct Platform;

    std::function<void()> onInterrupt_;
    // The calls are queued to it, so none is made once this is gone.
    QObject receiver_;
    std::unique_ptr<Platform> platform_;
};

}  // namespace vantrel::cli
