#include "runlog/LocalFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>
#include <thread>

#include "runlog/RunLogError.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace vantrel {
namespace {

constexpr std::chrono::milliseconds kLockTry{10};

std::string Shown(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

[[noreturn]] void FailOn(const QString& path, const char* doing, const std::string& cause) {
    throw RunLogError(LogFailure::Disk,
                      std::string("cannot ") + doing + " " + Shown(path) + ": " + cause);
}

#ifdef Q_OS_WIN
using Handle = HANDLE;

std::string LastErrorText() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}

HANDLE OpenNative(const QString& path, DWORD access, DWORD disposition) {
    return CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                       access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAllNative(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// One byte far past any note, so the note stays readable while locked.
OVERLAPPED LockRegion() {
    OVERLAPPED region{};
    region.Offset = 0;
    region.OffsetHigh = 0x7FFFFFFF;
    return region;
}
#else
std::string LastErrorText() {
    return std::strerror(errno);
}

int OpenNative(const QString& path, int flags) {
    return ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0600);
}

bool WriteAllNative(int file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(file, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}
#endif

}  // namespace

QString StateFolder() {
#ifdef Q_OS_WIN
    const QString base = qEnvironmentVariable("LOCALAPPDATA", QDir::homePath());
#else
    const QString base =
        qEnvironmentVariable("XDG_STATE_HOME", QDir::homePath() + QStringLiteral("/.local/state"));
#endif
    return base + QStringLiteral("/vantrel");
}

QString StateFileFor(const char* kind, const std::string& name, const char* suffix) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(name), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return StateFolder() + '/' + QString::fromLatin1(kind) + '-' + QString::fromLatin1(digest) +
           QString::fromLatin1(suffix);
}

void MakeFolderOf(const QString& path) {
    const std::filesystem::path folder =
        std::filesystem::path(QFileInfo(path).absolutePath().toStdU16String());
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        FailOn(QFileInfo(path).absolutePath(), "make the folder", error.message());
    }
}

#ifdef Q_OS_WIN
std::string ReadWholeFile(const QString& path) {
    const HANDLE file = OpenNative(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) {
            return {};
        }
        FailOn(path, "read", LastErrorText());
    }
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
        content.append(buffer, got);
    }
    const std::string error = ok ? std::string() : LastErrorText();
    CloseHandle(file);
    if (!ok) {
        FailOn(path, "read", error);
    }
    return content;
}

bool EndsWithLineBreak(const QString& path) {
    const std::string content = ReadWholeFile(path);
    return content.empty() || content.back() == '\n';
}

void AppendSynced(const QString& path, std::string_view bytes) {
    MakeFolderOf(path);
    const HANDLE file = OpenNative(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        FailOn(path, "write", LastErrorText());
    }
    const bool ok = WriteAllNative(file, bytes) && FlushFileBuffers(file);
    const std::string error = ok ? std::string() : LastErrorText();
    CloseHandle(file);
    if (!ok) {
        FailOn(path, "write", error);
    }
}

void ReplaceSynced(const QString& path, std::string_view bytes) {
    // The name lives as long as the string the call is given.
    const auto native = [](const QString& p) { return QDir::toNativeSeparators(p).toStdWString(); };
    if (bytes.empty()) {
        if (!DeleteFileW(native(path).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            FailOn(path, "remove", LastErrorText());
        }
        return;
    }
    const QString temporary = path + QStringLiteral(".new");
    const HANDLE file = OpenNative(temporary, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        FailOn(temporary, "write", LastErrorText());
    }
    const bool ok = WriteAllNative(file, bytes) && FlushFileBuffers(file);
    const std::string error = ok ? std::string() : LastErrorText();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(native(temporary).c_str());
        FailOn(temporary, "write", error);
    }
    if (!MoveFileExW(native(temporary).c_str(), native(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        FailOn(path, "replace", LastErrorText());
    }
}
#else
std::string ReadWholeFile(const QString& path) {
    const int file = OpenNative(path, O_RDONLY);
    if (file < 0) {
        if (errno == ENOENT) {
            return {};
        }
        FailOn(path, "read", LastErrorText());
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const std::string error = LastErrorText();
            ::close(file);
            FailOn(path, "read", error);
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(file);
    return content;
}

bool EndsWithLineBreak(const QString& path) {
    const int file = OpenNative(path, O_RDONLY);
    if (file < 0) {
        if (errno == ENOENT) {
            return true;
        }
        FailOn(path, "read", LastErrorText());
    }
    char last = '\n';
    struct stat status {};
    const bool ok = ::fstat(file, &status) == 0 &&
                    (status.st_size == 0 || ::pread(file, &last, 1, status.st_size - 1) == 1);
    const std::string error = ok ? std::string() : LastErrorText();
    ::close(file);
    if (!ok) {
        FailOn(path, "read", error);
    }
    return last == '\n';
}

void AppendSynced(const QString& path, std::string_view bytes) {
    MakeFolderOf(path);
    const int file = OpenNative(path, O_WRONLY | O_APPEND | O_CREAT);
    if (file < 0) {
        FailOn(path, "write", LastErrorText());
    }
    const bool ok = WriteAllNative(file, bytes) && ::fsync(file) == 0;
    const std::string error = ok ? std::string() : LastErrorText();
    ::close(file);
    if (!ok) {
        FailOn(path, "write", error);
    }
}

void ReplaceSynced(const QString& path, std::string_view bytes) {
    const QByteArray name = QFile::encodeName(path);
    if (bytes.empty()) {
        if (::unlink(name.constData()) != 0 && errno != ENOENT) {
            FailOn(path, "remove", LastErrorText());
        }
        return;
    }
    const QString temporary = path + QStringLiteral(".new");
    const int file = OpenNative(temporary, O_WRONLY | O_CREAT | O_TRUNC);
    if (file < 0) {
        FailOn(temporary, "write", LastErrorText());
    }
    const bool ok = WriteAllNative(file, bytes) && ::fsync(file) == 0;
    const std::string error = ok ? std::string() : LastErrorText();
    ::close(file);
    if (!ok) {
        ::unlink(QFile::encodeName(temporary).constData());
        FailOn(temporary, "write", error);
    }
    if (::rename(QFile::encodeName(temporary).constData(), name.constData()) != 0) {
        FailOn(path, "replace", LastErrorText());
    }
    // The new name is on the disk only once its folder is.
    const int folder = OpenNative(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}
#endif

std::optional<FileLock> FileLock::TryTake(const QString& path) {
    MakeFolderOf(path);
#ifdef Q_OS_WIN
    const HANDLE file = OpenNative(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        FailOn(path, "open the lock file", LastErrorText());
    }
    OVERLAPPED region = LockRegion();
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return std::nullopt;
        }
        SetLastError(error);
        FailOn(path, "lock", LastErrorText());
    }
    return FileLock(path, reinterpret_cast<std::intptr_t>(file));
#else
    const int file = OpenNative(path, O_RDWR | O_CREAT);
    if (file < 0) {
        FailOn(path, "open the lock file", LastErrorText());
    }
    while (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        const int error = errno;
        ::close(file);
        if (error == EWOULDBLOCK) {
            return std::nullopt;
        }
        FailOn(path, "lock", std::strerror(error));
    }
    return FileLock(path, file);
#endif
}

FileLock FileLock::Take(const QString& path, const LogDeadline& deadline,
                        const std::string& purpose) {
    for (;;) {
        if (auto lock = TryTake(path)) {
            return std::move(*lock);
        }
        deadline.Check(purpose, "stayed locked by another process for more than");
        std::this_thread::sleep_for(std::min(kLockTry, deadline.NextSlice()));
    }
}

FileLock::FileLock(FileLock&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)) {}

FileLock::~FileLock() {
    if (handle_ == -1) {
        return;
    }
#ifdef Q_OS_WIN
    const auto file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED region = LockRegion();
    UnlockFileEx(file, 0, 1, 0, &region);
    CloseHandle(file);
#else
    ::close(static_cast<int>(handle_));
#endif
}

void FileLock::WriteNote(const std::string& note) {
#ifdef Q_OS_WIN
    const auto file = reinterpret_cast<HANDLE>(handle_);
    LARGE_INTEGER start{};
    const bool ok = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                    WriteAllNative(file, note) && FlushFileBuffers(file);
#else
    const int file = static_cast<int>(handle_);
    const bool ok =
        ::ftruncate(file, 0) == 0 && ::lseek(file, 0, SEEK_SET) == 0 && WriteAllNative(file, note);
#endif
    if (!ok) {
        FailOn(path_, "write", LastErrorText());
    }
}

}  // namespace vantrel
