#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>

#include "console.h"

namespace kestran::cli {

bool standardErrorIsConsole() { return ::isatty(STDERR_FILENO) != 0; }

void makeStandardOutputBinary() {}

namespace {

volatile sig_atomic_t interruptingSignal = 0;

void noteInterruption(int signal) { interruptingSignal = signal; }

}  // namespace

void catchInterruptions() {
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second one has the default effect: the end
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool interrupted() { return interruptingSignal != 0; }

void endAsInterrupted() {
    const int signal = interruptingSignal != 0 ? interruptingSignal : SIGINT;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace kestran::cli
