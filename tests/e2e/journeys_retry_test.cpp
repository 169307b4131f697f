// A wrong credential followed by the right one, and a Key that runs out of tries: what the
// user is told, what is asked again, and what the Key counts.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {


std::string Rejected(const std::string& call) { return call + kInvalidChv; }
std::string Blocked(const std::string& call) { return call + kChvBlocked; }

} // namespace

TEST(JourneyRetry, WrongPinThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type04_pin"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();

    SeenWindow pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "123");
    ProgramDriver::press(pin.window, IDOK);
    const SeenWindow tooShort = journey.program.answer(kPinTooShort.text, IDOK);
    EXPECT_EQ(pin.window, tooShort.owner) << "the PIN dialog owns its own message";
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "4321");
    ProgramDriver::press(pin.window, IDOK);

    journey.box(kWrongPin, IDOK);
    pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    EXPECT_EQ("2", journey.key("Tries"));
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "1234");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("3", journey.key("Tries")) << "the right PIN gives the tries back";
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"\", 0)"),
                     Rejected("UnformatCard(2, credential=\"4321\", 0)"),
                     "UnformatCard(3, credential=\"1234\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyRetry, WrongSoPinThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type06_so_pin"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");
    journey.confirmUnformat();

    // The program's own empty first try was refused: an empty OK asks for the SO PIN.
    SeenWindow soPin = journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
    ProgramDriver::press(soPin.window, IDOK);
    EXPECT_EQ(soPin.window, journey.program.answer(kEnterSoPin, IDOK).owner);
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "12345678");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kWrongSoPin, IDOK);

    soPin = journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
    EXPECT_EQ(0u, soPin.texts.count(IDC_CLEAR_ALL));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "87654321");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000,Vpn:1500", journey.key("OtherApps"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"\", 0)"),
                     Rejected("UnformatCard(2, credential=\"12345678\", 0)"),
                     "UnformatCard(3, credential=\"87654321\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// The retry asks the pass phrase again from an empty box, and no longer asks to confirm.
TEST(JourneyRetry, WrongPassPhraseThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type05_pass_phrase"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);

    SeenWindow passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "open sesame");
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.confirmFormat();
    journey.box(kWrongPassPhrase, IDOK);

    passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    EXPECT_FALSE(ProgramDriver::ticked(passPhrase.window, IDC_CLEAR_ALL));
    ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "open sesame key");
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("5", journey.key("Tries"));
    EXPECT_EQ("Mail:3000,Vpn:1500", journey.key("OtherApps"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"open sesame\", 0)"),
                     "UnformatCard(2, credential=\"open sesame key\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(2, credential=\"open sesame key\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// The transport key typed in lower case comes back in upper case for correction.
TEST(JourneyRetry, WrongTransportKeyThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type01_transport_key"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "112233445566778");
    ProgramDriver::press(transportKey.window, IDOK);
    const SeenWindow tooShort = journey.program.answer(
        "Incorrect formatting password. It should be 8 bytes long and written in hex.", IDOK);
    EXPECT_EQ(transportKey.window, tooShort.owner);
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "11223344556677aa");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.confirmFormat();
    journey.box(kWrongFormattingPassword, IDOK);

    transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    EXPECT_EQ("11223344556677AA", ProgramDriver::controlText(transportKey.window, IDC_SECRET_EDIT));
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "1122334455667788");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=hex:11223344556677AA, 0)"),
                     "UnformatCard(2, credential=hex:1122334455667788, 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyRetry, WrongAdminPinThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type10_admin_pin"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");

    SeenWindow adminPin = journey.dialog(IDC_ADMIN_PIN_EDIT, "Admin PIN");
    ProgramDriver::type(adminPin.window, IDC_ADMIN_PIN_EDIT, "11111111");
    ProgramDriver::press(adminPin.window, IDOK);
    journey.box(kWrongAdminPin, IDOK);

    adminPin = journey.dialog(IDC_ADMIN_PIN_EDIT, "Admin PIN");
    EXPECT_TRUE(ProgramDriver::ticked(adminPin.window, IDC_CLEAR_ALL));
    ProgramDriver::type(adminPin.window, IDC_ADMIN_PIN_EDIT, "52738164");
    ProgramDriver::press(adminPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"11111111\", 2)"),
                     "UnformatCard(2, credential=\"52738164\", 2) -> 1"}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// The formatting password dialog comes again quoting its usual value and showing the
// password typed last.
TEST(JourneyRetry, WrongFormattingPasswordThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type11_password"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "TRUVOSEC");
    ProgramDriver::press(password.window, IDOK);
    journey.confirmFormat();
    journey.box(kWrongFormattingPassword, IDOK);

    password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    EXPECT_EQ(std::string(kEnterFormattingPassword) + " Usually Formatting password is \"TRUVOSEK\".",
              password.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("TRUVOSEC", ProgramDriver::controlText(password.window, IDC_SECRET_EDIT));
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "TRUVOSEK");
    ProgramDriver::press(password.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"TRUVOSEC\", 0)"),
                     "UnformatCard(2, credential=\"TRUVOSEK\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// Card type 12: after a typed transport key the message comes first, and the dialog shows
// the key typed last; every attempt warns again that all data goes.
TEST(JourneyRetry, WrongTransportKeyOfAClearAllKeyThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type12_clear_all_transport_key"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);

    SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "0102030405060709");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kWrongFormattingPassword, IDOK);

    transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    EXPECT_EQ("0102030405060709", ProgramDriver::controlText(transportKey.window, IDC_SECRET_EDIT));
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "0102030405060708");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=hex:0000000000000000, 2)"),
                     Rejected("UnformatCard(2, credential=hex:0102030405060709, 2)"),
                     "UnformatCard(3, credential=hex:0102030405060708, 2) -> 1"}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyRetry, WrongPasswordOfAClearAllKeyThenTheRightOne)
{
    Journey journey(ProgramDriver::shippedKeySet("type09_clear_all_password"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);

    SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "vortemis");
    ProgramDriver::press(password.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kWrongFormattingPassword, IDOK);

    password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    EXPECT_EQ(kEnterFormattingPassword, password.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("vortemis", ProgramDriver::controlText(password.window, IDC_SECRET_EDIT));
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "VORTEMIS");
    ProgramDriver::press(password.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ("10", journey.key("Tries"));
    journey.expectEveryReaderClosed();
}

// The SO PIN Key counts every wrong SO PIN; once none is left even the right one is
// refused as blocked, and the user is told so. The user then gives up with Cancel.
TEST(JourneyRetry, SoPinKeyBlocksAfterItsLastTry)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type08_so_pin"), "Tries=10", "Tries=2"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "11111111");
    ProgramDriver::press(soPin.window, IDOK);
    journey.confirmFormat();
    journey.box(kWrongSoPin, IDOK);

    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "22222222");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kWrongSoPin, IDOK);
    EXPECT_EQ("0", journey.key("Tries"));

    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kBlocked, IDOK);

    // Another Format from the button: the user cancels the SO PIN this time.
    EXPECT_TRUE(ProgramDriver::waitForTitle(journey.main.window, kCaption));
    journey.press(IDC_MAIN_FORMAT);
    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::press(soPin.window, IDCANCEL);
    journey.closeIdleMainDialog(2);

    EXPECT_EQ("0", journey.key("Tries"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000,Vpn:1500", journey.key("OtherApps"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"11111111\", 0)"),
                     Rejected("UnformatCard(2, credential=\"22222222\", 0)"),
                     Blocked("UnformatCard(3, credential=\"24682468\", 0)")}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    EXPECT_EQ(4, journey.program.logCount("CloseReader"));
    journey.expectEveryReaderClosed();
}

// With its last try gone the PIN is asked again; the user gives up with Cancel.
TEST(JourneyRetry, PinKeyWithOneTryLeftAndTheUserGivesUp)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type04_pin"), "Tries=3", "Tries=1"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");
    journey.confirmUnformat();

    SeenWindow pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "9999");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kWrongPin, IDOK);
    pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::press(pin.window, IDCANCEL);
    journey.closeIdleMainDialog(4);

    EXPECT_EQ("0", journey.key("Tries"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"\", 0)"),
                     Rejected("UnformatCard(2, credential=\"9999\", 0)")}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// A Key that is blocked already refuses even an empty first try as blocked: no PIN is
// asked, the user is told that the Key is blocked, also when Format was asked for.
TEST(JourneyRetry, BlockedPinKeyIsNotAskedForItsPin)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type04_pin"), "Tries=3", "Tries=0"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();
    journey.box(kBlocked, IDOK);
    journey.closeIdleMainDialog(5);

    EXPECT_EQ("0", journey.key("Tries"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(Calls{Blocked("UnformatCard(1, credential[len=0], 0)")}, journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// The PIN dialog of the retry holds the PIN typed last, selected for typing over. OK with
// that same PIN is refused in the dialog, which says that it was not sent: sending it again
// would only spend a try.
TEST(JourneyRetry, RejectedPinIsNotSentAgain)
{
    Journey journey(ProgramDriver::shippedKeySet("type04_pin"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");
    journey.confirmUnformat();

    SeenWindow pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "4321");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kWrongPin, IDOK);
    pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    EXPECT_EQ(MAKELONG(0, 4), SendMessageA(GetDlgItem(pin.window, IDC_PIN_EDIT), EM_GETSEL, 0, 0))
        << "the PIN typed last is selected";
    for (int press = 0; press < 2; ++press) {
        ProgramDriver::press(pin.window, IDOK);
        const SeenWindow refused = journey.program.answer(kPinNotSentAgain.text, IDOK);
        EXPECT_EQ(pin.window, refused.owner) << "the PIN dialog stays and owns the message";
    }
    ProgramDriver::press(pin.window, IDCANCEL);
    journey.closeIdleMainDialog(4);

    EXPECT_EQ("2", journey.key("Tries"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"\", 0)"),
                     Rejected("UnformatCard(2, credential=\"4321\", 0)")}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// Unlike the PIN dialogs, the pass phrase dialog of the retry starts empty.
TEST(JourneyRetry, PassPhraseDialogOfTheRetryStartsEmpty)
{
    Journey journey(ProgramDriver::shippedKeySet("type05_pass_phrase"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    SeenWindow passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "sesame");
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.confirmFormat();
    journey.box(kWrongPassPhrase, IDOK);
    passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.box(kWrongPassPhrase, IDOK);
    passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    ProgramDriver::press(passPhrase.window, IDCANCEL);
    journey.closeIdleMainDialog(4);

    EXPECT_EQ("4", journey.key("Tries")) << "an empty pass phrase costs no try";
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"sesame\", 0)"),
                     Rejected("UnformatCard(2, credential=\"\", 0)")}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// The SO PIN clear-all dialog of the retry starts with its box clear, whatever was ticked
// before: the other applications' data is kept this time.
// The retry shows "Clear all Key's data" as the user left it, and is sent with that choice.
TEST(JourneyRetry, SoPinClearAllRetryKeepsTheBoxAsLeft)
{
    Journey journey(ProgramDriver::shippedKeySet("type08_so_pin"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");

    SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::tick(soPin.window, IDC_CLEAR_ALL);
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682486");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kWrongSoPin, IDOK);

    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    EXPECT_TRUE(ProgramDriver::ticked(soPin.window, IDC_CLEAR_ALL));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"24682486\", 2)"),
                     "UnformatCard(2, credential=\"24682468\", 2) -> 1"}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// A card type 7 Key that refuses the empty credential is not to be tried again.
TEST(JourneyRetry, RefusedClearAllKeyGetsTheSeriousErrorOnly)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type07_clear_all"), "CardType=7",
                             "CardType=7\nCredential=\"SECRET\""));
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);
    journey.box({"Serious ERROR occurred! Please don't try to format/unformat this Key any more and contact "
                 "support@veltrax.example.",
                 {IDOK}, true},
                IDOK);
    journey.expectIdleWithoutMessage(1);
    journey.closeIdleMainDialog(4);

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("InitReader"));
    journey.expectEveryReaderClosed();
}

// Card type 3 has nothing to ask for again, so a refusal ends the attempt as a failure.
TEST(JourneyRetry, RefusedKeyOfType3FailsTheUnformat)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "CardType=3",
                             "CardType=3\nCredential=\"SECRET\""));
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmUnformat();
    journey.box(kUnformatFailed, IDOK);
    journey.expectIdleWithoutMessage(1);
    journey.closeIdleMainDialog();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// For card type 12 the message depends on the first byte of the key typed: a key that
// starts with a zero byte counts as none, and the dialog comes back without a message.
TEST(JourneyRetry, TransportKeyStartingWithAZeroByteGetsNoMessage)
{
    Journey journey(ProgramDriver::shippedKeySet("type12_clear_all_transport_key"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);

    SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "0002030405060708");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);

    transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    EXPECT_EQ("0002030405060708", ProgramDriver::controlText(transportKey.window, IDC_SECRET_EDIT));
    ProgramDriver::press(transportKey.window, IDCANCEL);
    journey.closeIdleMainDialog(4);

    EXPECT_EQ("9", journey.key("Tries"));
    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=hex:0000000000000000, 2)"),
                     Rejected("UnformatCard(2, credential=hex:0002030405060708, 2)")}),
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// A new Format from the button starts from an empty credential again, while Cancel on the
// connect prompt starts nothing at all.
TEST(JourneyRetry, NewFormatForgetsThePinOfTheAttemptBefore)
{
    Journey journey(ProgramDriver::shippedKeySet("type04_pin"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    SeenWindow pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "4321");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kWrongPin, IDOK);
    pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::press(pin.window, IDCANCEL);

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDCANCEL);

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    pin = journey.dialog(IDC_PIN_EDIT, "PIN"); // no message: the first try was empty again
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "1234");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ((Calls{Rejected("UnformatCard(1, credential=\"\", 0)"),
                     Rejected("UnformatCard(2, credential=\"4321\", 0)"),
                     Rejected("UnformatCard(3, credential=\"\", 0)"),
                     "UnformatCard(4, credential=\"1234\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    const Calls walks = journey.program.calls("EnumReaders");
    EXPECT_EQ(4, std::count(walks.begin(), walks.end(), "EnumReaders(0) -> \"Simulated Reader 0\""))
        << "one reader walk per attempt, none for the cancelled prompt";
    journey.expectEveryReaderClosed();
}
