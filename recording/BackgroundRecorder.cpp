#include "recording/BackgroundRecorder.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "recording/StationRecorder.h"
#include "runlog/IsoTime.h"
#include "settings/ProgramIdentity.h"

namespace vantrel {
namespace {

// How long a window that closes waits for the last records to reach a log that answers.
constexpr std::chrono::milliseconds kLastWritesGrace{500};

}  // namespace

std::string LogReportText(const std::vector<std::string>& reports) {
    std::string text;
    for (const std::string& line : reports) {
        text += (text.empty() ? "" : "\n\n") + std::string("Run log: ") + line;
    }
    return text;
}

BackgroundRecorder::BackgroundRecorder(std::string target, StationNames names,
                                       std::function<void()> reported)
    : reported_(std::move(reported)),
      thread_([this, target = std::move(target), names = std::move(names)]() mutable {
          Serve(std::move(target), std::move(names));
      }) {}

BackgroundRecorder::~BackgroundRecorder() {
    Finish();
}

BackgroundRecorder::Leftovers BackgroundRecorder::Finish() {
    if (thread_.joinable()) {
        {
            std::unique_lock lock(mutex_);
            ending_ = true;
            wake_.notify_all();
            if (!wake_.wait_for(lock, kLastWritesGrace,
                                [this] { return idle_ && tasks_.empty(); })) {
                stop_.store(true);
            }
        }
        thread_.join();
    }
    return leftovers_;
}

std::optional<std::string> BackgroundRecorder::WaitForOpening(const std::atomic<bool>& stop) {
    std::unique_lock lock(mutex_);
    // The opening's waits are bounded; the stop is looked at between slices.
    while (!openingEnded_ && !stop.load()) {
        wake_.wait_for(lock, std::chrono::milliseconds(50));
    }
    return openingFailure_;
}

void BackgroundRecorder::Serve(std::string target, StationNames names) {
    StationRecorder recorder(
        std::move(target), std::move(names), kProgramName,
        [this](const std::string& line) { Report(line); }, &stop_);
    // A log that cannot be opened now is tried again by the next run, which waits for it.
    std::optional<std::string> failure;
    try {
        recorder.Open();
    } catch (const RunLogError& error) {
        if (error.Kind() != LogFailure::Stopped) {
            failure = error.what();
            Report(error.what());
        }
    }
    {
        const std::lock_guard lock(mutex_);
        openingEnded_ = true;
        openingFailure_ = failure;
    }
    wake_.notify_all();
    recorder_ = &recorder;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            idle_ = true;
            wake_.notify_all();
            wake_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                break;
            }
            idle_ = false;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
    recorder_ = nullptr;
    leftovers_ = {recorder.LeftOver(), recorder.SomeNotRecorded()};
}

void BackgroundRecorder::Report(const std::string& line) {
    {
        const std::lock_guard lock(mutex_);
        reports_.push_back(line);
    }
    if (reported_) {
        reported_();
    }
}

void BackgroundRecorder::ReportOnce(const std::string& line) {
    {
        const std::lock_guard lock(mutex_);
        // A log that cannot be opened at the window's start and again at Start is told once.
        if (std::find(reports_.begin(), reports_.end(), line) != reports_.end()) {
            return;
        }
    }
    Report(line);
}

void BackgroundRecorder::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void BackgroundRecorder::GiveUpStarts() {
    startsGivenUp_.store(true);
}

void BackgroundRecorder::RecordStart(const RunSummary& summary,
                                     std::function<void(bool recorded)> answered) {
    if (startsGivenUp_.load()) {
        answered(false);
        return;
    }
    Post([this, summary, answered = std::move(answered)] {
        if (startsGivenUp_.load()) {
            answered(false);
            return;
        }
        if (!recorder_->IsOpen()) {
            try {
                recorder_->Open();
            } catch (const RunLogError& error) {
                if (error.Kind() != LogFailure::Stopped) {
                    ReportOnce(error.what());
                }
                answered(false);
                return;
            }
        }
        answered(recorder_->RecordStart(summary));
    });
}

void BackgroundRecorder::RecordEnd(const RunSummary& summary) {
    Post([this, summary] {
        if (!recorder_->IsOpen()) {
            try {
                recorder_->Open();
            } catch (const RunLogError& error) {
                Report(std::string(error.what()) + ": the run started " +
                       IsoUtc(summary.startedAt) + " is not recorded");
                return;
            }
        }
        recorder_->RecordEnd(summary);
        recorder_->Flush();
    });
}

std::vector<std::string> BackgroundRecorder::TakeReports() {
    const std::lock_guard lock(mutex_);
    return std::exchange(reports_, {});
}

}  // namespace vantrel
