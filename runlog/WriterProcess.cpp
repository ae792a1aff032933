#include "runlog/WriterProcess.h"

#include <QCoreApplication>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <signal.h>

#include <cerrno>
#endif

namespace vantrel {

WriterProcess ThisProcess() {
    return {QSysInfo::machineHostName().toStdString(), QCoreApplication::applicationPid()};
}

bool ProcessHasEnded(std::int64_t pid) {
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       static_cast<DWORD>(pid));
    if (process == nullptr) {
        return GetLastError() == ERROR_INVALID_PARAMETER;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
#else
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
#endif
}

}  // namespace vantrel
