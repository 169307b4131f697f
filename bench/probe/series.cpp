#include "probe.h"

#include "res/resource.h"

#include <fstream>
#include <sstream>

namespace {

constexpr double kTimeout = 20000;
constexpr char kSoPin[] = "24682468";
constexpr char kKeySet[] = "series.ini";
constexpr char kCallTimes[] = "series-calls.txt";

// Puts Key `id` into the simulated reader, as a user plugs it in; an empty id pulls it out.
void Plug(const std::string& id)
{
    std::ifstream in(kKeySet);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::string set = text.str();
    const size_t at = set.find("\nKey=") + 5;
    std::ofstream(kKeySet, std::ios::trunc) << set.substr(0, at) << id << set.substr(set.find('\n', at));
}

void WriteKeySet(int keys)
{
    std::ofstream set(kKeySet, std::ios::trunc);
    set << "[Reader Simulated Reader 0]\nType=30\nKey=\n";
    for (int key = 1; key <= keys; ++key)
        set << "\n[Key K" << key << "]\nCardType=8\nCredential=\"" << kSoPin
            << "\"\nTries=10\nMaxTries=10\nCapacity=32000\nMakerArea=0\n";
}

// Polls `done` every millisecond; the time when it first held, or -1 after the timeout.
template <typename Done>
double WaitFor(Done done)
{
    for (const double start = Now(); Now() - start < kTimeout; Sleep(1))
        if (done())
            return Now();
    return -1;
}

bool StateStarts(HWND main, const std::string& text)
{
    return WindowText(GetDlgItem(main, IDC_SERIES_STATE)).rfind(text, 0) == 0;
}

HWND WindowWith(DWORD process, int controlId)
{
    for (HWND window : VisibleWindowsOf(process))
        if (GetDlgItem(window, controlId) != nullptr && !IsMainDialog(window))
            return window;
    return nullptr;
}

// When the first key-library call of a Key's work (UnformatCard) began, from the simulator.
std::vector<double> WorkBegins()
{
    std::vector<double> begins;
    std::ifstream file(kCallTimes);
    std::string entryPoint;
    double begin = 0;
    double end = 0;
    while (file >> entryPoint >> begin >> end)
        if (entryPoint == "UnformatCard")
            begins.push_back(begin);
    return begins;
}

} // namespace

SeriesRun MeasureSeries(int keys)
{
    SeriesRun run;
    WriteKeySet(keys);
    DeleteFileA(kCallTimes);
    char path[MAX_PATH] = {};
    GetFullPathNameA(kKeySet, MAX_PATH, path, nullptr);
    SetEnvironmentVariableA("CARDWYN_SIM", path);
    GetFullPathNameA(kCallTimes, MAX_PATH, path, nullptr);
    SetEnvironmentVariableA("CARDWYN_SIM_TIMES", path);
    Process keyprep("keyprep.exe", "series \"Simulated Reader 0\" series-receipts.csv");
    SetEnvironmentVariableA("CARDWYN_SIM_TIMES", nullptr);
    const Readiness ready = WaitUntilReady(keyprep, "keyprep.exe", Now());
    HWND confirm = nullptr;
    if (ready.failure.empty() && WaitFor([&] { return (confirm = WindowWith(keyprep.id(), IDC_SERIES_REFORMAT)); }) < 0)
        run.failure = "no confirmation of the series";
    if (!ready.failure.empty())
        run.failure = ready.failure;
    if (!run.failure.empty())
        return run;
    Press(confirm, IDYES);
    const HWND main = ready.main;
    std::vector<double> plugged;
    for (int key = 1; key <= keys && run.failure.empty(); ++key) {
        if (WaitFor([&] { return StateStarts(main, "Waiting"); }) < 0) {
            run.failure = "the series did not wait for a Key";
            break;
        }
        Plug("K" + std::to_string(key));
        plugged.push_back(Now());
        const double noticed = WaitFor([&] { return StateStarts(main, "Working"); });
        run.noticed.push_back(noticed - plugged.back());
        if (key == 1) {
            HWND soPin = nullptr;
            const double shown = WaitFor([&] { return (soPin = WindowWith(keyprep.id(), IDC_SO_PIN_EDIT)); });
            run.firstBox = shown - noticed;
            SetDlgItemTextA(soPin, IDC_SO_PIN_EDIT, kSoPin);
            PostMessageA(GetDlgItem(soPin, IDC_KEEP_FOR_SERIES), BM_CLICK, 0, 0);
            Sleep(50);
            Press(soPin, IDOK);
        }
        if (noticed < 0 || WaitFor([&] { return StateStarts(main, "Done"); }) < 0) {
            run.failure = "Key " + std::to_string(key) + " was not done";
            break;
        }
        // Every Key after the first: no window, not a keystroke.
        run.keystrokesAfterFirst += key > 1 && WindowWith(keyprep.id(), IDC_SO_PIN_EDIT) != nullptr;
        Plug("");
    }
    WaitFor([&] { return StateStarts(main, "Waiting"); });
    Press(main, IDC_SERIES_STOP);
    keyprep.wait(10000);
    const std::vector<double> begins = WorkBegins();
    for (size_t key = 1; key < begins.size() && key < plugged.size(); ++key)
        run.workAfterNoticed.push_back(begins[key] - plugged[key] - run.noticed[key]);
    return run;
}
