// Usage: bench_probe.exe [--rounds N] [--repeats N] [--formats N] [--built PATH]
// Run in a folder that holds keyprep.exe (stripped, as shipped), bench_floor.exe,
// bench_floor_libs.exe, bench_floor_workflow.exe, both stand-in libraries, default.ini and
// slow_operations.ini. --built names keyprep.exe as the build left it, for its unstripped size.
#include "probe.h"

#include "res/resource.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kTarget = 1.05;          // keyprep.exe / its floor, for time and memory
constexpr double kRoundTripTarget = 50;   // ms, the longest
constexpr double kSizeBudget = 150;       // KB, keyprep.exe stripped
constexpr char kReader[] = "Simulated Reader 0";
constexpr char kKeyprep[] = "keyprep.exe";
constexpr char kFloor[] = "bench_floor.exe";
constexpr char kLibraryFloor[] = "bench_floor_libs.exe";
constexpr char kWorkflowFloor[] = "bench_floor_workflow.exe";
constexpr const char* kStepNames[kAttemptSteps] = {"Format -> connect prompt shown",
                                                   "connect OK -> credential dialog shown",
                                                   "final Yes -> outcome box shown"};

// The start-up programs, in the order of a round that starts with the first.
constexpr const char* kStartupPrograms[] = {kKeyprep, kFloor, kLibraryFloor};
constexpr size_t kStartupCount = std::size(kStartupPrograms);

// Everything measured, one entry per counted round.
struct Results {
    std::array<std::vector<StartupSample>, kStartupCount> startups;
    std::vector<AttemptSample> keyprepAttempts;
    std::vector<AttemptSample> floorAttempts;
};

std::string FullPath(const char* name)
{
    char path[MAX_PATH] = {};
    GetFullPathNameA(name, MAX_PATH, path, nullptr);
    return path;
}

// The simulated key library finds its Key set through CARDWYN_SIM; each run gets a fresh copy.
bool UseKeySet(const char* example, const char* copy)
{
    const std::string target = FullPath(copy);
    return CopyFileA(FullPath(example).c_str(), target.c_str(), FALSE) &&
           SetEnvironmentVariableA("CARDWYN_SIM", target.c_str());
}

[[noreturn]] void Fail(const std::string& why)
{
    std::fprintf(stderr, "bench: %s\n", why.c_str());
    std::exit(1);
}

template <typename Sample, typename Field>
std::vector<double> Values(const std::vector<Sample>& samples, Field field)
{
    std::vector<double> values;
    for (const Sample& sample : samples)
        values.push_back(field(sample));
    return values;
}

// Ratios taken within each round, where both programs met the same machine load.
std::vector<double> RoundRatios(const std::vector<double>& measured, const std::vector<double>& floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < measured.size() && i < floor.size(); ++i)
        ratios.push_back(floor[i] > 0 ? measured[i] / floor[i] : 0);
    return ratios;
}

// A verdict only where the middle half of the round ratios agrees on it.
const char* Verdict(const std::vector<double>& ratios, double target)
{
    if (Percentile(ratios, 0.75) <= target)
        return "met";
    if (Percentile(ratios, 0.25) > target)
        return "MISSED";
    return "undecided";
}

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Ratio(double value) { return Fixed(value, 2) + "x"; }

// One line of the table; cells not given stay blank.
void Print(const std::string& figure, const std::string& keyprep = "", const std::string& floor = "",
           const std::string& ratio = "", const std::string& middleHalf = "", const std::string& target = "",
           const std::string& verdict = "")
{
    char line[256];
    std::snprintf(line, sizeof line, "  %-38s %11s %9s %7s %12s %9s  %s", figure.c_str(), keyprep.c_str(),
                  floor.c_str(), ratio.c_str(), middleHalf.c_str(), target.c_str(), verdict.c_str());
    std::string text = line;
    text.erase(text.find_last_not_of(' ') + 1);
    std::printf("%s\n", text.c_str());
}

// keyprep.exe against a floor over the same rounds: both medians, the median of the round
// ratios and their middle half, and, with a target, the verdict.
void Compare(const std::string& figure, const std::vector<double>& measured, const std::vector<double>& floor,
             int decimals, double target = 0)
{
    const std::vector<double> ratios = RoundRatios(measured, floor);
    Print(figure, Fixed(Median(measured), decimals), Fixed(Median(floor), decimals), Ratio(Median(ratios)),
          Fixed(Percentile(ratios, 0.25), 2) + "-" + Ratio(Percentile(ratios, 0.75)),
          target > 0 ? "<= " + Ratio(target) : "", target > 0 ? Verdict(ratios, target) : "");
}

// Decimal units, as the project's issues and release notes give sizes.
double Kilobytes(DWORD bytes) { return bytes / 1000.0; }

// The best of a round's runs of one program: the run that the rest of the machine disturbed
// least, figure by figure.
void KeepBest(StartupSample* best, const StartupSample& sample, bool first)
{
    if (first || sample.ready < best->ready)
        *best = sample;
}

void KeepBest(AttemptSample* best, const AttemptSample& sample, bool first)
{
    for (int step = 0; step < kAttemptSteps; ++step)
        if (first || sample.steps[step] < best->steps[step]) {
            best->steps[step] = sample.steps[step];
            best->keyLibrary[step] = sample.keyLibrary[step];
        }
}

// One round: `repeats` times the start-up of each program, in an order that rotates so that
// none is always first, then `repeats` times a Format with keyprep.exe and one with the
// workflow floor, step by step, in an order that alternates. Each program's best run counts.
void MeasureRound(int round, int repeats, Results* results, bool counted)
{
    if (!UseKeySet("default.ini", "startup-keys.ini"))
        Fail("cannot copy default.ini");
    StartupSample bestStartup[kStartupCount];
    for (int repeat = 0; repeat < repeats; ++repeat)
        for (size_t k = 0; k < kStartupCount; ++k) {
            const size_t program = (static_cast<size_t>(round + repeat) + k) % kStartupCount;
            const StartupSample sample = MeasureStartup(FullPath(kStartupPrograms[program]));
            if (!sample.failure.empty())
                Fail(sample.failure);
            KeepBest(&bestStartup[program], sample, repeat == 0);
        }

    const std::string keyprep = FullPath(kKeyprep);
    const AttemptTexts texts{ProgramText(keyprep, IDS_CONNECT_KEY), ProgramText(keyprep, IDS_CONFIRM_REFORMAT),
                             ProgramText(keyprep, IDS_CONFIRM_DATA_LOSS), ProgramText(keyprep, IDS_SUCCESS)};
    const std::array<std::string, 2> keySets = {FullPath("attempt-keys.ini"), FullPath("attempt-floor-keys.ini")};
    AttemptSample bestAttempt[2];
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (const std::string& keySet : keySets)
            if (!CopyFileA(FullPath("default.ini").c_str(), keySet.c_str(), FALSE))
                Fail("cannot copy default.ini");
        const std::array<AttemptSample, 2> samples =
            MeasureAttempts({keyprep, FullPath(kWorkflowFloor)}, keySets,
                            {FullPath("call-times.txt"), FullPath("call-times-floor.txt")}, texts,
                            (round + repeat) % 2 != 0);
        for (size_t k = 0; k < samples.size(); ++k) {
            if (!samples[k].failure.empty())
                Fail(samples[k].failure);
            KeepBest(&bestAttempt[k], samples[k], repeat == 0);
        }
    }
    if (!counted)
        return;
    for (size_t k = 0; k < kStartupCount; ++k)
        results->startups[k].push_back(bestStartup[k]);
    results->keyprepAttempts.push_back(bestAttempt[0]);
    results->floorAttempts.push_back(bestAttempt[1]);
}

// Responsiveness during command-line Formats on the slow Key, their round trips pooled.
FormatRun MeasureFormats(int formats)
{
    FormatRun pooled;
    for (int i = 0; i < formats; ++i) {
        if (!UseKeySet("slow_operations.ini", "format-keys.ini"))
            Fail("cannot copy slow_operations.ini");
        const FormatRun run = MeasureFormat(FullPath(kKeyprep), kReader);
        if (!run.failure.empty())
            Fail(run.failure);
        pooled.roundTrips.insert(pooled.roundTrips.end(), run.roundTrips.begin(), run.roundTrips.end());
        pooled.stageMilliseconds += run.stageMilliseconds;
    }
    return pooled;
}

void PrintHeading(int rounds, int repeats)
{
    const auto wineVersion = reinterpret_cast<const char* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    std::printf("keyprep benchmarks: %d interleaved rounds of %d runs of each program, the best counted, after one"
                " warm-up round;\nWine %s, %lu processors\n",
                rounds, repeats, wineVersion ? wineVersion() : "(not Wine)", system.dwNumberOfProcessors);
    std::printf("floor: the main dialog's template alone; library floor: the same with the manifest and both"
                " libraries loaded;\nworkflow floor: a Format's windows, thread, messages and key-library calls"
                " without the program's code.\nMedians; ratio: the median of the ratios within each round;"
                " verdict only where their middle half agrees.\n\n");
    Print("", "keyprep.exe", "floor", "ratio", "middle half", "target", "verdict");
}

void PrintStartup(const Results& results)
{
    const auto& [keyprep, floor, libraryFloor] = results.startups;
    const auto ready = [](const StartupSample& s) { return s.ready; };
    const auto visible = [](const StartupSample& s) { return s.visible; };
    const auto peak = [](const StartupSample& s) { return s.peakWorkingSet / 1e6; };
    std::printf("start-up: CreateProcess until the main dialog takes input, ms\n");
    Compare("ready, against the library floor", Values(keyprep, ready), Values(libraryFloor, ready), 1, kTarget);
    Compare("ready, against the floor", Values(keyprep, ready), Values(floor, ready), 1);
    Compare("visible, against the library floor", Values(keyprep, visible), Values(libraryFloor, visible), 1);
    std::printf("peak working set when ready, MB\n");
    Compare("against the library floor", Values(keyprep, peak), Values(libraryFloor, peak), 1, kTarget);
    Compare("against the floor", Values(keyprep, peak), Values(floor, peak), 1);
}

void PrintAttempts(const Results& results)
{
    std::printf("attempt steps against the workflow floor, ms, the key library's time taken out\n");
    for (int step = 0; step < kAttemptSteps; ++step) {
        const auto time = [step](const AttemptSample& s) { return s.steps[step]; };
        Compare(kStepNames[step], Values(results.keyprepAttempts, time), Values(results.floorAttempts, time), 1,
                kTarget);
    }
    for (int step = 1; step < kAttemptSteps; ++step) {
        const auto time = [step](const AttemptSample& s) { return s.keyLibrary[step]; };
        Print("  key library in step " + std::to_string(step + 1) + " (taken out)",
              Fixed(Median(Values(results.keyprepAttempts, time)), 1),
              Fixed(Median(Values(results.floorAttempts, time)), 1));
    }
}

void PrintResponsiveness(const FormatRun& run)
{
    const double longest = Largest(run.roundTrips);
    std::printf("WM_NULL round trip to the main dialog during a Format, ms (%zu samples, %.1f s of stages)\n",
                run.roundTrips.size(), run.stageMilliseconds / 1000.0);
    Print("max", Fixed(longest, 2), "", Ratio(longest / kRoundTripTarget), "", "< " + Fixed(kRoundTripTarget, 0) + " ms",
          longest < kRoundTripTarget ? "met" : "MISSED");
    Print("p99", Fixed(Percentile(run.roundTrips, 0.99), 2));
    Print("median", Fixed(Median(run.roundTrips), 2));
}

// A series: how soon a plugged-in Key is noticed and worked on, and what it asks of the user.
void PrintSeries(const SeriesRun& run, int keys)
{
    if (!run.failure.empty())
        Fail("series: " + run.failure);
    std::printf("series of %d Keys in one reader, each plugged in by the probe, ms\n", keys);
    const double noticed = Largest(run.noticed);
    Print("plugged in -> noticed, slowest", Fixed(noticed, 1), "", "", "", "< 1000 ms", noticed < 1000 ? "met" : "MISSED");
    Print("first Key: noticed -> its dialog", Fixed(run.firstBox, 1), "", "", "", "< 500 ms",
          run.firstBox < 500 ? "met" : "MISSED");
    const double work = run.workAfterNoticed.empty() ? 0 : Largest(run.workAfterNoticed);
    Print("later Keys: noticed -> work, slowest", Fixed(work, 1), "", "", "", "< 500 ms",
          work < 500 ? "met" : "MISSED");
    Print("windows to answer per later Key", std::to_string(run.keystrokesAfterFirst), "", "", "", "0",
          run.keystrokesAfterFirst == 0 ? "met" : "MISSED");
}

void PrintSize(const std::string& built)
{
    ExeLayout layouts[kStartupCount];
    for (size_t i = 0; i < kStartupCount; ++i) {
        layouts[i] = ReadExeLayout(kStartupPrograms[i]);
        if (!layouts[i].failure.empty())
            Fail(layouts[i].failure);
    }
    const double size = Kilobytes(layouts[0].fileBytes);
    std::printf("size of the stripped executable, KB (floor: the library floor; sections: size in the file)\n");
    Print("file, against the budget", Fixed(size, 1), Fixed(Kilobytes(layouts[2].fileBytes), 1),
          Ratio(size / kSizeBudget), "", "<= " + Fixed(kSizeBudget, 0) + " KB", size <= kSizeBudget ? "met" : "MISSED");
    for (const Section& section : layouts[0].sections)
        Print("  " + section.name, Fixed(Kilobytes(section.fileBytes), 1));
    if (built.empty())
        return;
    const ExeLayout unstripped = ReadExeLayout(built);
    if (!unstripped.failure.empty())
        Fail(unstripped.failure);
    Print("keyprep.exe as built", Fixed(Kilobytes(unstripped.fileBytes), 1));
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 30;
    int repeats = 3;
    int formats = 1;
    std::string built;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc)
            repeats = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--formats") == 0 && i + 1 < argc)
            formats = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--built") == 0 && i + 1 < argc)
            built = argv[++i];
        else
            Fail(std::string("unknown argument ") + argv[i]);
    }
    if (rounds < 1 || repeats < 1 || formats < 1)
        Fail("--rounds, --repeats and --formats need a number of at least 1");
    for (const char* file : {kKeyprep, kFloor, kLibraryFloor, kWorkflowFloor})
        if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES)
            Fail(std::string(file) + " is not in the current folder");

    // The first round warms the file cache and Wine and is not counted.
    Results results;
    for (int round = -1; round < rounds; ++round)
        MeasureRound(round + 1, repeats, &results, round >= 0);
    const FormatRun format = MeasureFormats(formats);
    constexpr int kSeriesKeys = 3;
    const SeriesRun series = MeasureSeries(kSeriesKeys);

    PrintHeading(rounds, repeats);
    PrintStartup(results);
    PrintAttempts(results);
    PrintResponsiveness(format);
    PrintSeries(series, kSeriesKeys);
    PrintSize(built);
    return 0;
}
