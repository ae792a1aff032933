#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "recording/RunRecordMaker.h"
#include "results/RunSummary.h"

namespace vantrel {

class StationRecorder;

// What the log had to say, as the user reads it: "Run log: " before each report, a blank line
// between two; empty when it said nothing.
std::string LogReportText(const std::vector<std::string>& reports);

// A station's recorder on a thread of its own, so that no wait on the log (at most its bound)
// ever holds up the window. The log is opened, used and closed on that thread only. What the
// recorder has to say is kept until taken.
class BackgroundRecorder {
  public:
    // reported: called on the recorder's thread whenever it has something new to say.
    BackgroundRecorder(std::string target, StationNames names, std::function<void()> reported = {});
    // Gives what is queued a moment to reach the log, then stops every wait at once: records
    // not written by then wait in the spool.
    ~BackgroundRecorder();
    BackgroundRecorder(const BackgroundRecorder&) = delete;
    BackgroundRecorder& operator=(const BackgroundRecorder&) = delete;

    // The write-ahead record. answered(false) when the run has no record anywhere and must not
    // start, or starts are given up; called on the recorder's thread, or at once.
    void RecordStart(const RunSummary& summary, std::function<void(bool recorded)> answered);
    // The run's end: kept on the disk, then written, without waiting.
    void RecordEnd(const RunSummary& summary);
    // A run waiting for RecordStart's answer, and any later one, does not start: they are
    // answered false at once. What the recorder is writing goes on.
    void GiveUpStarts();
    // Lines reported since the last call, oldest first.
    std::vector<std::string> TakeReports();
    // Waits until the log's first opening has ended, or until stop is set: why it could not
    // be opened, if it could not.
    std::optional<std::string> WaitForOpening(const std::atomic<bool>& stop);

    // What was still not in the log when the recorder ended.
    struct Leftovers {
        std::vector<std::string> lines;  // to tell
        bool someNotRecorded = false;    // a record is kept nowhere, not even in the spool
    };
    // Ends the recorder as its destruction does: the last records are given a moment, then
    // every wait stops. Once only; later calls return the same.
    Leftovers Finish();

  private:
    void Post(std::function<void()> task);
    void Report(const std::string& line);
    // As Report, unless the same line waits to be taken already.
    void ReportOnce(const std::string& line);
    void Serve(std::string target, StationNames names);

    std::function<void()> reported_;
    std::atomic<bool> stop_{false};  // every wait on the log ends at once
    std::atomic<bool> startsGivenUp_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::string> reports_;
    bool ending_ = false;
    bool idle_ = false;
    bool openingEnded_ = false;
    std::optional<std::string> openingFailure_;
    Leftovers leftovers_;                  // once the thread has ended
    StationRecorder* recorder_ = nullptr;  // lives on the thread, in Serve
    std::thread thread_;
};

}  // namespace vantrel
