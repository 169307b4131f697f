// Many Keys in a row: a series on one reader, Keys plugged in and pulled out by rewriting
// the Key set, a receipt for each, and the exit code that a script reads.
#include "journey_steps.h"

#include "records/receipt_line.h"
#include "res/resource.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

namespace {

// A folder on a file system small enough to be filled, where the build could make one.
std::string FullDiskFolder() { return KEYPREP_FULL_DISK_DIR; }

const char kSeries[] = "series \"Simulated Reader 0\" receipts.csv";
std::string Waiting(const std::string& reader) { return "Waiting for a Key in \"" + reader + "\". Connect the next Key."; }
const std::string kWaiting = Waiting("Simulated Reader 0");
const char kDone[] = "Done. Remove the Key from \"Simulated Reader 0\".";
const char kSuccessText[] = "The process is successfully completed.";
const char kReceiptsHeader[] = "\xEF\xBB\xBF" "time,key,reader,card type,card type name,operation,clear all,result,message,"
                               "error code,program version,key library version,user,computer,series,sequence,chain\r\n";

std::string ComputerName()
{
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    return computer;
}

// The administrator's folder set by policy, this computer's file there, and the user's queue
// as the last test left it cleared away.
struct SharedReceipts {
    // A FUSE folder (`slow` names it) when the run could mount one, else a temporary folder.
    SharedReceipts(std::vector<PolicyWrite> values = {}, const std::string& slow = "")
    {
        const bool mounted = !slow.empty() && Exists(slow + "-files\\mounted");
        if (mounted)
            shared = slow + "-files\\" + ComputerName() + ".csv"; // read past the FUSE folder
        DeleteFileA(shared.c_str());
        values.push_back({HKEY_CURRENT_USER, "ReceiptsFolder", REG_SZ, 0, (mounted ? slow : share.path()).c_str()});
        policy = std::make_unique<Policy>(values);
        char local[MAX_PATH];
        SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, local);
        SHCreateDirectoryExA(nullptr, (std::string(local) + "\\Veltrax\\keyprep").c_str(), nullptr);
        queue = std::string(local) + "\\Veltrax\\keyprep\\receipts-queue.csv";
        for (const char* file : {"", ".moving", ".chain", ".aside"})
            DeleteFileA((queue + file).c_str());
    }
    // `count` lines after `chain`, as the program queues them.
    static std::string Lines(ReceiptChain& chain, int count)
    {
        static char line[kReceiptLineSize];
        std::string lines;
        for (int i = 0; i < count; ++i) {
            const std::string number = std::to_string(chain.sequence + 1);
            const char* const fields[kReceiptTextFields] = {"2026-01-01T00:00:00+00:00", number.c_str(), "Reader", "8",
                                                            "SO PIN with clear all", "format", "no", "success", "queued",
                                                            "", "1", "1", "DOMAIN\\user", "COMPUTER", "earlier"};
            lines.append(line, ComposeReceiptLine(line, fields, chain));
        }
        return lines;
    }

    TempFolder share;
    std::unique_ptr<Policy> policy;
    std::string shared = share.file(ComputerName() + ".csv");
    std::string queue;
};

// SO PIN Keys K1 to K4 (unformatted: no confirmation of their own) in reader `reader`, none
// in it yet; `knobs` go first in a Key's section, where the first of two values counts.
std::string Keys(const std::map<std::string, std::string>& knobs = {}, const std::string& reader = "Simulated Reader 0")
{
    std::string set = "[Reader " + reader + "]\nType=30\nKey=\n";
    for (const char* id : {"K1", "K2", "K3", "K4"}) {
        const auto knob = knobs.find(id);
        set += std::string("\n[Key ") + id + "]\n" + (knob != knobs.end() ? knob->second : "") +
               "CardType=8\nCredential=\"24682468\"\nTries=10\nMaxTries=10\nCapacity=32000\nMakerArea=0\n";
    }
    return set;
}

// The fields of a CSV text, as a spreadsheet reads them: quoted fields with doubled quotes.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            rows.back().back() += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.back().emplace_back();
        else if (!quoted && c == '\n' && i + 1 < text.size())
            rows.emplace_back(1);
        else if (quoted || (c != '\r' && c != '\n'))
            rows.back().back() += c;
    }
    return rows;
}

class Series {
public:
    explicit Series(const std::string& keySet) : journey(keySet) { journey.program.logSecrets(); }
    ~Series() { expectPollerKeptOutOfEveryKey(); }

    void start(const std::string& arguments = kSeries, bool reformat = false,
               const std::string& reader = "Simulated Reader 0")
    {
        journey.start(arguments);
        const SeenWindow confirm = journey.dialog(IDC_SERIES_REFORMAT, "the series' confirmation");
        EXPECT_NE(std::string::npos,
                  confirm.texts.at(IDC_SERIES_CONFIRM_TEXT).find("A Key that is in the reader already is the first one"));
        if (reformat)
            ProgramDriver::tick(confirm.window, IDC_SERIES_REFORMAT);
        ProgramDriver::press(confirm.window, IDYES);
        expectState(Waiting(reader));
    }
    std::string keySetFile() const { return journey.program.folder().file("cardwyn-sim.ini"); }
    // Puts Key `id` into the reader; an empty id pulls the Key out.
    void plug(const std::string& id) const { edit("\nKey=[^\n]*", "\nKey=" + id); }
    void edit(const std::string& pattern, const std::string& replacement) const
    {
        WriteWholeFile(keySetFile(), std::regex_replace(ReadWholeFile(keySetFile()), std::regex(pattern), replacement));
    }
    void typeSoPin(const std::string& pin, bool keep, bool offered = true)
    {
        const SeenWindow soPin = journey.dialog(IDC_SO_PIN_EDIT, "SO PIN clear-all");
        EXPECT_EQ(offered, soPin.texts.count(IDC_KEEP_FOR_SERIES)) << "the box to keep the credential";
        ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, pin);
        if (keep)
            ProgramDriver::tick(soPin.window, IDC_KEEP_FOR_SERIES);
        ProgramDriver::press(soPin.window, IDOK);
    }
    void expectState(const std::string& state) const
    {
        EXPECT_TRUE(ProgramDriver::waitForText(journey.main.window, IDC_SERIES_STATE, state))
            << state << "\nis: " << ProgramDriver::controlText(journey.main.window, IDC_SERIES_STATE);
    }
    void expectCounts(int formatted, int failed, int notFormatted) const
    {
        const std::string counts = "Keys formatted: " + std::to_string(formatted) + "    Failed: " +
                                   std::to_string(failed) + "    Not formatted: " + std::to_string(notFormatted);
        EXPECT_TRUE(ProgramDriver::waitForText(journey.main.window, IDC_SERIES_COUNT, counts))
            << counts << "\nis: " << ProgramDriver::controlText(journey.main.window, IDC_SERIES_COUNT);
    }
    // The Key's end as the window shows it; then it is pulled and the next one awaited, a
    // failed Key still told.
    void finish(const std::string& state, const std::string& reader = "Simulated Reader 0")
    {
        expectState(state);
        plug("");
        const bool failed = state.rfind("Failed:", 0) == 0;
        expectState(failed ? "Failed: " + state.substr(state.find('\n') + 1) +
                                 "\nSet that Key aside. Waiting for the next Key in \"" + reader + "\"."
                           : Waiting(reader));
        EXPECT_EQ(failed, IsWindowVisible(GetDlgItem(journey.main.window, IDC_SERIES_ICON)) != FALSE);
    }
    // The records of `entryPoint` in the log that end with `ending`.
    int count(const std::string& entryPoint, const std::string& ending) const
    {
        const Calls calls = journey.program.calls(entryPoint);
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
            return call.size() >= ending.size() && call.compare(call.size() - ending.size(), ending.size(), ending) == 0;
        }));
    }
    bool waitFor(const std::string& entryPoint, const std::string& ending, int atLeast) const
    {
        for (int i = 0; i < 400 && count(entryPoint, ending) < atLeast; ++i)
            Sleep(50);
        return count(entryPoint, ending) >= atLeast;
    }
    DWORD stop()
    {
        ProgramDriver::press(journey.main.window, IDC_SERIES_STOP);
        EXPECT_TRUE(journey.program.ended());
        return journey.program.exitCode();
    }
    // The receipts as a spreadsheet reads them, once the auditor's check found them whole.
    std::vector<std::vector<std::string>> receipts(std::string file = "") const
    {
        file = file.empty() ? journey.program.folder().file("receipts.csv") : file;
        const std::string text = ReadWholeFile(file);
        EXPECT_EQ(0u, text.find(kReceiptsHeader));
        const Verdict verdict = VerifyReceipts(journey.program, file);
        EXPECT_EQ(0u, verdict.exitCode) << verdict.text;
        return ParseCsv(text.substr(std::min<size_t>(3, text.size())));
    }
    // The poller never calls the key library while a Key is worked on, nor a Key's attempt
    // while the poller looks: while a reader is open, every call is on that reader.
    void expectPollerKeptOutOfEveryKey() const
    {
        std::istringstream log(journey.program.log());
        const std::regex call("(\\w+)\\((\\d*)[^)]*\\) -> (-?\\d+)");
        std::string open;
        for (std::string line; std::getline(log, line);) {
            std::smatch match;
            if (!std::regex_search(line, match, call))
                continue;
            EXPECT_TRUE(open.empty() || (match[2] == open && match[1] != "EnumReaders")) << line;
            if (match[1] == "InitReader" && match[3] != "-1")
                open = match[3];
            else if (match[1] == "CloseReader" && match[2] == open)
                open.clear();
        }
    }

    Journey journey;
    int mark = 0; // a count of log records to wait beyond
};

} // namespace

// Three Keys of one type, one SO PIN typed, the receipts read back as a spreadsheet reads them:
// a reader whose name a spreadsheet would take for a formula, a Key without room whose
// message quotes, and nowhere the credential. A reader that cannot be opened for a moment
// (another service opens the fresh Key) still holds the same Key: it is not formatted again.
TEST(JourneySeries, ThreeKeysWithOneCredential)
{
    const std::string reader = "=1+2, desk \xE4";
    Series series(Keys({{"K2", "Capacity=3000\nOtherApps=Mail:3000\n"}}, reader));
    series.journey.program.watchEvents();
    series.start("series \"" + reader + "\" receipts.csv", false, reader);
    const std::string done = "Done. Remove the Key from \"" + reader + "\".";
    const std::string noRoom = "Not enough free space on Key for formatting. Set it aside: formatted alone with \"Clear "
                               "all Key's data\" ticked, it loses all its data and gets all its space.";
    for (int key = 1; key <= 3; ++key) {
        series.plug("K" + std::to_string(key));
        if (key == 1) {
            series.typeSoPin("24682468", true);
            series.expectState(done);
            series.edit("Available=yes", "Available=no");
            ASSERT_TRUE(series.waitFor("InitReader", "err=0x80100017", 2));
            series.edit("Available=no", "Available=yes");
            ASSERT_TRUE(series.waitFor("InitCard", " -> 0", series.count("InitCard", " -> 0") + 2));
            EXPECT_EQ(1, series.journey.program.logCount("UnformatCard"));
        }
        series.finish(key == 2 ? "Failed: set this Key aside and remove it from \"" + reader + "\".\n" + noRoom : done,
                      reader);
        EXPECT_EQ("Kept for the next Keys: SO PIN", ProgramDriver::controlText(series.journey.main.window, IDC_SERIES_KEPT));
    }
    EXPECT_EQ(1u, series.stop()) << "a Key failed";
    const auto rows = series.receipts();
    ASSERT_EQ(4u, rows.size());
    const std::string readerUtf8 = "'=1+2, desk \xC3\xA4";
    for (size_t key = 1; key <= 3; ++key) {
        ASSERT_EQ(17u, rows[key].size()) << key;
        EXPECT_EQ((std::vector<std::string>{ComputerName(), rows[1][14], std::to_string(key)}),
                  std::vector<std::string>(rows[key].begin() + 13, rows[key].begin() + 16));
        EXPECT_NE(std::string::npos, rows[key][12].find('\\')) << "DOMAIN\\user: " << rows[key][12];
        EXPECT_TRUE(std::regex_match(rows[key][0], std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d")));
        EXPECT_EQ((std::vector<std::string>{std::to_string(key), readerUtf8, "8", "SO PIN with clear all", "format", "no",
                                            key == 2 ? "failed" : "success", key == 2 ? noRoom : kSuccessText,
                                            key == 2 ? "0x80100006" : ""}),
                  std::vector<std::string>(rows[key].begin() + 1, rows[key].begin() + 10));
    }
    const std::string file = series.journey.program.folder().file("receipts.csv");
    EXPECT_EQ(std::string::npos, ReadWholeFile(file).find("2468"));

    // The auditor's check names the first line that was deleted, doubled, moved or edited.
    std::vector<std::string> lines;
    std::istringstream text(ReadWholeFile(file));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line + "\n");
    const std::string tampered = series.journey.program.folder().file("tampered.csv");
    const struct {
        std::string text;
        std::string verdict;
    } cases[] = {
        {lines[0] + lines[1] + lines[3], "Line 3 of " + tampered + ": receipt 2 is missing before it."},
        {lines[0] + lines[1] + lines[1] + lines[2] + lines[3], "Line 3 of " + tampered + ": receipt 1 is there twice."},
        {lines[0] + lines[1] + lines[2] + lines[1] + lines[3], "Line 4 of " + tampered + ": receipt 1 is there twice."},
        {lines[0] + lines[1] + lines[3] + lines[2], "Line 3 of " + tampered + ": receipt 3 is out of order."},
        {lines[0] + lines[1] + Replaced(lines[2], "failed", "success") + lines[3],
         "Line 3 of " + tampered + ": the receipt was changed after it was written, or is cut off."},
    };
    for (const auto& c : cases) {
        WriteWholeFile(tampered, c.text);
        const Verdict verdict = VerifyReceipts(series.journey.program, tampered);
        EXPECT_EQ(1u, verdict.exitCode);
        EXPECT_EQ(c.verdict + "\r\n", verdict.text);
    }
    EXPECT_EQ(file + " is whole: receipts 1 to 3, each there once, in order and unchanged.\r\n",
              VerifyReceipts(series.journey.program, file).text);
    // The same fields in the event log, the series named by its start.
    const auto events = series.journey.program.events();
    const std::string name = events.at(0).strings.at(1), logged = "=1+2, desk \\00e4";
    EXPECT_TRUE(std::regex_match(name, std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"))) << name;
    std::vector<LoggedEvent> expected{series.journey.event(200, EVENTLOG_INFORMATION_TYPE, {logged, name, "receipts.csv"})};
    for (int key = 1; key <= 3; ++key)
        expected.push_back(series.journey.event(
            key == 2 ? 110 : 100, key == 2 ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE,
            {logged, "8", "SO PIN with clear all", "format", "no", key == 2 ? "failed" : "success",
             key == 2 ? noRoom : kSuccessText, key == 2 ? "0x80100006" : "", name, std::to_string(key)}));
    expected.push_back(series.journey.event(201, EVENTLOG_INFORMATION_TYPE, {logged, name, "2", "1", "0", "1"}));
    EXPECT_EQ(expected, events);
}

// What a Key can do to a series: refuse the kept credential (said so, asked again, never sent
// twice), hold the maker's data already (its own question, answered Yes or No), be pulled out
// before or during the work, or fail. The exit code is the first failing Key's, however the
// series ends.
TEST(JourneySeries, EveryKeyGetsItsOwnOutcome)
{
    const std::string failedState = "Failed: set this Key aside and remove it from \"Simulated Reader 0\".\n";
    const std::string formatError = "An error occurred while formatting the Key. Please contact support@veltrax.example.";
    const std::string pulled = "The Key was removed while it was being formatted and may have lost its preparation. "
                               "Set it aside and format it again later.";
    const struct {
        std::map<std::string, std::string> knobs;
        bool reformat; // chosen at the start: formatted Keys get no question of their own
        std::function<void(Series&)> secondKey;
        std::string state;   // after the second Key; empty: it went before any work
        const char* result;  // in the second Key's receipt
        std::string message; // in the second Key's receipt
        int counts[3];
        bool quit; // the series ends by a quit message instead of Stop
        DWORD exitCode;
    } cases[] = {
        {{{"K2", "Credential=\"11111111\"\nMakerArea=7000\n"}},
         true,
         [](Series& s) {
             s.journey.program.answer("The kept SO PIN was refused by this Key, which has lost one try. Nothing is "
                                      "kept any more: type the credentials again for the next Keys.", IDOK);
             EXPECT_EQ("Nothing is kept for the next Keys.",
                       ProgramDriver::controlText(s.journey.main.window, IDC_SERIES_KEPT));
             const HWND again = s.journey.dialog(IDC_SO_PIN_EDIT, "SO PIN again").window;
             EXPECT_EQ("", ProgramDriver::controlText(again, IDC_SO_PIN_EDIT)) << "the refused PIN offered again";
             ProgramDriver::type(again, IDC_SO_PIN_EDIT, "11111111");
             ProgramDriver::press(again, IDOK);
         },
         kDone, "success", kSuccessText, {2, 0, 0}, false, 0},
        {{{"K2", "MakerArea=7000\n"}}, false, [](Series& s) { s.journey.box(kConfirmReformat, IDYES); }, kDone,
         "success", kSuccessText, {2, 0, 0}, false, 0},
        {{{"K2", "MakerArea=7000\n"}}, false, [](Series& s) { s.journey.box(kConfirmReformat, IDNO); },
         "Not formatted. Remove the Key from \"Simulated Reader 0\".", "skipped",
         "Skipped: the Key was left as it was.", {1, 0, 1}, false, 0},
        {{{"K2", "InitCardMs=1500\n"}}, false,
         [](Series& s) {
             ASSERT_TRUE(s.waitFor("InitCard", " -> -2", s.mark + 1));
             s.plug("");
         },
         "", "removed", "Not started: the Key was removed before any work on it.", {1, 0, 1}, false, 0},
        {{{"K2", "PullDuringNextFormat=yes\n"}}, false, [](Series&) {}, failedState + pulled, "failed", pulled,
         {1, 1, 0}, false, 1},
        {{{"K1", "FailNextFormat=0x80100001\n"}}, false, [](Series&) {}, kDone, "success", kSuccessText, {1, 1, 0},
         true, 1},
        {{{"K1", "FailNextFormat=0x80100001\n"}, {"K2", "Credential=\"11111111\"\n"}}, false,
         [](Series& s) {
             s.journey.program.answer("The kept SO PIN was refused by this Key, which has lost one try. Nothing is "
                                      "kept any more: type the credentials again for the next Keys.", IDOK);
             ProgramDriver::press(s.journey.dialog(IDC_SO_PIN_EDIT, "SO PIN again").window, IDCANCEL);
         },
         failedState + "The SO PIN you entered is incorrect!", "rejected", "The SO PIN you entered is incorrect!",
         {0, 2, 0}, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Series series(Keys(c.knobs));
        series.start(kSeries, c.reformat);
        series.plug("K1");
        series.typeSoPin("24682468", true);
        series.finish(c.knobs.count("K1") ? failedState + formatError : kDone);
        series.mark = series.count("InitCard", " -> -2");
        series.plug("K2");
        c.secondKey(series);
        series.finish(c.state.empty() ? kWaiting : c.state);
        series.expectCounts(c.counts[0], c.counts[1], c.counts[2]);
        if (c.quit) {
            PostThreadMessageA(GetWindowThreadProcessId(series.journey.main.window, nullptr), WM_QUIT, 0, 0);
            EXPECT_TRUE(series.journey.program.ended());
        } else {
            series.stop();
        }
        EXPECT_EQ(c.exitCode, series.journey.program.exitCode());
        const auto rows = series.receipts();
        ASSERT_EQ(3u, rows.size());
        EXPECT_EQ(c.result, rows[2].at(7));
        EXPECT_EQ(c.message, rows[2].at(8));
        EXPECT_EQ(std::count_if(c.knobs.begin(), c.knobs.end(),
                                [](const auto& knob) { return knob.second.find("11111111") != std::string::npos; }),
                  series.count("UnformatCard", kInvalidChv))
            << "a refused credential sent twice";
    }
}

// Stop, or closing the window, during a Key's work is taken at once and ends the series after
// that Key: no Key starts after it, and the program ends. When the session ends instead, the
// Key's receipt is on the disk before the handler returns.
TEST(JourneySeries, StopCloseOrSessionEndDuringAKeysWork)
{
    for (const UINT how : {UINT(WM_COMMAND), UINT(WM_CLOSE), UINT(WM_ENDSESSION)}) {
        Series series(Keys({{"K1", "FormatMs=1500\n"}}));
        series.start();
        series.plug("K1");
        series.typeSoPin("24682468", true);
        const HWND main = series.journey.main.window;
        ASSERT_TRUE(ProgramDriver::waitForTitle(main, "Formatting . . ."));
        DWORD_PTR ignored = 0;
        if (how == WM_ENDSESSION) {
            EXPECT_NE(0, SendMessageTimeoutA(main, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 30000, &ignored));
            EXPECT_EQ("success", series.receipts().at(1).at(7));
            continue;
        }
        PostMessageA(main, how, how == WM_COMMAND ? IDC_SERIES_STOP : 0, 0);
        series.expectState("Stopping after this Key. Do not remove it from \"Simulated Reader 0\" yet.");
        // Stop can be taken back until the Key ends; closing cannot.
        EXPECT_EQ(how == WM_COMMAND, ProgramDriver::enabled(main, IDC_SERIES_STOP));
        EXPECT_TRUE(series.journey.program.ended());
        EXPECT_EQ(0u, series.journey.program.exitCode());
        EXPECT_EQ(1, series.journey.program.logCount("UnformatCard"));
        EXPECT_EQ(2u, series.receipts().size());
    }
}

// A receipt that cannot be written stops the series before the next Key, with a message that
// names the file, the reason and the Key; a script gets the failure code.
TEST(JourneySeries, AReceiptThatCannotBeWrittenStopsTheSeries)
{
    const std::string disk = FullDiskFolder();
    ULARGE_INTEGER total = {};
    if (!GetDiskFreeSpaceExA(disk.c_str(), nullptr, &total, nullptr) || total.QuadPart > 1024 * 1024)
        GTEST_SKIP() << "no small file system for a full disk at " << disk;
    const std::string reader(250, 'R');
    const std::string receipts = JoinPath(disk, "receipts.csv");
    // Room left in the file's page for the first Key's line, not for the second; no page more.
    WriteWholeFile(receipts, std::string(4096 - 600, 'x') + "\r\n");
    for (int filler = 0; filler < 64; ++filler)
        WriteWholeFile(JoinPath(disk, "filler" + std::to_string(filler)), std::string(4096, 'f'));
    Series series(Keys({}, reader));
    series.start("series \"" + reader + "\" " + receipts, false, reader);
    for (const char* key : {"K1", "K2", "K3"}) {
        series.plug(key);
        if (key[1] == '1')
            series.typeSoPin("24682468", true);
        if (key[1] == '2') {
            const SeenWindow box = series.journey.program.next();
            EXPECT_NE(std::string::npos, box.text.find("The receipt of Key 2 in \"" + reader + "\" (" + kSuccessText +
                                                       ") could not be written to " + receipts + ": "))
                << box.text;
            ProgramDriver::press(box.window, IDOK);
            break;
        }
        series.finish("Done. Remove the Key from \"" + reader + "\".", reader);
    }
    EXPECT_TRUE(series.journey.program.ended());
    EXPECT_EQ(1u, series.journey.program.exitCode());
    EXPECT_EQ(2, series.journey.program.logCount("UnformatCard")) << "a Key started after the lost receipt";
}

// A key library that faults in the series' poller, ends it inside a call, faults while Stop
// waits for it or never returns: the user is told, the series ends within Stop's bound and a
// script gets the failure code.
TEST(JourneySeries, AFaultInThePollerIsToldAndEndsTheSeries)
{
    for (const char* mode : {"fault:InitCard", "exit:InitCard", "slowfault:InitCard", "slowhang:InitCard"}) {
        SCOPED_TRACE(mode);
        ProgramDriver program("");
        program.useTestLibrary("hostile_keylib", "cardwyn32.dll");
        program.addEnvironment(std::string("HOSTILE_KEYLIB=") + mode);
        program.watchEvents();
        program.start("series \"Hostile Reader\" receipts.csv");
        const SeenWindow main = program.mainDialog();
        ProgramDriver::press(program.next().window, IDYES);
        if (std::string(mode).rfind("slow", 0) == 0) {
            HANDLE inside = CreateEventA(nullptr, TRUE, FALSE, "keyprep-hostile-keylib-inside");
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(inside, 20000));
            CloseHandle(inside);
            ProgramDriver::press(main.window, IDC_SERIES_STOP);
        }
        program.answer(kKeyLibraryStopped.text, IDOK);
        EXPECT_TRUE(program.ended(10000));
        EXPECT_EQ(1u, program.exitCode());
        EXPECT_EQ((std::vector<unsigned long>{200, 400, 201}), program.eventIds());
    }
}

// A series on a reader that is not connected says which ones are and offers to wait for it,
// as for a USB token that is a reader only while it is plugged in: No ends as "no Key", Yes
// formats the Key of the reader once it appears.
TEST(JourneySeries, AReaderThatIsNotConnected)
{
    for (const int answer : {IDNO, IDYES}) {
        Series series(Keys());
        series.journey.start("series Nowhere");
        series.journey.box({"The reader \"Nowhere\" is not connected. Connected readers: Simulated Reader 0.\n\nA USB "
                            "token appears as a reader only while it is plugged in. Wait for this reader to appear?",
                            {IDYES, IDNO}, true},
                           answer);
        if (answer == IDNO) {
            series.journey.closeIdleMainDialog(3);
            continue;
        }
        ProgramDriver::press(series.journey.dialog(IDC_SERIES_REFORMAT, "the series' confirmation").window, IDYES);
        series.expectState(Waiting("Nowhere"));
        series.edit("Reader Simulated Reader 0", "Reader Nowhere");
        series.plug("K1");
        series.typeSoPin("24682468", false);
        series.expectState("Done. Remove the Key from \"Nowhere\".");
        EXPECT_EQ(0u, series.stop());
    }
}

// Where the administrator does not allow keeping a credential, no dialog offers it: each Key
// asks. Where the administrator names a folder, this computer's receipts go there; while it is
// gone they wait on this computer and then reach it in order, each line once. Bytes that a
// crash can leave in the queue (zeros, a byte-order mark, a cut-off line, bare line feeds)
// are kept aside, never glued to a line, and take no line with them.
TEST(JourneySeries, PolicySetsKeepingAndTheReceiptsFolder)
{
    const SharedReceipts receipts({{HKEY_LOCAL_MACHINE, "AllowKeptCredentials", REG_DWORD, 0}});
    const std::string& queue = receipts.queue;
    const TempFolder& share = receipts.share;
    Series series(Keys());
    series.journey.program.watchEvents();
    series.start();
    const HWND main = series.journey.main.window;
    for (int key = 1; key <= 3; ++key) {
        if (key == 2) {
            ASSERT_TRUE(MoveFileA(share.path().c_str(), (share.path() + "-away").c_str()));
        }
        series.plug("K" + std::to_string(key));
        series.typeSoPin("24682468", false, false);
        series.finish(kDone);
        if (key == 2) {
            EXPECT_TRUE(ProgramDriver::waitForText(main, IDC_SERIES_RECEIPTS_NOTE,
                                                   "Receipts are kept on this computer until the share can be reached."));
            const std::string waiting = std::regex_replace(ReadWholeFile(queue), std::regex("\r\n"), "\n");
            WriteWholeFile(queue, std::string("\0\0\0\xEF\xBB\xBF", 6) + waiting + "\"cut off");
            ASSERT_TRUE(MoveFileA((share.path() + "-away").c_str(), share.path().c_str()));
        }
    }
    EXPECT_TRUE(ProgramDriver::waitForText(main, IDC_SERIES_RECEIPTS_NOTE,
                                           "Receipts that waited on this computer have reached the share. Bytes of the "
                                           "receipts queue that are no receipt were kept aside in receipts-queue.csv.aside."))
        << ProgramDriver::controlText(main, IDC_SERIES_RECEIPTS_NOTE);
    EXPECT_EQ(0u, series.stop());
    std::vector<std::string> keys;
    for (const auto& row : series.receipts(receipts.shared))
        keys.push_back(row.size() > 1 ? row[1] : row[0]);
    EXPECT_EQ((std::vector<std::string>{"key", "1", "2", "3"}), keys);
    EXPECT_EQ("", ReadWholeFile(queue));
    EXPECT_FALSE(Exists(queue + ".moving"));
    EXPECT_EQ(std::string("\0\0\0\xEF\xBB\xBF\r\n\"cut off\r\n", 18), ReadWholeFile(queue + ".aside"));
    // Waiting while the share was gone, delivered after it came back; the delivering thread
    // tells them beside the Keys' events.
    std::vector<unsigned long> ids = series.journey.program.eventIds();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ((std::vector<unsigned long>{100, 100, 100, 200, 201, 300, 301}), ids);
    for (const auto& event : series.journey.program.events()) {
        if (event.id != 300 && event.id != 301)
            continue;
        EXPECT_EQ((std::vector<std::string>{receipts.shared, queue}),
                  std::vector<std::string>(event.strings.begin(), event.strings.begin() + 2));
    }
}

// Programs killed at random points while they move 2,000 queued lines (to a share whose flush
// takes long, so that many kills fall between the write and the queue's end), then a clean
// start: the administrator's file holds every line once, in order.
TEST(JourneySeries, AMoveKilledAnywhereMovesEachLineOnce)
{
    const SharedReceipts receipts({}, KEYPREP_SLOW_FLUSH_DIR);
    ReceiptChain chain{};
    std::srand(GetTickCount());
    for (int round = 0; round < 8; ++round) {
        WriteWholeFile(receipts.queue, ReadWholeFile(receipts.queue) + SharedReceipts::Lines(chain, 250));
        ProgramDriver program(Keys());
        program.start();
        Sleep(200 + std::rand() % 1800);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, program.id());
        TerminateProcess(process, 9);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    Journey last(Keys());
    last.start();
    for (int i = 0; i < 600 && !ReadWholeFile(receipts.queue).empty(); ++i)
        Sleep(50);
    EXPECT_TRUE(ReadWholeFile(receipts.queue).empty()) << "the queue did not move at the program's start";
    last.closeIdleMainDialog();
    const Verdict verdict = VerifyReceipts(last.program, receipts.shared);
    EXPECT_EQ(receipts.shared + " is whole: receipts 1 to 2000, each there once, in order and unchanged.\r\n",
              verdict.text);
}

// Two programs add their series' lines to one queue while both move it (to a share whose flush
// takes long, so that the moves overlap): none lost or doubled.
TEST(JourneySeries, TwoProgramsShareOneQueue)
{
    const SharedReceipts receipts({}, KEYPREP_SLOW_FLUSH_DIR);
    ReceiptChain chain{};
    WriteWholeFile(receipts.queue, SharedReceipts::Lines(chain, 2000));
    Series first(Keys()), second(Keys());
    first.start();
    second.start();
    for (int key = 1; key <= 3; ++key)
        for (Series* series : {&first, &second}) {
            series->plug("K" + std::to_string(key));
            if (key == 1)
                series->typeSoPin("24682468", true);
            series->finish(kDone);
        }
    for (int i = 0; i < 400 && !ReadWholeFile(receipts.queue).empty(); ++i)
        Sleep(50);
    first.stop();
    second.stop();
    EXPECT_EQ(2007u, first.receipts(receipts.shared).size());
}

// A share that takes seconds to answer each lookup: the window answers within 100 ms while a
// Key is worked on and its receipt goes to the queue, and Stop ends the program within 5 s
// with the line still queued.
TEST(JourneySeries, AShareThatNeverAnswersHoldsNothingUp)
{
    const std::string slow = KEYPREP_SLOW_SHARE_DIR;
    if (!Exists(slow + "-files\\mounted"))
        GTEST_SKIP() << "no slow share (FUSE) at " << slow;
    const SharedReceipts receipts({}, slow);
    Series series(Keys());
    series.start();
    const HWND main = series.journey.main.window;
    series.plug("K1");
    series.typeSoPin("24682468", false);
    DWORD longest = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 3000;) {
        const DWORD sent = GetTickCount();
        EXPECT_TRUE(ProgramDriver::deliver(main, WM_NULL));
        longest = std::max(longest, GetTickCount() - sent);
        Sleep(20);
    }
    EXPECT_LT(longest, 100u) << "the longest WM_NULL round trip, ms";
    series.expectState(kDone);
    const DWORD stop = GetTickCount();
    ProgramDriver::press(main, IDC_SERIES_STOP);
    EXPECT_TRUE(series.journey.program.ended(5000));
    EXPECT_LT(GetTickCount() - stop, 5000u);
    EXPECT_NE(std::string::npos, ReadWholeFile(receipts.queue).find("\"success\""));
}

// A series started from the window, in English and German: keys typed while it waits start
// nothing; the Stop button's Alt letter pressed as a prompt opens changes nothing in it; and Stop
// during a Key's work ends the series when that Key ends, however it ends, with the window
// left open and no Key started after it.
TEST(JourneySeries, StopDuringAKeysWorkLeavesTheWindowOpen)
{
    static const auto TypeSoPin = [](Series&, HWND prompt) {
        ProgramDriver::type(prompt, IDC_SO_PIN_EDIT, "24682468");
        ProgramDriver::press(prompt, IDOK);
    };
    const struct {
        bool german;
        const char* knobs;
        std::function<void(Series&, HWND)> endKey; // at the prompt; Stop has been pressed
        int counts[3];
    } cases[] = {
        {false, "FormatMs=1500\n", TypeSoPin, {1, 0, 0}},
        {true, "FailNextFormat=0x80100001\nFormatMs=1500\n", TypeSoPin, {0, 1, 0}},
        {false, "MakerArea=7000\n", [](Series& s, HWND prompt) {
             TypeSoPin(s, prompt);
             s.journey.box(kConfirmReformat, IDNO);
         }, {0, 0, 1}},
        {true, "", [](Series&, HWND prompt) { ProgramDriver::press(prompt, IDCANCEL); }, {0, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.german ? "German " : "English ") + c.knobs);
        Series series(Keys({{"K1", c.knobs}}));
        if (c.german) {
            series.journey.program.addGermanLanguage();
            series.journey.caption = "Key-Formatierungsprogramm";
        }
        series.journey.start();
        const HWND main = series.journey.main.window;
        ProgramDriver::press(main, IDC_MAIN_SERIES);
        ProgramDriver::press(series.journey.dialog(IDC_SERIES_REFORMAT, "the series' confirmation").window, IDYES);
        ASSERT_TRUE(ProgramDriver::waitForEnabled(main, IDC_SERIES_STOP));
        const std::string stop = ProgramDriver::controlText(main, IDC_SERIES_STOP);
        const std::string waiting = ProgramDriver::controlText(main, IDC_SERIES_STATE);
        ProgramDriver::pressKeys("\rsh", 120);
        EXPECT_TRUE(series.journey.program.noNewWindow(1500)) << "a key typed at the waiting series opened a window";
        EXPECT_EQ(waiting, ProgramDriver::controlText(main, IDC_SERIES_STATE));
        series.plug("K1");
        const SeenWindow prompt = series.journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
        ProgramDriver::pressKeys(std::string("!") + static_cast<char>(std::tolower(stop[stop.find('&') + 1])), 120);
        EXPECT_FALSE(ProgramDriver::ticked(prompt.window, IDC_CLEAR_ALL)) << "Stop's letter ticked Clear all";
        EXPECT_TRUE(IsWindow(prompt.window));
        PostMessageA(main, WM_COMMAND, IDC_SERIES_STOP, 0);
        c.endKey(series, prompt.window);
        EXPECT_TRUE(ProgramDriver::waitForEnabled(main, IDC_MAIN_SERIES)) << "the series did not end";
        EXPECT_TRUE(series.journey.program.running()) << "Stop closed the program";
        if (!c.german)
            series.expectCounts(c.counts[0], c.counts[1], c.counts[2]);
        const int worked = series.journey.program.logCount("UnformatCard");
        series.plug("");
        series.plug("K2");
        EXPECT_TRUE(series.journey.program.noNewWindow(1500));
        EXPECT_EQ(worked, series.journey.program.logCount("UnformatCard")) << "a Key started after Stop";
        series.journey.closeIdleMainDialog(0);
    }
}

// A credential typed from the moment the Key goes in, before its prompt shows, reaches the
// prompt whole or not at all (then the prompt says so), and nothing is sent without its OK.
TEST(JourneySeries, CredentialTypedAsTheKeyGoesInIsWholeOrNone)
{
    for (const DWORD delay : {0, 300, 700}) {
        SCOPED_TRACE(delay);
        Series series(Keys());
        series.start();
        series.plug("K1");
        Sleep(delay);
        ProgramDriver::pressKeys("ab cd ef", 120);
        const SeenWindow prompt = series.journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
        Sleep(500);
        const std::string field = ProgramDriver::controlText(prompt.window, IDC_SO_PIN_EDIT);
        EXPECT_TRUE(field == "ab cd ef" || (field.empty() && GetDlgItem(prompt.window, IDC_TYPED_AHEAD_NOTE)))
            << "the prompt holds \"" << field << "\"";
        EXPECT_EQ(0, series.journey.program.logCount("UnformatCard")) << "sent without OK";
        ProgramDriver::press(prompt.window, IDCANCEL);
        EXPECT_EQ(2u, series.stop()) << "cancelled";
    }
}

// Clear all ticked for a Key that is not formatted, in a series that reformats without asking:
// the question still comes, naming the reader, and Enter (its default) leaves the Key as it was.
TEST(JourneySeries, ClearAllIsAskedAboutEvenWithoutQuestions)
{
    Series series(Keys({{"K1", "OtherApps=Mail:3000\n"}}));
    series.start(kSeries, true);
    series.plug("K1");
    const HWND prompt = series.journey.dialog(IDC_SO_PIN_EDIT, "SO PIN").window;
    ProgramDriver::tick(prompt, IDC_CLEAR_ALL);
    ProgramDriver::type(prompt, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(prompt, IDOK);
    EXPECT_EQ("Clear all data on the Key in \"Simulated Reader 0\"?\n\nEvery application's data on this Key is erased, "
              "not only Veltrax data, and cannot be brought back. No leaves the Key as it is.",
              series.journey.program.next().text);
    ProgramDriver::pressKeys("\r", 100);
    series.expectState("Not formatted. Remove the Key from \"Simulated Reader 0\".");
    EXPECT_EQ(0, series.journey.program.logCount("UnformatCard"));
    EXPECT_EQ(2u, series.stop());
}
