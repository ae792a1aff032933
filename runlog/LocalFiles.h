#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "runlog/LogWaits.h"

namespace vantrel {

// The run log's files on this computer (spools, lock files), through the system's own calls:
// every failure names the file and its real cause (no space left on the device, a read-only
// file system, ...), and a write is on the disk when the call returns. Throw RunLogError (Disk).

// The state folder: $XDG_STATE_HOME/vantrel, else ~/.local/state/vantrel; on Windows
// %LOCALAPPDATA%\vantrel.
QString StateFolder();
// A file of the state folder for one log (and station): "<kind>-<digest of name><suffix>",
// so two logs never share one and one log named two ways still has one.
QString StateFileFor(const char* kind, const std::string& name, const char* suffix);
// Makes the folder of the file when it is missing.
void MakeFolderOf(const QString& path);

// The whole file; empty when it does not exist.
std::string ReadWholeFile(const QString& path);
// Whether the file is missing, empty, or ends with a line break.
bool EndsWithLineBreak(const QString& path);
void AppendSynced(const QString& path, std::string_view bytes);
// Replaces the file at once: a crash leaves the old one or the new one, never a mix. Empty
// bytes remove it.
void ReplaceSynced(const QString& path, std::string_view bytes);

// An exclusive lock that every process on this computer respects, on a lock file that is never
// removed. It goes with the object, and with the process however it ends.
class FileLock {
  public:
    // Waits for it within the deadline: throws RunLogError (NoAnswer, Stopped or Disk).
    // purpose names what the lock guards: "the spool FILE".
    static FileLock Take(const QString& path, const LogDeadline& deadline,
                         const std::string& purpose);
    // Nothing when another holds it.
    static std::optional<FileLock> TryTake(const QString& path);
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&&) = delete;
    FileLock(const FileLock&) = delete;
    ~FileLock();

    // What the lock file says, for a lock held: who holds it.
    void WriteNote(const std::string& note);

  private:
    FileLock(QString path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}

    QString path_;
    std::intptr_t handle_;
};

}  // namespace vantrel
