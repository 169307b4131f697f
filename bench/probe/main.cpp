// Usage: bench_probe.exe [--runs N] [--formats N] [--built PATH]
// Run in a folder that holds keyprep.exe (stripped, as shipped), bench_floor.exe,
// bench_floor_libs.exe, both stand-in libraries, default.ini and slow_operations.ini.
// --built names keyprep.exe as the build left it, for its unstripped size.
#include "probe.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kStartupTarget = 1.10;   // keyprep.exe / library floor
constexpr double kMemoryTarget = 1.10;    // keyprep.exe / library floor
constexpr double kRoundTripTarget = 50;   // ms, the longest
constexpr double kSizeBudget = 150;       // KB, keyprep.exe stripped
constexpr char kReader[] = "Simulated Reader 0";

struct Program {
    const char* file;
    std::vector<StartupSample> samples;
};

std::string FullPath(const char* name)
{
    char path[MAX_PATH] = {};
    GetFullPathNameA(name, MAX_PATH, path, nullptr);
    return path;
}

// The simulated key library finds its Key set through CARDWYN_SIM; each phase gets a fresh copy.
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

std::vector<double> Times(const Program& program)
{
    std::vector<double> values;
    for (const StartupSample& sample : program.samples)
        values.push_back(sample.milliseconds);
    return values;
}

std::vector<double> Peaks(const Program& program)
{
    std::vector<double> values;
    for (const StartupSample& sample : program.samples)
        values.push_back(sample.peakWorkingSet / 1e6);
    return values;
}

// Ratios taken within each round, where all three programs met the same machine load.
std::vector<double> RoundRatios(const std::vector<double>& measured, const std::vector<double>& floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < measured.size() && i < floor.size(); ++i)
        ratios.push_back(measured[i] / floor[i]);
    return ratios;
}

double PairedRatio(const std::vector<double>& measured, const std::vector<double>& floor)
{
    return Median(RoundRatios(measured, floor));
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Ratio(double value) { return Fixed(value, 2) + "x"; }

// The middle half of the round ratios: how far one round's ratio wanders on this machine.
std::string Spread(const std::vector<double>& measured, const std::vector<double>& floor)
{
    const std::vector<double> ratios = RoundRatios(measured, floor);
    return Fixed(Percentile(ratios, 0.25), 2) + "-" + Ratio(Percentile(ratios, 0.75));
}

// One line of the table; cells not given stay blank.
void Print(const std::string& measure, const std::string& keyprep, const std::string& floor = "",
           const std::string& libraryFloor = "", const std::string& toFloor = "",
           const std::string& toLibraryFloor = "", const std::string& target = "")
{
    char line[256];
    std::snprintf(line, sizeof line, "  %-26s %11s %9s %10s %10s %11s  %s", measure.c_str(), keyprep.c_str(),
                  floor.c_str(), libraryFloor.c_str(), toFloor.c_str(), toLibraryFloor.c_str(), target.c_str());
    std::string text = line;
    text.erase(text.find_last_not_of(' ') + 1);
    std::printf("%s\n", text.c_str());
}

// Decimal units, as the project's issues and release notes give sizes.
double Kilobytes(DWORD bytes) { return bytes / 1000.0; }

// Start-up and memory. The first round warms the file cache and Wine and is not counted;
// each round starts the three programs in another order, so none is always first.
void MeasureStartups(std::array<Program, 3>& programs, int runs)
{
    if (!UseKeySet("default.ini", "startup-keys.ini"))
        Fail("cannot copy default.ini");
    for (int round = -1; round < runs; ++round) {
        for (size_t k = 0; k < programs.size(); ++k) {
            Program& program = programs[(static_cast<size_t>(round + 1) + k) % programs.size()];
            StartupSample sample = MeasureStartup(FullPath(program.file));
            if (!sample.failure.empty())
                Fail(sample.failure);
            if (round >= 0)
                program.samples.push_back(sample);
        }
    }
}

// Responsiveness during command-line Formats on the slow Key, their round trips pooled.
FormatRun MeasureFormats(int formats)
{
    FormatRun pooled;
    for (int i = 0; i < formats; ++i) {
        if (!UseKeySet("slow_operations.ini", "format-keys.ini"))
            Fail("cannot copy slow_operations.ini");
        const FormatRun run = MeasureFormat(FullPath("keyprep.exe"), kReader);
        if (!run.failure.empty())
            Fail(run.failure);
        pooled.roundTrips.insert(pooled.roundTrips.end(), run.roundTrips.begin(), run.roundTrips.end());
        pooled.stageMilliseconds += run.stageMilliseconds;
    }
    return pooled;
}

void PrintHeading(int runs)
{
    const auto wineVersion = reinterpret_cast<const char* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    std::printf("keyprep benchmarks: %d interleaved runs of each program after one warm-up round;"
                " Wine %s, %lu processors\n",
                runs, wineVersion ? wineVersion() : "(not Wine)", system.dwNumberOfProcessors);
    std::printf("floor: the main dialog's template alone; library floor: the same with the manifest"
                " and both libraries loaded; KB and MB are 1000 and 1000000 bytes\n\n");
    Print("", "keyprep.exe", "floor", "lib floor", "/floor", "/lib floor", "target");
}

void PrintStartup(const std::array<Program, 3>& programs)
{
    const std::vector<double> times[3] = {Times(programs[0]), Times(programs[1]), Times(programs[2])};
    const double ratio = PairedRatio(times[0], times[2]);
    std::printf("start-up: CreateProcess to visible window, ms\n");
    Print("median", Fixed(Median(times[0]), 1), Fixed(Median(times[1]), 1), Fixed(Median(times[2]), 1),
          Ratio(PairedRatio(times[0], times[1])), Ratio(ratio),
          "<= " + Ratio(kStartupTarget) + " lib floor: " + Verdict(ratio <= kStartupTarget));
    Print("min", Fixed(Smallest(times[0]), 1), Fixed(Smallest(times[1]), 1), Fixed(Smallest(times[2]), 1),
          Ratio(Smallest(times[0]) / Smallest(times[1])), Ratio(Smallest(times[0]) / Smallest(times[2])));
    Print("max", Fixed(Largest(times[0]), 1), Fixed(Largest(times[1]), 1), Fixed(Largest(times[2]), 1));
    Print("round ratios, middle half", "", "", "", Spread(times[0], times[1]), Spread(times[0], times[2]));
}

void PrintMemory(const std::array<Program, 3>& programs)
{
    const std::vector<double> peaks[3] = {Peaks(programs[0]), Peaks(programs[1]), Peaks(programs[2])};
    const double ratio = PairedRatio(peaks[0], peaks[2]);
    std::printf("peak working set when the window shows, MB\n");
    Print("median", Fixed(Median(peaks[0]), 1), Fixed(Median(peaks[1]), 1), Fixed(Median(peaks[2]), 1),
          Ratio(PairedRatio(peaks[0], peaks[1])), Ratio(ratio),
          "<= " + Ratio(kMemoryTarget) + " lib floor: " + Verdict(ratio <= kMemoryTarget));
}

void PrintResponsiveness(const FormatRun& run)
{
    const double longest = Largest(run.roundTrips);
    std::printf("WM_NULL round trip to the main dialog during a Format, ms (%zu samples, %.1f s of stages)\n",
                run.roundTrips.size(), run.stageMilliseconds / 1000.0);
    Print("max", Fixed(longest, 2), "", "", "", "",
          "< " + Fixed(kRoundTripTarget, 0) + " ms: " + Verdict(longest < kRoundTripTarget) + " (" +
              Ratio(longest / kRoundTripTarget) + " the limit)");
    Print("p99", Fixed(Percentile(run.roundTrips, 0.99), 2));
    Print("median", Fixed(Median(run.roundTrips), 2));
}

void PrintSize(const std::array<Program, 3>& programs, const std::string& built)
{
    std::array<ExeLayout, 3> layouts;
    double sizes[3];
    for (size_t i = 0; i < programs.size(); ++i) {
        layouts[i] = ReadExeLayout(programs[i].file);
        if (!layouts[i].failure.empty())
            Fail(layouts[i].failure);
        sizes[i] = Kilobytes(layouts[i].fileBytes);
    }
    std::printf("size of the stripped executable, KB (sections: size in the file)\n");
    Print("file", Fixed(sizes[0], 1), Fixed(sizes[1], 1), Fixed(sizes[2], 1), Ratio(sizes[0] / sizes[1]),
          Ratio(sizes[0] / sizes[2]),
          "<= " + Fixed(kSizeBudget, 0) + " KB: " + Verdict(sizes[0] <= kSizeBudget) + " (" +
              Ratio(sizes[0] / kSizeBudget) + " the budget)");
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
    int runs = 10;
    int formats = 1;
    std::string built;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--formats") == 0 && i + 1 < argc)
            formats = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--built") == 0 && i + 1 < argc)
            built = argv[++i];
        else
            Fail(std::string("unknown argument ") + argv[i]);
    }
    if (runs < 1 || formats < 1)
        Fail("--runs and --formats need a number of at least 1");

    // In the order of the table's columns.
    std::array<Program, 3> programs{{{"keyprep.exe", {}}, {"bench_floor.exe", {}}, {"bench_floor_libs.exe", {}}}};
    for (const Program& program : programs)
        if (GetFileAttributesA(program.file) == INVALID_FILE_ATTRIBUTES)
            Fail(std::string(program.file) + " is not in the current folder");

    MeasureStartups(programs, runs);
    const FormatRun format = MeasureFormats(formats);

    PrintHeading(runs);
    PrintStartup(programs);
    PrintMemory(programs);
    PrintResponsiveness(format);
    PrintSize(programs, built);
    return 0;
}
