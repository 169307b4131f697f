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

// What the administrator set decides whether Unformat runs, however it is asked for: the
// machine's value wins, the user's counts where the machine sets none, and a value of the
// wrong type or out of range counts as not set. The main dialog says what was set.
TEST(JourneyCommandLine, PolicyDecidesWhetherUnformatRuns)
{
    const HKEY machine = HKEY_LOCAL_MACHINE;
    const HKEY user = HKEY_CURRENT_USER;
    const char off[] = "Set by your administrator: Unformat is off.";
    const struct {
        std::vector<PolicyWrite> values;
        bool allowed;
        const char* note; // empty when the dialog shows none
    } cases[] = {
        {{{machine, "AllowUnformat", REG_DWORD, 0, nullptr},
          {machine, "AllowKeptCredentials", REG_DWORD, 0, nullptr},
          {machine, "ReceiptsFolder", REG_EXPAND_SZ, 0, "%KEYPREP_SHARE%\\receipts"}},
         false,
         "Set by your administrator: Unformat is off. Credentials are not kept for the next Keys. Receipts folder: "
         "\\\\fileserver\\keys\\receipts"},
        {{{machine, "AllowUnformat", REG_DWORD, 1, nullptr}, {user, "AllowUnformat", REG_DWORD, 0, nullptr}},
         true,
         "Set by your administrator: Unformat is allowed."},
        {{{user, "AllowUnformat", REG_DWORD, 0, nullptr}}, false, off},
        {{{machine, "AllowUnformat", REG_SZ, 0, "0"}, {user, "AllowUnformat", REG_DWORD, 0, nullptr}}, false, off},
        {{{machine, "AllowUnformat", REG_DWORD, 2, nullptr},
          {machine, "AllowKeptCredentials", REG_SZ, 0, "0"},
          {machine, "ReceiptsFolder", REG_DWORD, 1, nullptr},
          {user, "ReceiptsFolder", REG_SZ, 0, ""}},
         true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        const Policy policy(c.values);
        Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
        journey.program.addEnvironment("KEYPREP_SHARE=\\\\fileserver\\keys");
        journey.unformatAllowed = c.allowed;
        journey.start("unformat \"Simulated Reader 0\"");
        EXPECT_EQ(c.note, ProgramDriver::controlText(journey.main.window, IDC_MAIN_POLICY_NOTE));
        if (c.allowed) {
            journey.box(kConfirmDataLoss, IDNO);
            journey.closeIdleMainDialog(2);
            EXPECT_EQ(1, journey.program.openedReaders());
            continue;
        }
        journey.box(kUnformatNotAllowed, IDOK);
        // The command that a mnemonic, a click or another program would send is refused too.
        PostMessageA(journey.main.window, WM_COMMAND, IDC_MAIN_UNFORMAT, 0);
        journey.box(kUnformatNotAllowed, IDOK);
        journey.closeIdleMainDialog(7);
        EXPECT_EQ(0, journey.program.logCount("InitReader"));
        EXPECT_EQ("7000", journey.key("MakerArea"));
    }
}

// Format, which unformats a formatted Key before it formats it again, stays allowed, and an
// attempt that gives the buttons back leaves Unformat off.
TEST(JourneyCommandLine, FormatStaysAllowedWhenUnformatIsNot)
{
    const Policy policy({{HKEY_LOCAL_MACHINE, "AllowUnformat", REG_DWORD, 0, nullptr}});
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.unformatAllowed = false;
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDCANCEL);
    EXPECT_TRUE(ProgramDriver::waitForEnabled(journey.main.window, IDC_MAIN_FORMAT));
    journey.expectUnformatAsAllowed();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000,Vpn:1500", journey.key("OtherApps"));
}
