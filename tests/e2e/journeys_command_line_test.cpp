// The reader named on the command line: which reader the program opens, and what it says
// when the named one holds no Key.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

namespace {


// Two readers with a Key each; the names have spaces and differ only after the first word.
const char kTwoKeys[] = R"(
[Reader Front Slot Reader]
Type=30
Key=FrontKey

[Reader Back Slot Reader 2]
Type=30
Key=BackKey

[Key FrontKey]
CardType=3
Capacity=32000
MakerArea=7000
OtherApps=Mail:3000

[Key BackKey]
CardType=3
Capacity=32000
MakerArea=7000
OtherApps=Vpn:1500
)";

} // namespace

TEST(JourneyCommandLine, ReaderNameWithSpacesPicksThatReader)
{
    Journey journey(kTwoKeys);
    journey.start("unformat \"Back Slot Reader 2\"");
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.program.keyValue("BackKey", "MakerArea"));
    EXPECT_EQ("Vpn:1500", journey.program.keyValue("BackKey", "OtherApps"));
    EXPECT_EQ("7000", journey.program.keyValue("FrontKey", "MakerArea")) << "the first reader's Key is left alone";
    EXPECT_EQ(Calls{"InitReader(\"Back Slot Reader 2\") -> 1"}, journey.program.calls("InitReader"));
    journey.expectEveryReaderClosed();
}

// The restriction holds for every attempt of the run, also one started with a button, and
// those skip the connect prompt as the first one did.
TEST(JourneyCommandLine, NamedReaderHoldsForALaterAttemptFromTheButton)
{
    Journey journey(kTwoKeys);
    journey.start("unformat \"Back Slot Reader 2\"");
    journey.box(kConfirmDataLoss, IDNO);
    EXPECT_TRUE(ProgramDriver::waitForTitle(journey.main.window, kCaption));

    journey.press(IDC_MAIN_FORMAT);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ((Calls{"InitReader(\"Back Slot Reader 2\") -> 1", "InitReader(\"Back Slot Reader 2\") -> 2"}),
              journey.program.calls("InitReader"));
    EXPECT_EQ(Calls{"FormatCard(2, credential[len=0], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    EXPECT_EQ("7000", journey.program.keyValue("FrontKey", "MakerArea"));
    journey.expectEveryReaderClosed();
}

// Reader names are compared byte for byte: another letter case names no reader.
TEST(JourneyCommandLine, ReaderNameInAnotherCaseFindsNoKey)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start("format \"simulated reader 0\"");
    journey.box(NamedReaderMissing("simulated reader 0"), IDOK);
    journey.closeIdleMainDialog(3);

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(0, journey.program.logCount("InitReader"));
    EXPECT_EQ(0, journey.program.logCount("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// The first reader is opened, holds no Key, is closed again, and the second one is used.
TEST(JourneyCommandLine, FirstReaderWithoutKeyIsPassedOver)
{
    Journey journey(ProgramDriver::shippedKeySet("two_readers_first_unusable"));
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("Mail:4000", journey.key("OtherApps"));
    EXPECT_EQ((Calls{"InitReader(\"Simulated Reader 0\") -> 1", "InitReader(\"Simulated Reader 1\") -> 2"}),
              journey.program.calls("InitReader"));
    EXPECT_EQ((Calls{"InitCard(1, 0) -> -1", "InitCard(2, 0) -> 0"}), journey.program.calls("InitCard"));
    EXPECT_EQ((Calls{"CloseReader(1) -> 0", "CloseReader(2) -> 0"}), journey.program.calls("CloseReader"));
    journey.expectEveryReaderClosed();
}

// Named on the command line, the empty first reader is the only one tried.
TEST(JourneyCommandLine, NamedReaderWithoutKeyFindsNoKey)
{
    Journey journey(ProgramDriver::shippedKeySet("two_readers_first_unusable"));
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kKeyNotFound, IDOK);
    journey.closeIdleMainDialog(3);

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(Calls{"InitReader(\"Simulated Reader 0\") -> 1"}, journey.program.calls("InitReader"));
    EXPECT_EQ(Calls{"CloseReader(1) -> 0"}, journey.program.calls("CloseReader"));
    journey.expectEveryReaderClosed();
}

// A reader of another type is neither opened nor closed.
TEST(JourneyCommandLine, ReaderOfAnotherTypeIsNotOpened)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "Type=30", "Type=31"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.box(kKeyNotFound, IDOK);
    journey.closeIdleMainDialog();

    EXPECT_EQ(0, journey.program.logCount("InitReader"));
    EXPECT_EQ(0, journey.program.logCount("CloseReader"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    journey.expectEveryReaderClosed();
}

// Without quotes the name is cut at its first space: no reader is called "Simulated".
TEST(JourneyCommandLine, ReaderNameWithSpacesNeedsQuotes)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start("unformat Simulated Reader 0");
    journey.box(NamedReaderMissing("Simulated"), IDOK);
    journey.closeIdleMainDialog(3);

    EXPECT_EQ(0, journey.program.logCount("InitReader"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    journey.expectEveryReaderClosed();
}

// Only the operation word: no connect prompt, and any reader will do.
TEST(JourneyCommandLine, OperationWordAloneUsesTheFirstUsableReader)
{
    Journey journey(ProgramDriver::shippedKeySet("two_readers_first_unusable"));
    journey.start("format");
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ((Calls{"InitReader(\"Simulated Reader 0\") -> 1", "InitReader(\"Simulated Reader 1\") -> 2"}),
              journey.program.calls("InitReader"));
    EXPECT_EQ(Calls{"FormatCard(2, credential[len=8], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// The administrator decides whether Unformat runs: the machine's value wins, the user's counts
// where the machine sets none, one of the wrong type or out of range is not set at all.
TEST(JourneyCommandLine, PolicyDecidesWhetherUnformatRuns)
{
    const HKEY lm = HKEY_LOCAL_MACHINE, cu = HKEY_CURRENT_USER;
    const ExpectedBox refused{
        "Unformat is turned off by your administrator (policy \"Allow Unformat\"). The Key was not changed; Format is still allowed.", {IDOK}, true};
    const struct {
        std::vector<PolicyWrite> values;
        const char* note; // empty when the dialog shows none
    } cases[] = {
        {{{lm, "AllowUnformat", REG_DWORD, 0}, {lm, "AllowKeptCredentials", REG_DWORD, 0},
          {lm, "ReceiptsFolder", REG_EXPAND_SZ, 0, "%KEYPREP_SHARE%\\receipts"}, {lm, "EventLog", REG_DWORD, 0}},
         "Set by your administrator: Unformat is off. Credentials are not kept for the next Keys. Receipts folder: "
         "\\\\fileserver\\keys\\receipts"},
        {{{lm, "AllowUnformat", REG_DWORD, 1}, {cu, "AllowUnformat", REG_DWORD, 0},
          {cu, "AllowKeptCredentials", REG_DWORD, 1}, {cu, "ReceiptsFolder", REG_EXPAND_SZ, 0, "%KEYPREP_UNSET%\\keys"}},
         "Set by your administrator: Unformat is allowed. Credentials may be kept for the next Keys. Receipts folder "
         "%KEYPREP_UNSET%\\keys cannot be used: it names an environment variable that is not set. Receipts are written "
         "as without this setting."},
        {{{lm, "AllowUnformat", REG_SZ, 0, "0"}, {cu, "AllowUnformat", REG_DWORD, 0},
          {cu, "ReceiptsFolder", REG_SZ, 0, "C:\\windows\\win.ini"}},
         "Set by your administrator: Unformat is off. Receipts folder C:\\windows\\win.ini cannot be used: it is a file, "
         "not a folder. Receipts are written as without this setting."},
        {{{cu, "ReceiptsFolder", REG_SZ, 0, "keys."}},
         "Set by your administrator: Receipts folder keys. cannot be used: it is not a full path (a drive or "
         "\\\\server\\share). Receipts are written as without this setting."},
        {{{lm, "AllowUnformat", REG_DWORD, 2}, {lm, "AllowKeptCredentials", REG_SZ, 0, "0"},
          {lm, "ReceiptsFolder", REG_DWORD, 1}, {cu, "ReceiptsFolder", REG_SZ, 0, ""}, {cu, "EventLog", REG_DWORD, 1}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        const Policy policy(c.values);
        Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
        journey.program.addEnvironment("KEYPREP_SHARE=\\\\fileserver\\keys");
        journey.program.watchEvents();
        journey.unformatAllowed = std::string(c.note).find("Unformat is off") == std::string::npos;
        journey.start("unformat \"Simulated Reader 0\"");
        EXPECT_EQ(c.note, ProgramDriver::controlText(journey.main.window, IDC_MAIN_POLICY_NOTE));
        if (!journey.unformatAllowed) {
            journey.box(refused, IDOK);
            PostMessageA(journey.main.window, WM_COMMAND, IDC_MAIN_UNFORMAT, 0); // as another program would
            journey.box(refused, IDOK);
        }
        // In the first case Format reaches the Key, and gives the buttons back without Unformat.
        const bool attempt = journey.unformatAllowed || &c == cases;
        if (!journey.unformatAllowed && attempt)
            journey.press(IDC_MAIN_FORMAT);
        if (attempt)
            journey.box(journey.unformatAllowed ? kConfirmDataLoss : kConfirmReformat, IDNO);
        journey.closeIdleMainDialog(attempt ? 2 : 7);
        EXPECT_EQ(attempt ? 1 : 0, journey.program.logCount("InitReader"));
        EXPECT_EQ(attempt && &c != cases ? 1u : 0u, journey.program.events().size()) << "the first case turns events off";
    }
}
