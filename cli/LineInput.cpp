#include "cli/LineInput.h"

#include <QCoreApplication>

namespace vantrel::cli {

LineInput::LineInput(std::unique_ptr<InputBytes> bytes) : bytes_(std::move(bytes)) {}

std::optional<std::string> LineInput::Next(const std::function<bool()>& stop) {
    for (;;) {
        bytes_->TakeArrived(buffer_);
        if (const auto end = buffer_.find('\n'); end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        if (stop()) {
            return std::nullopt;
        }
        if (bytes_->Ended()) {
            // A last line without its end still counts.
            std::string rest;
            rest.swap(buffer_);
            return rest.empty() ? std::nullopt : std::optional<std::string>(rest);
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void LineInput::DropTypedAhead() {
    if (bytes_->DropTypedAhead()) {
        buffer_.clear();
    }
}

}  // namespace vantrel::cli
