#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "tool_runner.h"

extern char** environ;

namespace kestran::testing {

ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    const std::string outPath = (scratch / "stdout").string();
    const std::string errPath = (scratch / "stderr").string();
    std::vector<std::string> texts{KESTRAN_DB_EXECUTABLE};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ToolRun run;
    if (spawned != 0) return run;
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
    run.rawOut = readFileText(outPath);
    run.out = run.rawOut;
    run.err = readFileText(errPath);
    return run;
}

}  // namespace kestran::testing
