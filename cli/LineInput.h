#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::cli {

// The bytes of standard input as they come, read the platform's way while the event loop goes
// on; whatever arrives, and the end, wakes the loop.
class InputBytes {
  public:
    virtual ~InputBytes() = default;
    // Moves what has arrived to the end of `into`; where reading is done by looking, keeps
    // looking until the next take.
    virtual void TakeArrived(std::string& into) = 0;
    // The end of input was read, or reading failed.
    virtual bool Ended() const = 0;
    // On a terminal or console, forgets what it holds unread and answers true; false otherwise.
    virtual bool DropTypedAhead() = 0;
};

// Standard input: a terminal, a console, a pipe or a file.
std::unique_ptr<InputBytes> StandardInputBytes();

// Lines from standard input, read while the event loop goes on, so that an interrupt handled
// there ends a wait at once.
class LineInput {
  public:
    explicit LineInput(std::unique_ptr<InputBytes> bytes = StandardInputBytes());

    // The next line without its end. Nothing at the end of input, or as soon as stop() holds.
    std::optional<std::string> Next(const std::function<bool()>& stop);
    // Forgets what was typed ahead (on a terminal), so a key pressed during a run does not
    // start the next one before the units are replaced.
    void DropTypedAhead();

  private:
    std::unique_ptr<InputBytes> bytes_;
    std::string buffer_;
};

}  // namespace vantrel::cli
