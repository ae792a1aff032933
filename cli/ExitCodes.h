#pragma once

#include "results/RunSummary.h"

namespace vantrel::cli {

// The command line exits with the status of its last run (results/RunSummary.h), and beyond
// those with this one: a run's record reached neither the log nor the spool.
inline constexpr int kExitNotRecorded = 4;

}  // namespace vantrel::cli
