#include "support/process_runner.h"

#include <vector>

namespace {

// True when the line NAME=value of `extra` names the variable of `entry` (case aside).
bool SetIn(const std::string& extra, const char* entry)
{
    const char* equals = strchr(entry + 1, '=');
    if (equals == nullptr)
        return false;
    const std::string name(entry, equals + 1);
    for (size_t start = 0; start < extra.size();) {
        size_t end = extra.find('\n', start);
        if (end == std::string::npos)
            end = extra.size();
        if (end - start >= name.size() && _strnicmp(extra.c_str() + start, name.c_str(), name.size()) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// This process's environment block with the lines of `extra` (separated by '\n') added;
// they replace the variables of the same name.
std::vector<char> EnvironmentWith(const std::string& extra)
{
    std::vector<char> block;
    char* current = GetEnvironmentStringsA();
    for (const char* p = current; *p; p += strlen(p) + 1)
        if (!SetIn(extra, p))
            block.insert(block.end(), p, p + strlen(p) + 1);
    FreeEnvironmentStringsA(current);
    size_t start = 0;
    while (start < extra.size()) {
        size_t end = extra.find('\n', start);
        if (end == std::string::npos)
            end = extra.size();
        if (end > start) {
            block.insert(block.end(), extra.begin() + start, extra.begin() + end);
            block.push_back('\0');
        }
        start = end + 1;
    }
    block.push_back('\0');
    return block;
}

} // namespace

ChildProcess::ChildProcess(const std::string& exe, const std::string& arguments,
                           const std::string& folder, const std::string& environment)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    std::vector<char> env = EnvironmentWith(environment);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0,
                        env.data(), folder.c_str(), &startup, &info_))
        info_ = PROCESS_INFORMATION{};
}

ChildProcess::~ChildProcess()
{
    if (info_.hProcess == nullptr)
        return;
    if (running())
        TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool ChildProcess::running() const
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::wait(DWORD milliseconds)
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

DWORD ChildProcess::exitCode() const
{
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}
