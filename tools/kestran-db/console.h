#pragma once
// What the tool needs to know and set about its standard streams; one implementation
// per system (console_posix.cpp, console_win32.cpp).
namespace kestran::cli {

// Whether standard error is a terminal (POSIX) or a console (Windows): only then is a
// progress bar drawn. A file, a pipe or the NUL device is none.
bool standardErrorIsConsole();

// Makes standard output carry bytes unchanged (Windows would turn LF into CR LF).
void makeStandardOutputBinary();

}  // namespace kestran::cli
