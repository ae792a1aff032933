#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// The process that writes a record, so that a run left "running" is taken for interrupted
// only once that process is gone.
struct WriterProcess {
    std::string host;
    std::int64_t pid = 0;
};

WriterProcess ThisProcess();

// Whether the process of this computer with that id has ended. A process of another user
// counts as alive.
bool ProcessHasEnded(std::int64_t pid);

}  // namespace vantrel
