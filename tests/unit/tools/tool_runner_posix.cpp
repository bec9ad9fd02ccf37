#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tool_runner.h"

extern char** environ;

namespace kestran::testing {

namespace {

// Starts the tool with standard output into scratch/stdout and standard error into
// errorPath, and gives its process id; -1 when it could not start.
pid_t startTool(const std::vector<std::string>& args, const std::string& outPath, const std::string& errorPath) {
    std::vector<std::string> texts{KESTRAN_DB_EXECUTABLE};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

int exitStatus(pid_t pid) {
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    const std::string outPath = (scratch / "stdout").string();
    const std::string errPath = (scratch / "stderr").string();
    ToolRun run;
    const pid_t pid = startTool(args, outPath, errPath);
    if (pid < 0) return run;
    run.status = exitStatus(pid);
    run.rawOut = readFileText(outPath);
    run.out = run.rawOut;
    run.err = readFileText(errPath);
    return run;
}

InterruptedRun runToolInterrupted(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                                  std::chrono::milliseconds delay, int signal) {
    const std::string errPath = (scratch / "stderr").string();
    InterruptedRun run;
    const pid_t pid = startTool(args, (scratch / "stdout").string(), errPath);
    if (pid < 0) return run;
    ::usleep(static_cast<useconds_t>(delay.count() * 1000));
    ::kill(pid, signal);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) run.signal = WTERMSIG(wstatus);
    run.err = readFileText(errPath);
    return run;
}

ToolRun runToolOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    ToolRun run;
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0) return run;
    const std::string outPath = (scratch / "stdout").string();
    const pid_t pid = startTool(args, outPath, ::ptsname(terminal));
    if (pid >= 0) {
        // Read while it runs, so that a full terminal never stops the tool; the
        // terminal reports an error once the tool's side is closed.
        char buffer[4096];
        for (;;) {
            pollfd ready{terminal, POLLIN, 0};
            if (::poll(&ready, 1, 100) > 0) {
                const ssize_t got = ::read(terminal, buffer, sizeof buffer);
                if (got <= 0) break;
                run.err.append(buffer, static_cast<std::size_t>(got));
            } else {
                siginfo_t info{};
                if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                    info.si_pid != 0)
                    break;
            }
        }
        run.status = exitStatus(pid);
        run.rawOut = readFileText(outPath);
        run.out = run.rawOut;
    }
    ::close(terminal);
    return run;
}

}  // namespace kestran::testing
