#include "probe.h"

#include "res/resource.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr double kWindowTimeout = 20000;
constexpr DWORD kEndTimeout = 10000;
constexpr char kSoPin[] = "24682468"; // the default Key's

struct AttemptTexts {
    std::string connect;
    std::string reformat;
    std::string dataLoss;
    std::string success;
};

// A window that the program showed, and when the probe first saw it visible.
struct Shown {
    HWND window = nullptr;
    double at = 0;
};

// Waits, polling each millisecond, for a visible window of the process other than the main
// dialog and those already answered.
Shown NextWindow(const Process& process, HWND main, const std::set<HWND>& answered)
{
    const double start = Now();
    while (!process.wait(0) && Now() - start < kWindowTimeout) {
        for (HWND window : VisibleWindowsOf(process.id()))
            if (window != main && answered.count(window) == 0)
                return {window, Now()};
        Sleep(1);
    }
    return {};
}

// The key library's calls during one run, as the simulator reported them: begin and end, ms.
std::vector<std::pair<double, double>> ReadCallTimes(const std::string& path)
{
    std::vector<std::pair<double, double>> calls;
    std::ifstream file(path);
    std::string entryPoint;
    double begin = 0;
    double end = 0;
    while (file >> entryPoint >> begin >> end)
        calls.emplace_back(begin, end);
    return calls;
}

double TimeWithin(const std::vector<std::pair<double, double>>& calls, double from, double to)
{
    double total = 0;
    for (const auto& [begin, end] : calls)
        if (end > from && begin < to)
            total += std::min(end, to) - std::max(begin, from);
    return total;
}

class AttemptRun {
public:
    AttemptRun(const Process& process, const std::string& name, HWND main)
        : process_(process), name_(name), main_(main)
    {
    }

    // Waits for the next window and checks that it is the message box with `text`.
    Shown box(const std::string& text)
    {
        const Shown shown = next();
        if (shown.window != nullptr && BoxText(shown.window) != text)
            fail("showed \"" + BoxText(shown.window) + "\" where \"" + text + "\" was expected");
        return shown;
    }

    Shown dialogWith(int controlId)
    {
        const Shown shown = next();
        if (shown.window != nullptr && GetDlgItem(shown.window, controlId) == nullptr)
            fail("showed \"" + WindowText(shown.window) + ": " + BoxText(shown.window) +
                 "\" where the credential dialog was expected");
        return shown;
    }

    // Presses the button and returns when, just before.
    double press(const Shown& shown, int buttonId)
    {
        const double at = Now();
        if (shown.window != nullptr)
            Press(shown.window, buttonId);
        return at;
    }

    const std::string& failure() const { return failure_; }

private:
    Shown next()
    {
        if (!failure_.empty())
            return {};
        const Shown shown = NextWindow(process_, main_, answered_);
        if (shown.window == nullptr)
            fail(process_.wait(0) ? "ended in the middle of the Format" : "showed no further window within 20 s");
        answered_.insert(shown.window);
        return shown;
    }

    void fail(const std::string& why)
    {
        if (failure_.empty())
            failure_ = name_ + ": " + why;
    }

    const Process& process_;
    std::string name_;
    HWND main_;
    std::set<HWND> answered_;
    std::string failure_;
};

} // namespace

AttemptSample MeasureAttempt(const std::string& exe, const std::string& textsFrom, const std::string& callTimes)
{
    AttemptSample sample;
    const std::string name = Describe(exe);
    const AttemptTexts texts{ProgramText(textsFrom, IDS_CONNECT_KEY), ProgramText(textsFrom, IDS_CONFIRM_REFORMAT),
                             ProgramText(textsFrom, IDS_CONFIRM_DATA_LOSS), ProgramText(textsFrom, IDS_SUCCESS)};
    DeleteFileA(callTimes.c_str());
    if (!SetEnvironmentVariableA("CARDWYN_SIM_TIMES", callTimes.c_str())) {
        sample.failure = "cannot set CARDWYN_SIM_TIMES";
        return sample;
    }
    const double start = Now();
    Process process(exe, "");
    SetEnvironmentVariableA("CARDWYN_SIM_TIMES", nullptr);
    if (!process.started()) {
        sample.failure = name + ": CreateProcess failed, error " + std::to_string(GetLastError());
        return sample;
    }
    const Readiness readiness = WaitUntilReady(process, name, start);
    if (!readiness.failure.empty()) {
        sample.failure = readiness.failure;
        return sample;
    }

    AttemptRun run(process, name, readiness.main);
    double from[kAttemptSteps];
    double to[kAttemptSteps];
    from[0] = Now();
    PostMessageA(readiness.main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_FORMAT, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(readiness.main, IDC_MAIN_FORMAT)));
    const Shown connect = run.box(texts.connect);
    to[0] = connect.at;
    from[1] = run.press(connect, IDOK);
    const Shown credential = run.dialogWith(IDC_SO_PIN_EDIT);
    to[1] = credential.at;
    if (credential.window != nullptr)
        SendDlgItemMessageA(credential.window, IDC_SO_PIN_EDIT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kSoPin));
    run.press(credential, IDOK);
    const Shown reformat = run.box(texts.reformat);
    run.press(reformat, IDYES);
    const Shown dataLoss = run.box(texts.dataLoss);
    from[2] = run.press(dataLoss, IDYES);
    const Shown success = run.box(texts.success);
    to[2] = success.at;
    run.press(success, IDOK);
    if (!run.failure().empty()) {
        sample.failure = run.failure();
        return sample;
    }
    if (!process.wait(kEndTimeout)) {
        sample.failure = name + ": still running 10 s after the success message";
        return sample;
    }

    // The library writes its call times when it is unloaded, at the program's end.
    const auto calls = ReadCallTimes(callTimes);
    for (int step = 0; step < kAttemptSteps; ++step) {
        sample.keyLibrary[step] = TimeWithin(calls, from[step], to[step]);
        sample.steps[step] = to[step] - from[step] - sample.keyLibrary[step];
    }
    // The reader walk lies in the second step, the Unformat and Format in the third.
    if (sample.keyLibrary[1] <= 0 || sample.keyLibrary[2] <= 0)
        sample.failure = name + ": the simulator reported no call times in " + callTimes;
    return sample;
}
