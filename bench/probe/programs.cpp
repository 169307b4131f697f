#include "probe.h"

#include "res/resource.h"

#include <psapi.h>

#include <vector>

namespace {

constexpr DWORD kWindowTimeout = 30000;
constexpr DWORD kCloseTimeout = 10000;

} // namespace

std::string Describe(const std::string& exe)
{
    const size_t slash = exe.find_last_of("\\/");
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

double Now()
{
    static const double ticksPerMillisecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerMillisecond;
}

Process::Process(const std::string& exe, const std::string& arguments)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info_))
        info_ = PROCESS_INFORMATION{};
}

Process::~Process()
{
    if (info_.hProcess == nullptr)
        return;
    if (!wait(0)) {
        TerminateProcess(info_.hProcess, 99);
        wait(kCloseTimeout);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool Process::wait(DWORD milliseconds) const
{
    return WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

DWORD Process::exitCode() const
{
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::string WindowText(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The main dialog's template, in keyprep.exe and in every floor, has the Format button.
bool IsMainDialog(HWND window) { return GetDlgItem(window, IDC_MAIN_FORMAT) != nullptr; }

std::string ProgramText(const std::string& exe, UINT id)
{
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return "";
    char text[1024] = {};
    LoadStringA(module, id, text, sizeof text);
    FreeLibrary(module);
    return text;
}

std::string BoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

void Press(HWND window, int buttonId)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, buttonId)));
}

Readiness WaitUntilReady(const Process& process, const std::string& name, double start)
{
    Readiness readiness;
    // Polled each millisecond: the same small cost for every program measured.
    std::vector<HWND> windows;
    while ((windows = VisibleWindowsOf(process.id())).empty()) {
        if (process.wait(0)) {
            readiness.failure = name + ": ended (exit code " + std::to_string(process.exitCode()) +
                                ") before it showed a window";
            return readiness;
        }
        if (Now() - start > kWindowTimeout) {
            readiness.failure = name + ": no visible window within 30 s";
            return readiness;
        }
        Sleep(1);
    }
    readiness.visible = Now() - start;

    for (HWND window : windows)
        if (IsMainDialog(window))
            readiness.main = window;
    if (readiness.main == nullptr) {
        HWND first = windows.front();
        const std::string text = BoxText(first);
        readiness.failure = name + ": first showed \"" + WindowText(first) + (text.empty() ? "" : ": " + text) +
                            "\", not the main dialog";
        return readiness;
    }
    // A message sent from another process is handled only where the dialog's thread asks for
    // messages: in its message loop, once the initialisation has returned.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(readiness.main, WM_NULL, 0, 0, SMTO_NORMAL, kWindowTimeout, &result)) {
        readiness.failure = name + ": the main dialog did not answer within 30 s";
        return readiness;
    }
    readiness.ready = Now() - start;
    return readiness;
}

StartupSample MeasureStartup(const std::string& exe)
{
    StartupSample sample;
    const std::string name = Describe(exe);
    const double start = Now();
    Process process(exe, "");
    if (!process.started()) {
        sample.failure = name + ": CreateProcess failed, error " + std::to_string(GetLastError());
        return sample;
    }
    const Readiness readiness = WaitUntilReady(process, name, start);
    if (!readiness.failure.empty()) {
        sample.failure = readiness.failure;
        return sample;
    }
    sample.visible = readiness.visible;
    sample.ready = readiness.ready;

    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process.handle(), &counters, sizeof counters)) {
        sample.failure = name + ": GetProcessMemoryInfo failed, error " + std::to_string(GetLastError());
        return sample;
    }
    sample.peakWorkingSet = static_cast<double>(counters.PeakWorkingSetSize);

    PostMessageA(readiness.main, WM_CLOSE, 0, 0);
    if (!process.wait(kCloseTimeout))
        sample.failure = name + ": still running 10 s after WM_CLOSE";
    else if (process.exitCode() != 0)
        sample.failure = name + ": ended with exit code " + std::to_string(process.exitCode());
    return sample;
}
