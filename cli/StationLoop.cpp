#include "cli/StationLoop.h"

#include <algorithm>
#include <cctype>

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
                         std::ostream& err, LineInput* input)
    : options_(options), runner_(runner), out_(out), err_(err), input_(input) {}

StationLoop::~StationLoop() = default;

int StationLoop::Run() {
    if (options_.logTarget) {
        if (!OpenLog()) {
            return kExitNothingFlashed;
        }
        runner_.SetBeforeUnits(
            [this](const RunSummary& summary) { return recorder_->RecordStart(summary); });
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
    } while (options_.loop && !runner_.Interrupted() && NextBatch());
    if (recorder_) {
        for (const std::string& line : recorder_->LeftOver()) {
            err_ << "vantrel-cli: " << line << '\n';
        }
        if (recorder_->SomeNotRecorded()) {
            return kExitNotRecorded;
        }
    }
    return runner_.Interrupted() ? kExitInterrupted : code;
}

bool StationLoop::OpenLog() {
    recorder_ = std::make_unique<StationRecorder>(
        *options_.logTarget, DefaultStationNames(options_.station, options_.operatorName),
        [this](const std::string& line) { err_ << "vantrel-cli: " << line << '\n'; });
    if (const auto error = recorder_->Open()) {
        err_ << "vantrel-cli: " << *error << '\n';
        recorder_.reset();
        return false;
    }
    return true;
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
        const auto line = input_->Next([this] { return runner_.Interrupted(); });
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
