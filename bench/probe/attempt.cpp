#include "probe.h"

#include "res/resource.h"

#include <fstream>
#include <set>

namespace {

constexpr double kWindowTimeout = 20000;
constexpr DWORD kEndTimeout = 10000;
constexpr DWORD kSettle = 100; // ms for both programs to repaint after they were moved
constexpr char kSoPin[] = "24682468"; // the default Key's

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

// Starts a program on its own Key set and times its steps while the probe drives it. The
// environment that the process inherits names its Key set and its call-times file.
std::unique_ptr<Process> StartOn(const std::string& exe, const std::string& keySet, const std::string& callTimes)
{
    DeleteFileA(callTimes.c_str());
    SetEnvironmentVariableA("CARDWYN_SIM", keySet.c_str());
    SetEnvironmentVariableA("CARDWYN_SIM_TIMES", callTimes.c_str());
    auto process = std::make_unique<Process>(exe, "");
    SetEnvironmentVariableA("CARDWYN_SIM_TIMES", nullptr);
    return process;
}

} // namespace

AttemptRun::AttemptRun(const std::string& exe, const std::string& keySet, const std::string& callTimes,
                       const AttemptTexts& texts)
    : name_(Describe(exe)), callTimes_(callTimes), texts_(texts)
{
    start_ = Now();
    process_ = StartOn(exe, keySet, callTimes);
    if (!process_->started()) {
        fail("CreateProcess failed, error " + std::to_string(GetLastError()));
        return;
    }
    const Readiness readiness = WaitUntilReady(*process_, name_, start_);
    if (!readiness.failure.empty())
        failure_ = readiness.failure;
    main_ = readiness.main;
}

AttemptRun::~AttemptRun() = default;

void AttemptRun::moveTo(int centreX)
{
    RECT rect{};
    if (main_ == nullptr || !GetWindowRect(main_, &rect))
        return;
    SetWindowPos(main_, nullptr, centreX - (rect.right - rect.left) / 2, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void AttemptRun::step(int index)
{
    if (!failure_.empty())
        return;
    switch (index) {
    case 0: {
        from_[0] = Now();
        Press(main_, IDC_MAIN_FORMAT);
        current_ = box(texts_.connect);
        to_[0] = current_.at;
        break;
    }
    case 1:
        from_[1] = press(IDOK);
        current_ = dialogWith(IDC_SO_PIN_EDIT);
        to_[1] = current_.at;
        // Typed here, outside the steps: the confirmations follow, then the final Yes waits.
        if (current_.window != nullptr)
            SendDlgItemMessageA(current_.window, IDC_SO_PIN_EDIT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kSoPin));
        press(IDOK);
        current_ = box(texts_.reformat);
        press(IDYES);
        current_ = box(texts_.dataLoss);
        break;
    case 2:
        from_[2] = press(IDYES);
        current_ = box(texts_.success);
        to_[2] = current_.at;
        break;
    }
}

AttemptSample AttemptRun::finish()
{
    AttemptSample sample;
    if (failure_.empty()) {
        press(IDOK);
        if (!process_->wait(kEndTimeout))
            fail("still running 10 s after the success message");
    }
    if (!failure_.empty()) {
        sample.failure = failure_;
        return sample;
    }
    // The library writes its call times when it is unloaded, at the program's end.
    const auto calls = ReadCallTimes(callTimes_);
    for (int step = 0; step < kAttemptSteps; ++step) {
        sample.keyLibrary[step] = TimeWithin(calls, from_[step], to_[step]);
        sample.steps[step] = to_[step] - from_[step] - sample.keyLibrary[step];
    }
    // The reader walk lies in the second step, the Unformat and Format in the third.
    if (sample.keyLibrary[1] <= 0 || sample.keyLibrary[2] <= 0)
        sample.failure = name_ + ": the simulator reported no call times in " + callTimes_;
    return sample;
}

double AttemptRun::press(int buttonId)
{
    const double at = Now();
    if (current_.window != nullptr)
        Press(current_.window, buttonId);
    return at;
}

AttemptRun::Shown AttemptRun::box(const std::string& text)
{
    const Shown shown = next();
    if (shown.window != nullptr && BoxText(shown.window) != text)
        fail("showed \"" + BoxText(shown.window) + "\" where \"" + text + "\" was expected");
    return shown;
}

AttemptRun::Shown AttemptRun::dialogWith(int controlId)
{
    const Shown shown = next();
    if (shown.window != nullptr && GetDlgItem(shown.window, controlId) == nullptr)
        fail("showed \"" + WindowText(shown.window) + ": " + BoxText(shown.window) +
             "\" where the credential dialog was expected");
    return shown;
}

// Waits, polling each millisecond, for a visible window of the process other than the main
// dialog and those already answered.
AttemptRun::Shown AttemptRun::next()
{
    if (!failure_.empty())
        return {};
    const double start = Now();
    while (!process_->wait(0) && Now() - start < kWindowTimeout) {
        for (HWND window : VisibleWindowsOf(process_->id()))
            if (window != main_ && answered_.count(window) == 0) {
                answered_.insert(window);
                return {window, Now()};
            }
        Sleep(1);
    }
    fail(process_->wait(0) ? "ended in the middle of the Format" : "showed no further window within 20 s");
    return {};
}

void AttemptRun::fail(const std::string& why)
{
    if (failure_.empty())
        failure_ = name_ + ": " + why;
}

std::array<AttemptSample, 2> MeasureAttempts(const std::array<std::string, 2>& exes,
                                             const std::array<std::string, 2>& keySets,
                                             const std::array<std::string, 2>& callTimes,
                                             const AttemptTexts& texts, bool secondFirst)
{
    std::array<std::unique_ptr<AttemptRun>, 2> runs;
    const size_t order[2] = {secondFirst ? 1u : 0u, secondFirst ? 0u : 1u};
    for (size_t k : order)
        runs[k] = std::make_unique<AttemptRun>(exes[k], keySets[k], callTimes[k], texts);
    // Side by side, so that neither's windows cover the other's and make it repaint.
    const int width = GetSystemMetrics(SM_CXSCREEN);
    runs[0]->moveTo(width / 4);
    runs[1]->moveTo(width * 3 / 4);
    Sleep(kSettle);
    for (int step = 0; step < kAttemptSteps; ++step)
        for (size_t k : order)
            runs[k]->step(step);
    std::array<AttemptSample, 2> samples;
    for (size_t k : order)
        samples[k] = runs[k]->finish();
    return samples;
}
