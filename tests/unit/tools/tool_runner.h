#pragma once
// Runs the built kestran-db as a user would, with exactly the given arguments (no
// shell in between), standard input empty, standard output and standard error each
// into a file of the scratch folder. One implementation per system: posix_spawn, or
// CreateProcess. Text comes back with "\n" line ends on every system (Windows programs
// write CR LF); rawOut holds standard output's bytes as they were written.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestran::testing {

struct ToolRun {
    int status = -1;  // the exit status; -1 when the tool did not exit normally
    std::string out;
    std::string err;
    std::string rawOut;
};

// The whole of a file's bytes; empty when it cannot be read.
inline std::string readFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& scratch);

// The same, sent `signal` once `delay` has passed (POSIX only). status is -1 and
// signal the signal's number when the tool ended by a signal.
struct InterruptedRun {
    int status = -1;
    int signal = 0;
    std::string err;
};
InterruptedRun runToolInterrupted(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                                  std::chrono::milliseconds delay, int signal);

// The same with standard error on a terminal (a pseudo-terminal the runner reads), as a
// user at a shell has it; err holds what reached the terminal. POSIX only.
ToolRun runToolOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& scratch);

}  // namespace kestran::testing
