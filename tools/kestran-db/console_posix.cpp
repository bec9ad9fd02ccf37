#include <unistd.h>

#include "console.h"

namespace kestran::cli {

bool standardErrorIsConsole() { return ::isatty(STDERR_FILENO) != 0; }

void makeStandardOutputBinary() {}

}  // namespace kestran::cli
