// The bench probe: starts keyprep.exe and the two floor programs under Wine, times them and
// drives a command-line Format; everything it measures is gathered here and printed by main.
#pragma once
#include <windows.h>

#include "support/process_windows.h"

#include <array>
#include <memory>
#include <set>
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

struct AttemptTexts {
    std::string connect;  // the connect prompt
    std::string reformat; // the first confirmation
    std::string dataLoss; // the second, final one
    std::string success;
};

// One interactive Format of the default simulated Key, driven as a user does it: started,
// then step by step (0: Format to the connect prompt; 1: its OK to the credential dialog,
// then the SO PIN, OK and the first Yes; 2: the final Yes to the outcome box), each timed
// from the press to the next window seen. The simulator reports its call times through
// CARDWYN_SIM_TIMES, and finish() takes them out of the steps.
class AttemptRun {
public:
    AttemptRun(const std::string& exe, const std::string& keySet, const std::string& callTimes,
               const AttemptTexts& texts);
    ~AttemptRun();
    AttemptRun(const AttemptRun&) = delete;
    AttemptRun& operator=(const AttemptRun&) = delete;

    // Moves the main dialog so that its centre is at `centreX`; its later windows follow it.
    void moveTo(int centreX);
    void step(int index);
    AttemptSample finish();

private:
    // A window that the program showed, and when the probe first saw it visible.
    struct Shown {
        HWND window = nullptr;
        double at = 0;
    };
    double press(int buttonId);
    Shown box(const std::string& text);
    Shown dialogWith(int controlId);
    Shown next();
    void fail(const std::string& why);

    std::string name_;
    std::string callTimes_;
    AttemptTexts texts_;
    std::unique_ptr<Process> process_;
    double start_ = 0;
    HWND main_ = nullptr;
    Shown current_;
    std::set<HWND> answered_;
    double from_[kAttemptSteps] = {};
    double to_[kAttemptSteps] = {};
    std::string failure_;
};

// A Format with each of two programs at once, on Key sets of their own, their windows side
// by side; each step is taken by both, one after the other, before the next step begins, so
// that the two measurements of a step meet the same load. `secondFirst` swaps the order.
std::array<AttemptSample, 2> MeasureAttempts(const std::array<std::string, 2>& exes,
                                             const std::array<std::string, 2>& keySets,
                                             const std::array<std::string, 2>& callTimes,
                                             const AttemptTexts& texts, bool secondFirst);

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

// A series of Keys in one reader, each plugged in by rewriting the simulated Key set.
struct SeriesRun {
    std::vector<double> noticed;          // plugged in -> the window says it works on it, ms
    double firstBox = 0;                  // the first Key: noticed -> its SO PIN dialog shown, ms
    std::vector<double> workAfterNoticed; // later Keys: noticed -> UnformatCard begins, ms
    int keystrokesAfterFirst = 0;         // windows that a Key after the first asked to be answered in
    std::string failure;
};
SeriesRun MeasureSeries(int keys);
