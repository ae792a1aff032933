#pragma once

#include <string>

#include "runlog/LocalFiles.h"

namespace vantrel {

// A station name belongs to one live process per log on this computer: held from the log's
// opening to the end of the process, however it ends.
class StationClaim {
  public:
    // Throws RunLogError: Claimed, naming the process that holds it, or Disk.
    StationClaim(const std::string& logName, const std::string& station,
                 const std::string& program);

  private:
    FileLock lock_;
};

}  // namespace vantrel
