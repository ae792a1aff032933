#include "cli/Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vantrel::cli {

bool LiveTerminalOnStderr() {
#ifdef Q_OS_WIN
    // isatty() also holds for NUL; only a console has a mode. Consoles before Windows 10 do not
    // take the sequences and refuse the mode.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(err, &mode) != 0 &&
           SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace vantrel::cli
