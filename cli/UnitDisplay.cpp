#include "cli/UnitDisplay.h"

#include <algorithm>
#include <cstdio>

namespace vantrel::cli {
namespace {

constexpr int kBarWidth = 30;

// Texts a unit shows once per chunk; plain output prints each only the first time.
bool IsChunkText(const std::string& text) {
    return text == "Demon Load Cmd Sent" || text == "Demon Load Cmd Ack" ||
           text == "FW Load Cmd Sent" || text == "FW Load Cmd Ack";
}

std::string Duration(std::chrono::seconds seconds) {
    const long total = static_cast<long>(seconds.count());
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

std::string GroupThousands(std::size_t value) {
    // Built front to back: inserting commas trips a false GCC 12 warning in Release builds.
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

UnitDisplay::UnitDisplay(std::ostream& out, bool live, std::vector<Unit> units,
                         std::size_t demonBytes, std::size_t romBytes, Clock clock)
    : out_(out),
      live_(live),
      units_(std::move(units)),
      status_(units_.size()),
      printed_(units_.size()),
      demonBytes_(demonBytes),
      romBytes_(romBytes),
      clock_(std::move(clock)),
      phaseStart_(clock_()) {}

std::size_t UnitDisplay::UnitIndex(int port) const {
    return static_cast<std::size_t>(
        std::find_if(units_.begin(), units_.end(),
                     [port](const auto& unit) { return unit.port == port; }) -
        units_.begin());
}

void UnitDisplay::Status(int port, const std::string& text) {
    const std::size_t index = UnitIndex(port);
    if (index == units_.size() || status_[index] == text) {
        return;
    }
    status_[index] = text;
    if (live_) {
        Redraw();
        return;
    }
    if (IsChunkText(text)) {
        auto& seen = printed_[index];
        if (std::find(seen.begin(), seen.end(), text) != seen.end()) {
            return;
        }
        seen.push_back(text);
    }
    out_ << units_[index].label << ": " << text << '\n' << std::flush;
}

void UnitDisplay::Message(const std::string& text) {
    const bool redraw = live_ && drawnLines_ > 0;
    if (redraw) {
        // Print above the live block, then draw it again below.
        out_ << "\x1b[" << drawnLines_ << "F\x1b[J";
        drawnLines_ = 0;
    }
    out_ << text << '\n';
    if (redraw) {
        Redraw(true);
    }
    out_ << std::flush;
}

void UnitDisplay::Progress(int position) {
    if (position == 0 && sawFull_ && phase_ == Phase::Demon) {
        phase_ = Phase::Firmware;
        phaseStart_ = clock_();
        lastPlainTenth_ = -1;
    }
    sawFull_ = sawFull_ || position >= 100;
    position_ = std::clamp(position, 0, 100);
    if (live_) {
        Redraw();
    } else {
        PlainProgress();
    }
}

void UnitDisplay::PlainProgress() {
    const int tenth = position_ / 10;
    if (tenth == lastPlainTenth_) {
        return;
    }
    lastPlainTenth_ = tenth;
    out_ << ProgressLine() << '\n' << std::flush;
}

std::string UnitDisplay::ProgressLine() const {
    const std::size_t total = phase_ == Phase::Demon ? demonBytes_ : romBytes_;
    const std::size_t sent = total * static_cast<std::size_t>(position_) / 100;
    const int filled = position_ * kBarWidth / 100;
    std::string line = phase_ == Phase::Demon ? "Demon    [" : "Firmware [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %3d%%  ", position_);
    line += percent;
    line += GroupThousands(sent) + " / " + GroupThousands(total) + " bytes";
    if (position_ > 0 && position_ < 100) {
        const auto elapsed = clock_() - phaseStart_;
        const auto left = elapsed * (100 - position_) / position_;
        line += "  ETA " + Duration(std::chrono::ceil<std::chrono::seconds>(left));
    }
    return line;
}

void UnitDisplay::Redraw(bool force) {
    started_ = true;
    const auto now = clock_();
    if (!force && drawnLines_ > 0 && now - lastDraw_ < std::chrono::milliseconds(100)) {
        return;
    }
    lastDraw_ = now;
    if (drawnLines_ > 0) {
        out_ << "\x1b[" << drawnLines_ << 'F';
    }
    for (std::size_t i = 0; i < units_.size(); ++i) {
        out_ << "\x1b[2K" << units_[i].label << ": " << status_[i] << '\n';
    }
    out_ << "\x1b[2K" << ProgressLine() << '\n' << std::flush;
    drawnLines_ = units_.size() + 1;
}

void UnitDisplay::Finish() {
    if (live_ && started_) {
        Redraw(true);
    }
    out_ << std::flush;
}

}  // namespace vantrel::cli
