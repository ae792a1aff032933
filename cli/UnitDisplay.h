#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/LoaderState.h"

namespace vantrel::cli {

// What the user sees while a run goes on. On a terminal: one live line per unit and a progress
// bar with bytes sent and a time estimate, redrawn in place. Otherwise plain lines: each unit's
// changes of stage (the per-chunk texts once each) and the progress every tenth. Nothing of the
// transfer shows until the run reaches a unit, so a run refused at the start shows only its
// message.
class UnitDisplay {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Unit {
        int port = 0;
        std::string label;  // "COM3" or "COM3 (/dev/ttyUSB0)"
    };

    UnitDisplay(std::ostream& out, bool live, std::vector<Unit> units, std::size_t demonBytes,
                std::size_t romBytes, Clock clock = std::chrono::steady_clock::now);

    void Status(int port, const std::string& text);
    void Message(const std::string& text);
    void Progress(int position);
    // Leaves the live block as it stands, with the cursor below it.
    void Finish();

    // "[#####.....]  50%  1,024 / 2,048 bytes  ETA 0:03", for the image being sent.
    std::string ProgressLine() const;

  private:
    enum class Phase { Demon, Firmware };

    // Live mode draws at most ten times a second unless forced.
    void Redraw(bool force = false);
    void PlainProgress();
    std::size_t UnitIndex(int port) const;

    std::ostream& out_;
    bool live_;
    std::vector<Unit> units_;
    std::vector<std::string> status_;
    std::vector<std::vector<std::string>> printed_;  // plain mode: chunk texts already shown
    std::size_t demonBytes_;
    std::size_t romBytes_;
    Clock clock_;
    Phase phase_ = Phase::Demon;
    int position_ = 0;
    int lastPlainTenth_ = -1;
    bool sawFull_ = false;
    bool started_ = false;  // live mode draws nothing until the run reaches a unit
    std::chrono::steady_clock::time_point phaseStart_;
    std::size_t drawnLines_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// 1234567 -> "1,234,567"
std::string GroupThousands(std::size_t value);

}  // namespace vantrel::cli
