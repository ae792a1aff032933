#pragma once

#include <stdexcept>
#include <string>

namespace vantrel {

// What kind of thing failed, so a caller can tell a sick database from a full disk or a stop
// without reading the text.
enum class LogFailure {
    Database,  // the database cannot be reached, or refused a statement
    NoAnswer,  // the database or a lock held by another program took longer than the bound
    Stopped,   // the station is stopping: the wait was given up at once
    Disk,      // the spool, a lock file or the state folder cannot be written or read
    Claimed,   // another live process logs under the same station name
};

// The one way every part of the run log fails: the kind, and a text that names what failed
// (the file, the log shown without its password) and why.
class RunLogError : public std::runtime_error {
  public:
    RunLogError(LogFailure kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
    LogFailure Kind() const { return kind_; }

  private:
    LogFailure kind_;
};

}  // namespace vantrel
