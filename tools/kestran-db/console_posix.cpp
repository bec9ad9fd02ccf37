#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <initializer_list>

#include "console.h"

namespace kestran::cli {

bool standardErrorIsConsole() { return ::isatty(STDERR_FILENO) != 0; }

void makeStandardOutputBinary() {}

namespace {

// Written by the signal handler, read by every copying thread: a lock-free atomic is
// safe in both.
std::atomic<int> interruptingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler needs a lock-free atomic");

void noteInterruption(int signal) { interruptingSignal.store(signal); }

}  // namespace

void catchInterruptions() {
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second one has the default effect: the end
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

bool interrupted() { return interruptingSignal.load() != 0; }

void endAsInterrupted() {
    const int noted = interruptingSignal.load();
    const int signal = noted != 0 ? noted : SIGINT;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace kestran::cli
