#include "cli/StationLoop.h"

#include <algorithm>
#include <cctype>

#include "cli/ExitCodes.h"
#include "cli/LineInput.h"

namespace vantrel::cli {
namespace {

std::string Trimmed(std::string text) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

}  // namespace

StationLoop::StationLoop(const CliOptions& options, CliRunner& runner, std::ostream& out,
                         std::ostream& err, LineInput* input, const std::atomic<bool>* stop)
    : options_(options), runner_(runner), out_(out), err_(err), input_(input), stop_(stop) {}

StationLoop::~StationLoop() = default;

int StationLoop::Run() {
    if (options_.logTarget) {
        if (const auto refused = OpenLog()) {
            return *refused;
        }
        runner_.SetBeforeUnits([this](const RunSummary& summary) {
            const bool recorded = recorder_->RecordStart(summary);
            // A stop that came while the log was waited for leaves the units alone.
            if (Stopping()) {
                runner_.RequestInterrupt();
                return false;
            }
            return recorded;
        });
    }
    int code = kExitNothingFlashed;
    do {
        code = runner_.Run();
        // Safe on the disk before the result is shown; into the log after it, so a slow log
        // never holds the result back.
        Keep(runner_.Summary());
        Print(runner_.Summary());
        if (recorder_) {
            recorder_->Flush();
        }
    } while (options_.loop && !Stopping() && NextBatch());
    if (recorder_) {
        for (const std::string& line : recorder_->LeftOver()) {
            err_ << "vantrel-cli: " << line << '\n';
        }
        if (recorder_->SomeNotRecorded()) {
            return kExitNotRecorded;
        }
    }
    return Stopping() ? kExitInterrupted : code;
}

bool StationLoop::Stopping() const {
    return runner_.Interrupted() || (stop_ != nullptr && stop_->load());
}

std::optional<int> StationLoop::OpenLog() {
    recorder_ = std::make_unique<StationRecorder>(
        *options_.logTarget, DefaultStationNames(options_.station, options_.operatorName),
        "vantrel-cli", [this](const std::string& line) { err_ << "vantrel-cli: " << line << '\n'; },
        stop_);
    try {
        recorder_->Open();
    } catch (const RunLogError& error) {
        recorder_.reset();
        if (error.Kind() == LogFailure::Stopped) {
            return kExitInterrupted;
        }
        err_ << "vantrel-cli: " << error.what() << '\n';
        return kExitNothingFlashed;
    }
    return std::nullopt;
}

void StationLoop::Keep(const RunSummary& summary) {
    if (options_.loop) {
        tally_.Add(summary);
    }
    if (recorder_) {
        recorder_->RecordEnd(summary);
    }
}
void StationLoop::Print(const RunSummary& summary) {
    if (options_.json) {
        out_ << summary.Json(options_.loop ? QJsonObject{{"tally", tally_.Json()}} : QJsonObject{});
    } else {
        out_ << summary.Text() << (options_.loop ? "\n" + tally_.Text() : std::string());
    }
    out_ << std::flush;
}

bool StationLoop::NextBatch() {
    input_->DropTypedAhead();
    for (;;) {
        err_ << kPrompt << '\n' << std::flush;
        if (err_.fail()) {
            return false;  // nobody left to answer
        }
        const auto line = input_->Next([this] { return Stopping(); });
        if (!line) {
            return false;
        }
        const std::string answer = Trimmed(*line);
        if (answer.empty()) {
            return true;
        }
        if (answer == "q" || answer == "Q") {
            return false;
        }
    }
}

}  // namespace vantrel::cli
