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

std::string WindowText(HWND window);
bool IsMainDialog(HWND window);

struct StartupSample {
    double milliseconds = 0;     // CreateProcess to the first visible top-level window
    double peakWorkingSet = 0;   // bytes, read when that window was seen
    std::string failure;         // empty when the run went as it should
};

// Starts `exe`, waits for its first visible window, reads its peak working set, then
// closes the window with WM_CLOSE and waits for the process to end.
StartupSample MeasureStartup(const std::string& exe);

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
