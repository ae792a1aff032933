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
    if (options_.logTarget && !OpenLog()) {
        return kExitNothingFlashed;
    }
    int code = kExitNothingFlashed;
    do {
        code = runner_.Run();
        Record(runner_.Summary());
        Print(runner_.Summary());
    } while (options_.loop && !runner_.Interrupted() && NextBatch());
    if (!unwritten_.empty()) {
        err_ << "vantrel-cli: " << unwritten_.size() << " run(s) not recorded in the log\n";
    }
    return runner_.Interrupted() ? kExitInterrupted : code;
}

bool StationLoop::OpenLog() {
    const auto target = ParseLogTarget(*options_.logTarget);
    if (const auto* error = std::get_if<LogTargetError>(&target)) {
        err_ << "vantrel-cli: " << error->text << '\n';
        return false;
    }
    try {
        log_ = std::make_unique<RunLog>(std::get<LogTarget>(target));
    } catch (const RunLogError& error) {
        err_ << "vantrel-cli: cannot open the log " << *options_.logTarget << ": " << error.what()
             << '\n';
        return false;
    }
    names_ = DefaultStationNames(options_.station, options_.operatorName);
    return true;
}

void StationLoop::Record(const RunSummary& summary) {
    if (options_.loop) {
        tally_.Add(summary);
    }
    if (!log_) {
        return;
    }
    unwritten_.push_back(MakeRunRecord(summary, names_));
    while (!unwritten_.empty()) {
        try {
            log_->Write(unwritten_.front());
        } catch (const RunLogError& error) {
            // The run's result stands; the next run tries again.
            err_ << "vantrel-cli: cannot write to the log " << *options_.logTarget << ": "
                 << error.what() << '\n';
            return;
        }
        unwritten_.pop_front();
    }
}

void StationLoop::Print(const RunSummary& summary) {
    if (options_.json) {
        out_ << summary.Json(options_.loop ? tally_.JsonMember() : std::string());
    } else {
        out_ << summary.Text() << (options_.loop ? "\n" + tally_.Text() : std::string());
    }
    out_ << std::flush;
}

bool StationLoop::NextBatch() {
    input_->DropTypedAhead();
    for (;;) {
        err_ << kPrompt << '\n' << std::flush;
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
