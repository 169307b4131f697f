// Starts a program as a process of its own and waits for it.
#pragma once
#include <windows.h>

#include <string>

class ChildProcess {
public:
    // Starts `exe` with `arguments` (the text behind the program name) in `folder`.
    // `environment` adds NAME=value lines to this process's own environment.
    ChildProcess(const std::string& exe, const std::string& arguments, const std::string& folder,
                 const std::string& environment = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return info_.hProcess != nullptr; }
    DWORD id() const { return info_.dwProcessId; }
    bool running() const;
    // Waits up to `milliseconds`; true when the process has ended.
    bool wait(DWORD milliseconds);
    DWORD exitCode() const;

private:
    PROCESS_INFORMATION info_{};
};
