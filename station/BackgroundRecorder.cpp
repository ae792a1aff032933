#include "station/BackgroundRecorder.h"

#include <future>
#include <optional>
#include <utility>

#include "runlog/IsoTime.h"
#include "station/StationRecorder.h"

namespace vantrel {

BackgroundRecorder::BackgroundRecorder(std::string target, StationNames names,
                                       std::function<void()> reported)
    : reported_(std::move(reported)),
      thread_([this, target = std::move(target), names = std::move(names)]() mutable {
          Serve(std::move(target), std::move(names));
      }) {}

BackgroundRecorder::~BackgroundRecorder() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void BackgroundRecorder::Serve(std::string target, StationNames names) {
    StationRecorder recorder(std::move(target), std::move(names),
                             [this](const std::string& line) { Report(line); });
    // A log that cannot be opened now is tried again by the next run, which waits for it.
    const auto openError = recorder.Open();
    if (openError) {
        Report(*openError);
    }
    recorder_ = &recorder;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                break;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
    recorder_ = nullptr;
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

void BackgroundRecorder::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

bool BackgroundRecorder::RecordStart(const RunSummary& summary) {
    std::promise<bool> recorded;
    std::future<bool> answer = recorded.get_future();
    Post([this, &summary, &recorded] {
        if (!recorder_->IsOpen()) {
            if (const auto error = recorder_->Open()) {
                Report(*error + "; nothing flashed");
                recorded.set_value(false);
                return;
            }
        }
        recorded.set_value(recorder_->RecordStart(summary));
    });
    return answer.get();
}

void BackgroundRecorder::RecordEnd(const RunSummary& summary) {
    Post([this, summary] {
        const auto openError = recorder_->IsOpen() ? std::nullopt : recorder_->Open();
        if (openError) {
            Report(*openError + ": the run started " + IsoUtc(summary.startedAt) +
                   " is not recorded");
            return;
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
