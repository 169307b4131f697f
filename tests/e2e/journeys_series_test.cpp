// Many Keys in a row: a series on one reader, Keys plugged in and pulled out by rewriting
// the Key set, a receipt for each, and the exit code that a script reads.
#include "journey_steps.h"

#include "res/resource.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>

namespace {

const char kSeries[] = "series \"Simulated Reader 0\" receipts.csv";

// Unformatted SO PIN Keys K1 to K3 (no confirmation of their own), none in the reader yet.
std::string ThreeKeys(const std::string& knobsOfK2 = "")
{
    std::string set = "[Reader Simulated Reader 0]\nType=30\nKey=\n";
    // The first of two values counts, so the knobs come first.
    for (const char* id : {"K1", "K2", "K3"})
        set += std::string("\n[Key ") + id + "]\n" + (id == std::string("K2") ? knobsOfK2 : "") +
               "CardType=8\nCredential=\"24682468\"\nTries=10\nMaxTries=10\nCapacity=32000\nMakerArea=0\n";
    return set;
}

class Series {
public:
    explicit Series(const std::string& keySet) : journey(keySet) { journey.program.logSecrets(); }

    void start(bool reformat = false)
    {
        journey.start(kSeries);
        const SeenWindow confirm = journey.dialog(IDC_SERIES_REFORMAT, "the series' confirmation");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(confirm.window, IDNO)));
        if (reformat)
            ProgramDriver::tick(confirm.window, IDC_SERIES_REFORMAT);
        ProgramDriver::press(confirm.window, IDYES);
        expectState("Waiting for a Key in \"Simulated Reader 0\". Connect the next Key.");
    }
    // Puts Key `id` into the reader; an empty id pulls the Key out.
    void plug(const std::string& id) const
    {
        const std::string file = journey.program.folder().file("cardwyn-sim.ini");
        WriteWholeFile(file, std::regex_replace(ReadWholeFile(file), std::regex("\nKey=[^\n]*"), "\nKey=" + id));
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
        EXPECT_TRUE(ProgramDriver::waitForText(journey.main.window, IDC_SERIES_STATE, state)) << state;
    }
    // The Key is done when the window asks for it to go; then it is pulled.
    void expectDone(int formatted, int failed)
    {
        expectState("Done. Remove the Key from \"Simulated Reader 0\".");
        EXPECT_EQ("Keys formatted: " + std::to_string(formatted) + "    Failed: " + std::to_string(failed),
                  ProgramDriver::controlText(journey.main.window, IDC_SERIES_COUNT));
        plug("");
        expectState("Waiting for a Key in \"Simulated Reader 0\". Connect the next Key.");
    }
    DWORD stop()
    {
        ProgramDriver::press(journey.main.window, IDC_SERIES_STOP);
        EXPECT_TRUE(journey.program.ended());
        return journey.program.exitCode();
    }
    std::string receipts() const { return ReadWholeFile(journey.program.folder().file("receipts.csv")); }

    Journey journey;
};

} // namespace

// Three Keys of one type, one SO PIN typed: each Key formatted as it comes, a receipt each,
// and the credential nowhere in them.
TEST(JourneySeries, ThreeKeysWithOneCredential)
{
    Series series(ThreeKeys());
    series.start();
    for (int key = 1; key <= 3; ++key) {
        series.plug("K" + std::to_string(key));
        if (key == 1)
            series.typeSoPin("24682468", true);
        series.expectDone(key, 0);
    }
    EXPECT_EQ(0u, series.stop());
    for (const char* id : {"K1", "K2", "K3"})
        EXPECT_EQ("7000", series.journey.program.keyValue(id, "MakerArea")) << id;
    const std::string receipts = series.receipts();
    EXPECT_EQ(std::string::npos, receipts.find("24682468"));
    const std::regex line("\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d\",\"Simulated Reader 0\",\"8\","
                          "\"format\",\"The process is successfully completed.\",\"\",\"1\\.\\d+\",\"[0-9.]+\"\r\n");
    EXPECT_EQ(3, std::distance(std::sregex_iterator(receipts.begin(), receipts.end(), line), std::sregex_iterator()))
        << receipts;
    EXPECT_EQ(0u, receipts.find("time,reader,card type,operation,outcome,error code,program version,key library "
                                "version\r\n"));
}

// What a Key can do to a series: refuse the kept credential (asked again, never sent twice),
// hold the maker's data already (its own question), be pulled out (its receipt says so), or
// fail (the series ends with the failure code).
TEST(JourneySeries, EveryKeyGetsItsOwnOutcome)
{
    const struct {
        const char* knobsOfK2;
        bool reformat; // chosen at the start: formatted Keys get no question of their own
        std::function<void(Series&)> secondKey;
        const char* receipt;
        int failed;
        DWORD exitCode;
        size_t refused;
    } cases[] = {
        {"Credential=\"11111111\"\nMakerArea=7000\n", true,
         [](Series& s) {
             s.journey.box(kWrongSoPin, IDOK);
             s.typeSoPin("11111111", false);
         },
         "The process is successfully completed.", 0, 0, 1},
        {"MakerArea=7000\n", false, [](Series& s) { s.journey.box(kConfirmReformat, IDYES); },
         "The process is successfully completed.", 0, 0, 0},
        {"PullDuringNextFormat=yes\n", false, [](Series&) {},
         "The Key was removed while it was being formatted and may have lost its preparation.", 1, 1, 0},
        {"FailNextFormat=0x80100001\n", false, [](Series&) {}, "An error occurred while formatting the Key.", 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.knobsOfK2);
        Series series(ThreeKeys(c.knobsOfK2));
        series.start(c.reformat);
        series.plug("K1");
        series.typeSoPin("24682468", true);
        series.expectDone(1, 0);
        series.plug("K2");
        c.secondKey(series);
        series.expectDone(2 - c.failed, c.failed);
        EXPECT_EQ(c.exitCode, series.stop());
        EXPECT_NE(std::string::npos, series.receipts().find(c.receipt));
        const Calls calls = series.journey.program.calls("UnformatCard");
        EXPECT_EQ(c.refused, std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
                      return call.find(kInvalidChv) != std::string::npos;
                  })) << "a refused credential sent twice";
    }
}

// A series stopped before any Key came ends the program as cancelled, and closes nothing
// that it did not open.
TEST(JourneySeries, StopWhileWaiting)
{
    Series series(ThreeKeys());
    series.start();
    EXPECT_EQ(2u, series.stop());
    series.journey.expectEveryReaderClosed();
    EXPECT_EQ(0, series.journey.program.logCount("UnformatCard"));
}

// Where the administrator does not allow keeping a credential, no dialog offers it: each Key asks.
TEST(JourneySeries, KeepingACredentialFollowsThePolicy)
{
    const Policy policy({{HKEY_LOCAL_MACHINE, "AllowKeptCredentials", REG_DWORD, 0}});
    Series series(ThreeKeys());
    series.start();
    for (int key = 1; key <= 2; ++key) {
        series.plug("K" + std::to_string(key));
        series.typeSoPin("24682468", false, false);
        series.expectDone(key, 0);
    }
    EXPECT_EQ(0u, series.stop());
}
