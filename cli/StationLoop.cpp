#include "cli/StationLoop.h"

#include <algorithm>
#include <cctype>

#include "cli/LineInput.h"
#include "runlog/IsoTime.h"

#include <QDateTime>
#include <QFileInfo>

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
        runner_.SetBeforeUnits([this](const RunSummary& summary) { return RecordStart(summary); });
    }
    int code = kExitNothingFlashed;
    do {
        code = runner_.Run();
        // Safe on the disk before the result is shown; into the log after it, so a slow log
        // never holds the result back.
        Keep(runner_.Summary());
        Print(runner_.Summary());
        Flush();
    } while (options_.loop && !runner_.Interrupted() && NextBatch());
    if (recorder_ && recorder_->Spooled() > 0) {
        err_ << "vantrel-cli: " << recorder_->Spooled() << " record(s) wait in "
             << recorder_->Spool().Path().toStdString()
             << " and go to the log with the next run of this log\n";
    }
    if (recorder_ && recorder_->OnlyInMemory() > 0) {
        err_ << "vantrel-cli: " << recorder_->OnlyInMemory()
             << " run(s) are not recorded: neither the log nor the spool took them; copy the "
                "summaries above into the record by hand\n";
        return kExitNotRecorded;
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
        err_ << "vantrel-cli: cannot open the log " << ShownLogTarget(*options_.logTarget) << ": "
             << error.what() << '\n';
        return false;
    }
    names_ = DefaultStationNames(options_.station, options_.operatorName);
    recorder_ = std::make_unique<RunRecorder>(*log_, RunSpool(RunSpool::PathFor(SpoolName())));
    // What an earlier start left behind goes first, then the runs it never finished are told.
    Flush();
    try {
        for (const InterruptedRun& run :
             log_->CloseInterrupted(names_.station, IsoUtc(std::chrono::system_clock::now()))) {
            err_ << "vantrel-cli: " << InterruptedText(run) << '\n';
        }
    } catch (const RunLogError& error) {
        err_ << "vantrel-cli: cannot read the log " << ShownLogTarget(*options_.logTarget) << ": "
             << error.what() << '\n';
    }
    return true;
}

std::string StationLoop::SpoolName() const {
    // One log named two ways (a relative file path) still has one spool.
    const auto target = ParseLogTarget(*options_.logTarget);
    if (const auto* parsed = std::get_if<LogTarget>(&target)) {
        if (const auto* file = std::get_if<SqliteTarget>(parsed)) {
            return QFileInfo(QString::fromStdString(file->path)).absoluteFilePath().toStdString();
        }
    }
    return ShownLogTarget(*options_.logTarget);
}

bool StationLoop::RecordStart(const RunSummary& summary) {
    std::string error;
    if (!recorder_->Keep(MakeRunningRecord(summary, names_), error)) {
        err_ << "vantrel-cli: cannot keep the run's record: " << error << '\n';
    }
    const auto refusal = recorder_->Flush();
    if (recorder_->OnlyInMemory() > 0) {
        // Neither the disk nor the log has it: a unit flashed now could leave no trace.
        err_ << "vantrel-cli: the run cannot be recorded"
             << (refusal ? ": " + *refusal : std::string()) << "; nothing flashed\n";
        return false;
    }
    if (refusal) {
        ReportUnwritten(*refusal);
    }
    return true;
}

void StationLoop::Keep(const RunSummary& summary) {
    if (options_.loop) {
        tally_.Add(summary);
    }
    if (!recorder_) {
        return;
    }
    std::string error;
    if (!recorder_->Keep(MakeRunRecord(summary, names_), error)) {
        err_ << "vantrel-cli: cannot keep the run's record: " << error << '\n';
    }
}

void StationLoop::Flush() {
    if (!recorder_) {
        return;
    }
    if (const auto refusal = recorder_->Flush()) {
        ReportUnwritten(*refusal);
    }
}

void StationLoop::ReportUnwritten(const std::string& reason) {
    // The run's result stands; the record waits and goes with the next write.
    err_ << "vantrel-cli: cannot write to the log " << ShownLogTarget(*options_.logTarget) << ": "
         << reason << '\n';
}

std::string InterruptedText(const InterruptedRun& run) {
    const QDateTime started =
        QDateTime::fromString(QString::fromStdString(run.startedAt), Qt::ISODate).toLocalTime();
    const bool today = started.date() == QDate::currentDate();
    std::string ports;
    for (const std::string& port : run.comPorts) {
        ports += (ports.empty() ? "" : ", ") + port;
    }
    return "run " + std::to_string(run.id) + " of " +
           started.toString(today ? "HH:mm" : "yyyy-MM-dd HH:mm").toStdString() + " on " +
           run.station + " did not finish: " + (ports.empty() ? "no unit" : ports) +
           " may be erased and not flashed";
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
