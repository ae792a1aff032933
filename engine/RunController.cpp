#include "engine/RunController.h"

#include <utility>

namespace vantrel {

void RunController::Start(LoaderState& state, DownloadHost& host, RunPlan plan, EndHandler onEnd) {
    Join();
    stop_.Reset();
    running_.store(true);
    try {
        thread_ = std::thread([this, &state, &host, plan, handler = std::move(onEnd)] {
            DownloadWorker worker(state, host);
            const RunResult result = worker.Run(plan);
            lastResult_ = result;
            running_.store(false);
            // Nothing may leave the thread: an escaping exception would end the process.
            try {
                if (handler) {
                    handler(result);
                }
            } catch (...) {
            }
        });
    } catch (...) {
        running_.store(false);
        throw;
    }
}

void RunController::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

}  // namespace vantrel
