// The bench probe: starts keyprep.exe and the two floor programs under Wine, times them and
// drives a command-line Format; everything it measures is gathered here and printed by main.
#pragma once
#include <windows.h>

#include "support/process_windows.h"

#include <string>
#include <vector>

// Milliseconds on the performance counter, for differences only.
double Now();

// A program started as its own process; ended by force if still running when dropped.
class Process {
public:
    Process(const std::string& exe, const std::string& arguments);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return info_.hProcess != nullptr; }
    HANDLE handle() const { return info_.hProcess; }
    DWORD id() const { return info_.dwProcessId; }
    bool wait(DWORD milliseconds) const;
    DWORD exitCode() const;

private:
    PROCESS_INFORMATION info_{};
};

// The file name of a program, for messages.
std::string Describe(const std::string& exe);
std::string WindowText(HWND window);
bool IsMainDialog(HWND window);
// String `id` of a program's own string table, read from its file.
std::string ProgramText(const std::string& exe, UINT id);
// A message box's text: the static control with ID 0xFFFF.
std::string BoxText(HWND box);
// Presses a button of a dialog or message box as its click would: the command is posted.
void Press(HWND window, int buttonId);

// The moment a program takes input: its main dialog is visible and has answered a WM_NULL,
// which it can do only once WM_INITDIALOG has returned and its message loop runs.
struct Readiness {
    HWND main = nullptr;
    double visible = 0; // ms from `start` to the first visible window of the process
    double ready = 0;   // ms from `start` to the answer
    std::string failure;
};
Readiness WaitUntilReady(const Process& process, const std::string& name, double start);

struct StartupSample {
    double visible = 0;         // CreateProcess to the first visible top-level window, ms
    double ready = 0;           // CreateProcess until the main dialog takes input, ms
    double peakWorkingSet = 0;  // bytes, read when it became ready
    std::string failure;        // empty when the run went as it should
};

// Starts `exe`, waits until its main dialog takes input, reads its peak working set, then
// closes the window with WM_CLOSE and waits for the process to end.
StartupSample MeasureStartup(const std::string& exe);

// The three steps of an attempt that the user waits for, in the order they come.
constexpr int kAttemptSteps = 3;
struct AttemptSample {
    double steps[kAttemptSteps] = {};      // ms, without the key library's time in them
    double keyLibrary[kAttemptSteps] = {}; // ms that key-library calls took within each step
    std::string failure;
};

// Runs one interactive Format of the default simulated Key with `exe` (keyprep.exe or the
// workflow floor, whose texts come from `textsFrom`), answering every window as a user does,
// and times from each press to the next window: Format to the connect prompt, its OK to the
// credential dialog, the final Yes to the outcome box. The simulator reports its call times
// to `callTimes`, through CARDWYN_SIM_TIMES.
AttemptSample MeasureAttempt(const std::string& exe, const std::string& textsFrom, const std::string& callTimes);

struct FormatRun {
    std::vector<double> roundTrips; // WM_NULL round trips while the title showed a stage, ms
    double stageMilliseconds = 0;   // from the first stage title to the last one's end
    std::string failure;
};

// Runs `keyprep.exe format "reader"`, answers the confirmations with Yes and the success
// box with OK, and every 10 ms while the title shows a stage sends WM_NULL to the main dialog.
FormatRun MeasureFormat(const std::string& exe, const std::string& reader);

struct Section {
    std::string name;
    DWORD fileBytes = 0;
    DWORD memoryBytes = 0;
};

struct ExeLayout {
    DWORD fileBytes = 0;
    std::vector<Section> sections;
    std::string failure;
};

// The size of a PE file and its section table.
ExeLayout ReadExeLayout(const std::string& path);

double Median(std::vector<double> values);
// Nearest-rank percentile, `fraction` in (0, 1].
double Percentile(std::vector<double> values, double fraction);
double Smallest(const std::vector<double>& values);
double Largest(const std::vector<double>& values);
