#include "probe.h"

#include "res/resource.h"

#include <set>

namespace {

constexpr double kPeriod = 10;          // ms between two WM_NULL messages
constexpr UINT kReplyTimeout = 5000;    // a round trip this long counts as its full length
constexpr double kRunTimeout = 60000;
constexpr double kRepressAfter = 1000;  // a click that did not take is posted again

// The texts the program itself shows, read from its own string table.
struct ProgramTexts {
    std::string unformatting;
    std::string formatting;
    std::string success;
};

ProgramTexts ReadTexts(const std::string& exe)
{
    return {ProgramText(exe, IDS_STAGE_UNFORMATTING), ProgramText(exe, IDS_STAGE_FORMATTING),
            ProgramText(exe, IDS_SUCCESS)};
}

} // namespace

FormatRun MeasureFormat(const std::string& exe, const std::string& reader)
{
    FormatRun run;
    const ProgramTexts texts = ReadTexts(exe);
    if (texts.unformatting.empty() || texts.formatting.empty() || texts.success.empty()) {
        run.failure = exe + ": the stage and success texts are not in its string table";
        return run;
    }

    const double start = Now();
    Process process(exe, "format \"" + reader + "\"");
    if (!process.started()) {
        run.failure = "keyprep.exe: CreateProcess failed, error " + std::to_string(GetLastError());
        return run;
    }

    HWND main = nullptr;
    std::set<HWND> answered;
    double lastPress = 0;
    double firstStage = 0;
    double lastStage = 0;
    bool sawUnformatting = false;
    bool sawFormatting = false;
    bool succeeded = false;
    double next = Now();
    while (!process.wait(0)) {
        if (Now() - start > kRunTimeout) {
            run.failure = "keyprep.exe: the Format did not end within 60 s";
            return run;
        }
        if (main != nullptr) {
            const std::string title = WindowText(main);
            const bool unformatting = title == texts.unformatting;
            const bool formatting = title == texts.formatting;
            if (unformatting || formatting) {
                sawUnformatting |= unformatting;
                sawFormatting |= formatting;
                const double sent = Now();
                DWORD_PTR result = 0;
                const bool delivered =
                    SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, kReplyTimeout, &result) != 0 ||
                    GetLastError() == ERROR_TIMEOUT;
                const double replied = Now();
                if (delivered) // not when the window has just gone
                    run.roundTrips.push_back(replied - sent);
                if (firstStage == 0)
                    firstStage = sent;
                lastStage = replied;
            }
        }

        for (HWND window : VisibleWindowsOf(process.id())) {
            if (IsMainDialog(window)) {
                main = window;
                continue;
            }
            const bool repeat = answered.count(window) != 0;
            if (repeat && Now() - lastPress < kRepressAfter)
                continue;
            if (GetDlgItem(window, IDYES) != nullptr) {
                Press(window, IDYES); // "reformat?" and "all data will be lost?"
            } else if (GetDlgItem(window, IDOK) != nullptr) {
                const std::string text = BoxText(window);
                succeeded |= text == texts.success;
                Press(window, IDOK);
                // After a failure the main dialog stays open: close it so the run ends.
                if (text != texts.success && run.failure.empty()) {
                    run.failure = "keyprep.exe: the Format ended with \"" + text + "\"";
                    PostMessageA(main, WM_CLOSE, 0, 0);
                }
            } else {
                continue;
            }
            answered.insert(window);
            lastPress = Now();
        }

        next += kPeriod;
        const double wait = next - Now();
        if (wait >= 1)
            Sleep(static_cast<DWORD>(wait));
        else
            next = Now(); // a slow look at the windows: start the schedule again from here
    }

    run.stageMilliseconds = lastStage - firstStage;
    if (!run.failure.empty())
        return run;
    if (!succeeded)
        run.failure = "keyprep.exe: ended (exit code " + std::to_string(process.exitCode()) +
                      ") without reporting success";
    else if (!sawUnformatting || !sawFormatting)
        run.failure = "keyprep.exe: the title did not show both stages";
    return run;
}
