#include <windows.h>

#include "tool_runner.h"

namespace kestran::testing {

namespace {

// One argument as the C runtime's command-line parser gives it back: quoted, each run
// of backslashes before a quote doubled, and each quote escaped.
std::string quoted(const std::string& argument) {
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

// Text as a Windows program writes it, with "\n" for each CR LF.
std::string withLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

// A file the child writes its standard output or error to.
HANDLE inheritableOutput(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    const std::string outPath = (scratch / "stdout").string();
    const std::string errPath = (scratch / "stderr").string();
    std::string commandLine = quoted(KESTRAN_DB_EXECUTABLE);
    for (const std::string& argument : args) commandLine += " " + quoted(argument);

    ToolRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE output = inheritableOutput(outPath);
    const HANDLE error = inheritableOutput(errPath);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION process{};
    // No console of its own: standard error is a file, so no progress bar is drawn.
    const BOOL started = CreateProcessA(KESTRAN_DB_EXECUTABLE, commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    for (const HANDLE handle : {input, output, error})
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!started) return run;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.rawOut = readFileText(outPath);
    run.out = withLineFeeds(run.rawOut);
    run.err = withLineFeeds(readFileText(errPath));
    return run;
}

}  // namespace kestran::testing
