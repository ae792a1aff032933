#include "recording/StationRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <chrono>

#include "runlog/IsoTime.h"
#include "runlog/LogTarget.h"
#include "runlog/WriterProcess.h"

namespace vantrel {

StationRecorder::StationRecorder(std::string target, StationNames names, std::string program,
                                 Report report, const std::atomic<bool>* stop)
    : target_(std::move(target)),
      shownTarget_(ShownLogTarget(target_)),
      names_(std::move(names)),
      program_(std::move(program)),
      report_(std::move(report)),
      waits_{LogWaits{}.bound, stop} {}

StationRecorder::~StationRecorder() = default;

std::string StationRecorder::LogName() const {
    // One log named two ways (a relative file path) is still one log with one spool.
    const auto target = ParseLogTarget(target_);
    if (const auto* parsed = std::get_if<LogTarget>(&target)) {
        if (const auto* file = std::get_if<SqliteTarget>(parsed)) {
            return QFileInfo(QString::fromStdString(file->path)).absoluteFilePath().toStdString();
        }
    }
    return shownTarget_;
}

void StationRecorder::Open() {
    const auto target = ParseLogTarget(target_);
    if (const auto* error = std::get_if<LogTargetError>(&target)) {
        throw RunLogError(LogFailure::Database, error->text);
    }
    if (!claim_) {
        claim_ = std::make_unique<StationClaim>(LogName(), names_.station, program_);
    }
    try {
        log_ = std::make_unique<RunLog>(std::get<LogTarget>(target), LogAccess::ReadWrite, waits_);
    } catch (const RunLogError& error) {
        throw RunLogError(error.Kind(),
                          "cannot open the log " + shownTarget_ + ": " + error.what());
    }
    recorder_ =
        std::make_unique<RunRecorder>(*log_, RunSpool(RunSpool::PathFor(LogName()), LogName()));
    // What an earlier start left behind goes first, then the runs it never finished are told.
    Flush();
}

void StationRecorder::Keep(const RunRecord& record) {
    try {
        recorder_->Keep(record);
    } catch (const RunLogError& error) {
        report_("cannot keep the run's record: " + std::string(error.what()));
    }
}

bool StationRecorder::RecordStart(const RunSummary& summary) {
    Keep(MakeRunningRecord(summary, names_));
    // Safe in the spool: a log that failed last time is not waited for again before the run.
    if (logAnswered_ || recorder_->OnlyInMemory() > 0) {
        Flush();
    }
    if (recorder_->OnlyInMemory() > 0) {
        // Neither the disk nor the log has it: a unit flashed now could leave no trace.
        report_("the run cannot be recorded; nothing flashed");
        return false;
    }
    return true;
}

void StationRecorder::RecordEnd(const RunSummary& summary) {
    Keep(MakeRunRecord(summary, names_));
}

void StationRecorder::Flush() {
    try {
        recorder_->Flush();
        logAnswered_ = true;
    } catch (const RunLogError& error) {
        logAnswered_ = false;
        if (error.Kind() == LogFailure::Disk) {
            report_(error.what());
        } else if (error.Kind() != LogFailure::Stopped) {
            // The run's result stands; the record waits and goes with the next write.
            report_("cannot write to the log " + shownTarget_ + ": " + error.what() +
                    "; the record is kept and will be written later");
        }
    }
    TellSpoolNotices();
    if (logAnswered_ && !interruptedTold_) {
        TellInterrupted();
    }
}

void StationRecorder::TellSpoolNotices() {
    for (const std::string& notice : recorder_->Spool().TakeNotices()) {
        report_(notice);
    }
}

void StationRecorder::TellInterrupted() {
    const WriterProcess self = ThisProcess();
    try {
        for (const InterruptedRun& run : log_->LeftRunning(names_.station)) {
            // A run of another computer, or of a process still alive, may yet end.
            const bool gone =
                !run.host || (*run.host == self.host &&
                              (!run.pid || (*run.pid != self.pid && ProcessHasEnded(*run.pid))));
            if (!gone) {
                continue;
            }
            // Told before it is marked: a process killed in between tells it again next time.
            report_(InterruptedText(run));
            log_->MarkInterrupted(run.id, IsoUtc(std::chrono::system_clock::now()));
        }
        interruptedTold_ = true;
    } catch (const RunLogError& error) {
        if (error.Kind() != LogFailure::Stopped) {
            report_("cannot read the log " + shownTarget_ + ": " + error.what());
        }
    }
}

std::vector<std::string> StationRecorder::LeftOver() const {
    std::vector<std::string> lines;
    if (recorder_ && recorder_->Spooled() > 0) {
        lines.push_back(std::to_string(recorder_->Spooled()) + " record(s) wait in " +
                        QDir::toNativeSeparators(recorder_->Spool().Path()).toStdString() +
                        " and go to the log with the next run of this log");
    }
    if (SomeNotRecorded()) {
        lines.push_back(std::to_string(recorder_->OnlyInMemory()) +
                        " run(s) are not recorded: neither the log nor the spool took them; copy "
                        "the summaries above into the record by hand");
    }
    return lines;
}

bool StationRecorder::SomeNotRecorded() const {
    return recorder_ && recorder_->OnlyInMemory() > 0;
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

}  // namespace vantrel
