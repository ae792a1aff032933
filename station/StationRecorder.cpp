#include "station/StationRecorder.h"

#include <QDateTime>
#include <QFileInfo>
#include <chrono>

#include "runlog/IsoTime.h"
#include "runlog/LogTarget.h"

namespace vantrel {

StationRecorder::StationRecorder(std::string target, StationNames names, Report report)
    : target_(std::move(target)),
      shownTarget_(ShownLogTarget(target_)),
      names_(std::move(names)),
      report_(std::move(report)) {}

StationRecorder::~StationRecorder() = default;

std::optional<std::string> StationRecorder::Open() {
    const auto target = ParseLogTarget(target_);
    if (const auto* error = std::get_if<LogTargetError>(&target)) {
        return error->text;
    }
    try {
        log_ = std::make_unique<RunLog>(std::get<LogTarget>(target));
    } catch (const RunLogError& error) {
        return "cannot open the log " + shownTarget_ + ": " + error.what();
    }
    recorder_ = std::make_unique<RunRecorder>(*log_, RunSpool(RunSpool::PathFor(SpoolName())));
    // What an earlier start left behind goes first, then the runs it never finished are told.
    Flush();
    try {
        for (const InterruptedRun& run :
             log_->CloseInterrupted(names_.station, IsoUtc(std::chrono::system_clock::now()))) {
            report_(InterruptedText(run));
        }
    } catch (const RunLogError& error) {
        report_("cannot read the log " + shownTarget_ + ": " + error.what());
    }
    return std::nullopt;
}

std::string StationRecorder::SpoolName() const {
    // One log named two ways (a relative file path) still has one spool.
    const auto target = ParseLogTarget(target_);
    if (const auto* parsed = std::get_if<LogTarget>(&target)) {
        if (const auto* file = std::get_if<SqliteTarget>(parsed)) {
            return QFileInfo(QString::fromStdString(file->path)).absoluteFilePath().toStdString();
        }
    }
    return shownTarget_;
}

bool StationRecorder::RecordStart(const RunSummary& summary) {
    std::string error;
    if (!recorder_->Keep(MakeRunningRecord(summary, names_), error)) {
        report_("cannot keep the run's record: " + error);
    }
    const auto refusal = recorder_->Flush();
    if (recorder_->OnlyInMemory() > 0) {
        // Neither the disk nor the log has it: a unit flashed now could leave no trace.
        report_("the run cannot be recorded" + (refusal ? ": " + *refusal : std::string()) +
                "; nothing flashed");
        return false;
    }
    if (refusal) {
        ReportUnwritten(*refusal);
    }
    return true;
}

void StationRecorder::RecordEnd(const RunSummary& summary) {
    std::string error;
    if (!recorder_->Keep(MakeRunRecord(summary, names_), error)) {
        report_("cannot keep the run's record: " + error);
    }
}

void StationRecorder::Flush() {
    if (const auto refusal = recorder_->Flush()) {
        ReportUnwritten(*refusal);
    }
}

void StationRecorder::ReportUnwritten(const std::string& reason) {
    // The run's result stands; the record waits and goes with the next write.
    report_("cannot write to the log " + shownTarget_ + ": " + reason);
}

std::vector<std::string> StationRecorder::LeftOver() const {
    std::vector<std::string> lines;
    if (recorder_ && recorder_->Spooled() > 0) {
        lines.push_back(std::to_string(recorder_->Spooled()) + " record(s) wait in " +
                        recorder_->Spool().Path().toStdString() +
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
