#pragma once
// What the tool needs to know and set about its standard streams; one implementation
// per system (console_posix.cpp, console_win32.cpp).
namespace kestran::cli {

// Whether standard error is a terminal (POSIX) or a console (Windows): only then is a
// progress bar drawn. A file, a pipe or the NUL device is none.
bool standardErrorIsConsole();

// Makes standard output carry bytes unchanged (Windows would turn LF into CR LF).
void makeStandardOutputBinary();

// From now on an interruption (Ctrl+C; on POSIX also SIGTERM and SIGHUP) only marks the
// process as interrupted, so that the work in hand can stop cleanly: no file left
// partial, no temporary left behind. A second one ends the process at once.
void catchInterruptions();
// Whether an interruption came since catchInterruptions.
bool interrupted();
// Ends the process as the interruption would have: on POSIX by the same signal, so that
// a shell sees it; on Windows with the status of a Ctrl+C.
[[noreturn]] void endAsInterrupted();

}  // namespace kestran::cli
