// What the Key reports when it is opened: not formatted yet, an unexpected status, no card
// type, pulled half way, plugged in only after a first try.
#include "journey_steps.h"

#include "res/resource.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>


// Not formatted yet: the credential is asked, but no confirmation.
TEST(JourneyKeyStatus, UnformattedKeyIsFormattedWithoutConfirmations)
{
    Journey journey(ProgramDriver::shippedKeySet("unformatted_key"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:4000", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"InitCard(1, 0) -> -2"}, journey.program.calls("InitCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=8], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyKeyStatus, UnformattedKeyIsUnformattedWithoutConfirmation)
{
    Journey journey(ProgramDriver::shippedKeySet("unformatted_key"));
    journey.start("unformat \"Simulated Reader 0\"");
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("Mail:4000", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential[len=8], 0) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

// On a Key that is not formatted, a failed unformat does not stop the Format.
TEST(JourneyKeyStatus, UnformattedKeyIsFormattedAlthoughItsUnformatFails)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "MakerArea=7000",
                             "MakerArea=0\nFailNextUnformat=0x80100001"));
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential[len=0], 0) -> 0 err=0x80100001"},
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// On a formatted Key the same failure ends the Format before anything is formatted.
TEST(JourneyKeyStatus, FormattedKeyWhoseUnformatFailsIsNotFormatted)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "MakerArea=7000",
                             "MakerArea=5000\nFailNextUnformat=0x80100001"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();
    journey.box(kFormatFailed, IDOK);
    journey.closeIdleMainDialog(1);

    EXPECT_EQ("5000", journey.key("MakerArea"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

// The credential is asked first; the unexpected status then ends the attempt.
TEST(JourneyKeyStatus, UnexpectedKeyStatusEndsTheAttempt)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type08_so_pin"), "CardType=8", "CardType=8\nInitStatus=-5"));
    journey.start("format \"Simulated Reader 0\"");
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kInitFailed, IDOK);
    journey.closeIdleMainDialog(1);

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(0, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(Calls{"CloseReader(1) -> 0"}, journey.program.calls("CloseReader"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyKeyStatus, KeyStatusThreeIsTreatedAsFormatted)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "CardType=3",
                             "CardType=3\nInitStatus=3"));
    journey.start("unformat \"Simulated Reader 0\"");
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    journey.expectEveryReaderClosed();
}

// A Key that reports no card type asks nothing but both confirmations.
TEST(JourneyKeyStatus, KeyWithoutCardTypeAsksOnlyTheConfirmations)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "CardType=3", "CardType=none"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ(Calls{"GetCardType(1) -> 0 cardType=unwritten"}, journey.program.calls("GetCardType"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// A rejected credential on a Key without card type cannot be asked again: the Format failed.
TEST(JourneyKeyStatus, KeyWithoutCardTypeThatWantsACredentialFailsTheFormat)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type04_pin"), "CardType=4", "CardType=none"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();
    journey.box(kFormatFailed, IDOK);
    journey.expectIdleWithoutMessage(1);
    journey.closeIdleMainDialog(4);

    EXPECT_EQ("3", journey.key("Tries"));
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("InitReader"));
    journey.expectEveryReaderClosed();
}

// Pulled half way through its unformat, the Key has lost the maker's area; plugged in
// again it shows as not formatted and is formatted without confirmations.
TEST(JourneyKeyStatus, KeyPulledDuringUnformatIsFormattedOnTheNextTry)
{
    Journey journey(ProgramDriver::shippedKeySet("pulled_during_unformat"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();
    journey.box(kKeyRemovedInFormat, IDOK);
    EXPECT_EQ("0", journey.key("MakerArea"));

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000", journey.key("OtherApps"));
    EXPECT_EQ((Calls{"UnformatCard(1, credential[len=0], 0) -> 0 err=0x80100069",
                     "UnformatCard(2, credential[len=0], 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ((Calls{"InitCard(1, 0) -> 0", "InitCard(2, 0) -> -2"}), journey.program.calls("InitCard"));
    journey.expectEveryReaderClosed();
}

// The Key set is read again for each new attempt, so a Key plugged in after the first
// try is found by the second.
TEST(JourneyKeyStatus, KeyPluggedInAfterTheFirstTry)
{
    const std::string withKey = ProgramDriver::shippedKeySet("type03_no_credential");
    Journey journey(Replaced(withKey, "Key=Token", "Key="));
    journey.start("unformat \"Simulated Reader 0\"");
    journey.box(kKeyNotFound, IDOK);

    WriteWholeFile(journey.program.folder().file("cardwyn-sim.ini"), withKey);
    journey.press(IDC_MAIN_UNFORMAT);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ((Calls{"InitCard(1, 0) -> -1", "InitCard(2, 0) -> 0"}), journey.program.calls("InitCard"));
    journey.expectEveryReaderClosed();
}

// A reader that refuses to open is passed over and never closed.
TEST(JourneyKeyStatus, UnavailableReaderIsPassedOver)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("two_readers_first_unusable"), "Type=30\nKey=\n",
                             "Type=30\nAvailable=no\nKey=\n"));
    journey.start("unformat");
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ((Calls{"InitReader(\"Simulated Reader 0\") -> -1 err=0x80100017",
                     "InitReader(\"Simulated Reader 1\") -> 1"}),
              journey.program.calls("InitReader"));
    EXPECT_EQ(Calls{"CloseReader(1) -> 0"}, journey.program.calls("CloseReader"));
    journey.expectEveryReaderClosed();
}

// Pulled half way through its format, the Key keeps nothing of the maker's area; plugged
// in again it is formatted without confirmations.
TEST(JourneyKeyStatus, KeyPulledDuringFormatIsFormattedOnTheNextTry)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "CardType=3",
                             "CardType=3\nPullDuringNextFormat=yes"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();
    journey.box(kKeyRemovedInFormat, IDOK);
    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("PullDuringNextFormat"));

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ((Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 0) -> 0 err=0x80100069",
                     "FormatCard(2, credential[len=0], \"\", space=7000, 0) -> 1"}),
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// When no Key can be used, or it left the reader during the work, the message says why and
// what to do, in the user's language. A reader name longer than any reader's is cut, its last
// character an ellipsis (0x85 in code page 1252), and the message ends in its own words.
TEST(JourneyKeyStatus, MessagesSayWhatToDo)
{
    const std::string busy = Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "Type=30", "Type=30\nAvailable=no");
    const std::string longName(32000, 'r');
    const std::string shortened = longName.substr(0, 510) + "\x85";
    const struct {
        std::string keySet;
        std::string arguments;
        bool german;
        std::string text;
        DWORD exitCode;
    } cases[] = {
        {"", "format", false,
         "No Key reader was found. Please connect the Key, or the card reader with the card in it, and try again.", 3},
        {"", "format", true,
         "Es wurde kein Leseger\xE4t f\xFCr Keys gefunden. Bitte schlie\xDF" "en Sie den Key oder das "
         "Kartenleseger\xE4t mit der Karte an und versuchen Sie es erneut.", 3},
        {busy, "format", false,
         "The Key reader is not available: another program may be using it. Please close the other program that "
         "uses the Key, then try again.", 3},
        {ProgramDriver::shippedKeySet("pulled_during_unformat"), "unformat \"Simulated Reader 0\"", false,
         "The Key was removed while it was being unformatted and may have lost its preparation. Please reconnect "
         "the Key and press Unformat again.", 1},
        {ProgramDriver::shippedKeySet("type03_no_credential"), "format \"" + longName + "\"", false,
         NamedReaderMissing(shortened).text, 3},
    };
    for (const auto& c : cases) {
        Journey journey(c.keySet);
        if (c.german) {
            journey.program.addGermanLanguage();
            journey.caption = "Key-Formatierungsprogramm";
        }
        journey.start(c.arguments);
        if (c.arguments.rfind("unformat", 0) == 0)
            journey.confirmUnformat();
        journey.box({c.text, {IDOK}, true}, IDOK);
        journey.closeIdleMainDialog(c.exitCode);
    }
}
