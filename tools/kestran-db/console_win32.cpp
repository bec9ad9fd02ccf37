#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "console.h"

namespace kestran::cli {

// _isatty is true for any character device, NUL included; only a console has a mode.
bool standardErrorIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void makeStandardOutputBinary() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

std::atomic<bool> interruption{false};

// Runs on a thread of its own. The first Ctrl+C or Ctrl+Break is noted and the process
// goes on; the second is left to the system, which ends the process.
BOOL WINAPI noteInterruption(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    return interruption.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void catchInterruptions() { SetConsoleCtrlHandler(noteInterruption, TRUE); }

bool interrupted() { return interruption.load(); }

void endAsInterrupted() {
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(STATUS_CONTROL_C_EXIT));
}

}  // namespace kestran::cli
