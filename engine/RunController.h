#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "engine/DownloadWorker.h"
#include "engine/StopSignal.h"

namespace vantrel {

// Starts a run on a thread of its own, asks it to stop, and waits for it. No thread is ever
// killed: a run ends by returning. The host given to Start must sleep on Stop() so that its
// pauses end when a stop is requested.
class RunController {
  public:
    using EndHandler = std::function<void(const RunResult&)>;

    RunController() = default;
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;
    ~RunController() { StopAndJoin(); }

    // Waits for the previous run's thread, then starts a new run. onEnd, if given, is called on
    // the run's thread as its last act; it must not wait for the thread that calls Join. Throws
    // std::system_error when no thread can be made; nothing is running then.
    void Start(LoaderState& state, DownloadHost& host, RunPlan plan, EndHandler onEnd = {});
    bool Running() const { return running_.load(); }
    void RequestStop() { stop_.RequestStop(); }
    // Waits for the run's thread to end; harmless when there is none.
    void Join();
    void StopAndJoin() {
        RequestStop();
        Join();
    }
    StopSignal& Stop() { return stop_; }
    // What the last run returned; read it only once Join has returned.
    const RunResult& LastResult() const { return lastResult_; }

  private:
    StopSignal stop_;
    RunResult lastResult_;  // written by the run's thread before it ends
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace vantrel
