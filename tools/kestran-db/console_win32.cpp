#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

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

}  // namespace kestran::cli
