// Format and Unformat of a Key of every card type that asks for a credential, with the
// right credential: what the user is asked, what the key library receives, what the Key
// holds afterwards.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

namespace {


// A shipped Key set whose maker's area is smaller than a new one, so that a Format shows.
std::string ShrunkenKeySet(const std::string& name)
{
    return Replaced(ProgramDriver::shippedKeySet(name), "MakerArea=7000", "MakerArea=5000");
}

const char kBothApps[] = "Mail:3000,Vpn:1500";

} // namespace

TEST(JourneyCardType, TransportKeyType1Format)
{
    Journey journey(ShrunkenKeySet("type01_transport_key"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);

    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    EXPECT_EQ(kEnterTransportKey, transportKey.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("", ProgramDriver::controlText(transportKey.window, IDC_SECRET_EDIT));
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "1122334455667788");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=hex:1122334455667788, 0) -> 1"},
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=hex:1122334455667788, \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, TransportKeyType1Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type01_transport_key"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);

    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "1122334455667788");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=hex:1122334455667788, 0) -> 1"},
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, TransportKeyType2Format)
{
    Journey journey(ShrunkenKeySet("type02_transport_key"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    EXPECT_EQ(kEnterTransportKey, transportKey.texts.at(IDC_SECRET_PROMPT));
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "8877665544332211");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=hex:8877665544332211, \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, TransportKeyType2Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type02_transport_key"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");

    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "8877665544332211");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=hex:8877665544332211, 0) -> 1"},
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, TransportKeyCancelledLeavesTheKeyAlone)
{
    Journey journey(ProgramDriver::shippedKeySet("type01_transport_key"));
    journey.start("format \"Simulated Reader 0\"");
    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::press(transportKey.window, IDCANCEL);
    journey.closeIdleMainDialog(2);

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(0, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("CloseReader"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, NoCredentialType3Format)
{
    Journey journey(ShrunkenKeySet("type03_no_credential"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// The first attempt runs with an empty PIN; the Key rejects it without a try, and the
// program asks for the PIN without telling the user anything was wrong.
TEST(JourneyCardType, PinType4Format)
{
    Journey journey(ShrunkenKeySet("type04_pin"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();

    const SeenWindow pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    EXPECT_EQ(kEnterPin, pin.texts.at(IDC_PIN_PROMPT));
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "1234");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ("3", journey.key("Tries"));
    EXPECT_EQ((Calls{std::string("UnformatCard(1, credential=\"\", 0)") + kInvalidChv,
                     "UnformatCard(2, credential=\"1234\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(2, credential=\"1234\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, PinType4Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type04_pin"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");
    journey.confirmUnformat();

    const SeenWindow pin = journey.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::type(pin.window, IDC_PIN_EDIT, "1234");
    ProgramDriver::press(pin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ("3", journey.key("Tries"));
    EXPECT_EQ((Calls{std::string("UnformatCard(1, credential=\"\", 0)") + kInvalidChv,
                     "UnformatCard(2, credential=\"1234\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, PassPhraseType5Format)
{
    Journey journey(ShrunkenKeySet("type05_pass_phrase"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);

    const SeenWindow passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    EXPECT_EQ(kEnterPassPhrase, passPhrase.texts.at(IDC_PASS_PHRASE_TITLE));
    EXPECT_FALSE(ProgramDriver::ticked(passPhrase.window, IDC_CLEAR_ALL));
    ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "open sesame key");
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"open sesame key\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// Ticking "Clear all Key's data" drops the pass phrase and the confirmations.
TEST(JourneyCardType, PassPhraseType5FormatClearingAll)
{
    Journey journey(ShrunkenKeySet("type05_pass_phrase"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    const SeenWindow passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "not needed");
    ProgramDriver::tick(passPhrase.window, IDC_CLEAR_ALL);
    EXPECT_FALSE(ProgramDriver::enabled(passPhrase.window, IDC_PASS_PHRASE_EDIT));
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"\", 2) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"\", \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, PassPhraseType5Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type05_pass_phrase"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");

    const SeenWindow passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
    ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "open sesame key");
    ProgramDriver::press(passPhrase.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"open sesame key\", 0) -> 1"},
              journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// Key status -7: only clearing all is offered, with warning 31 and no confirmations.
TEST(JourneyCardType, PassPhraseType5StatusMinus7Format)
{
    Journey journey(ShrunkenKeySet("type05_clear_all_only"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ("5", journey.key("Tries"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"\", 2) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"\", \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, PassPhraseType5StatusMinus7Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type05_clear_all_only"));
    journey.start("unformat \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential[len=0], 2) -> 1"}, journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, SoPinType6Format)
{
    Journey journey(ShrunkenKeySet("type06_so_pin"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();

    const SeenWindow soPin = journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
    EXPECT_EQ(kEnterSoPin, soPin.texts.at(IDC_SO_PIN_PROMPT));
    EXPECT_EQ(0u, soPin.texts.count(IDC_CLEAR_ALL)) << "the plain SO PIN dialog offers no clear-all";
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "87654321");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ((Calls{std::string("UnformatCard(1, credential=\"\", 0)") + kInvalidChv,
                     "UnformatCard(2, credential=\"87654321\", 0) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(2, credential=\"87654321\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, SoPinType6Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type06_so_pin"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmUnformat();

    const SeenWindow soPin = journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "87654321");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ("UnformatCard(2, credential=\"87654321\", 0) -> 1", journey.program.calls("UnformatCard").back());
    journey.expectEveryReaderClosed();
}

// Card type 7 always clears all, with an empty credential, which this Key accepts.
TEST(JourneyCardType, ClearAllType7Format)
{
    Journey journey(ShrunkenKeySet("type07_clear_all"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential[len=0], 2) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, ClearAllType7Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type07_clear_all"));
    journey.start("unformat \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, ClearAllWarningCancelledLeavesTheKeyAlone)
{
    Journey journey(ProgramDriver::shippedKeySet("type07_clear_all"));
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDCANCEL);
    journey.closeIdleMainDialog(2);

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(0, journey.program.logCount("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// Card type 9: the empty credential of the clear-all attempt is refused, so the program
// asks for the formatting password, with no usual value, and warns again.
TEST(JourneyCardType, ClearAllType9Format)
{
    Journey journey(ShrunkenKeySet("type09_clear_all_password"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.box(kWarnDataDeleted, IDOK);

    const SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    EXPECT_EQ(kEnterFormattingPassword, password.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("", ProgramDriver::controlText(password.window, IDC_SECRET_EDIT));
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "VORTEMIS");
    ProgramDriver::press(password.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ("10", journey.key("Tries"));
    EXPECT_EQ((Calls{std::string("UnformatCard(1, credential=\"\", 2)") + kInvalidChv,
                     "UnformatCard(2, credential=\"VORTEMIS\", 2) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(2, credential=\"VORTEMIS\", \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, ClearAllType9Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type09_clear_all_password"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);

    const SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "VORTEMIS");
    ProgramDriver::press(password.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ("UnformatCard(2, credential=\"VORTEMIS\", 2) -> 1", journey.program.calls("UnformatCard").back());
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, SoPinClearAllType8FormatKeepingOtherData)
{
    Journey journey(ShrunkenKeySet("type08_so_pin"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);

    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    EXPECT_EQ(kEnterSoPin, soPin.texts.at(IDC_SO_PIN_PROMPT));
    EXPECT_EQ("SO PIN:", soPin.texts.at(IDC_SO_PIN_LABEL));
    EXPECT_EQ("Usually SO PIN is \"24682468\". If the Key doesn't have enough free space for formatting you "
              "could select \"Clear all Key's data\" option.",
              soPin.texts.at(IDC_SO_PIN_HELP));
    EXPECT_FALSE(ProgramDriver::ticked(soPin.window, IDC_CLEAR_ALL));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"24682468\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, SoPinClearAllType8FormatClearingAll)
{
    Journey journey(ShrunkenKeySet("type08_so_pin"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::tick(soPin.window, IDC_CLEAR_ALL);
    EXPECT_TRUE(ProgramDriver::ticked(soPin.window, IDC_CLEAR_ALL));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK); // clearing all asks no confirmation
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"24682468\", 2) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"24682468\", \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, SoPinClearAllType8UnformatClearingAll)
{
    Journey journey(ProgramDriver::shippedKeySet("type08_so_pin"));
    journey.start("unformat \"Simulated Reader 0\"");

    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::tick(soPin.window, IDC_CLEAR_ALL);
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential[len=8], 2) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, SoPinClearAllType8UnformatKeepingOtherData)
{
    Journey journey(ProgramDriver::shippedKeySet("type08_so_pin"));
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
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential[len=8], 0) -> 1"}, journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// The Admin PIN dialog starts with "Clear all Key's data" ticked: all data goes, unasked.
TEST(JourneyCardType, AdminPinType10Format)
{
    Journey journey(ShrunkenKeySet("type10_admin_pin"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);

    const SeenWindow adminPin = journey.dialog(IDC_ADMIN_PIN_EDIT, "Admin PIN");
    EXPECT_EQ(kEnterAdminPin, adminPin.texts.at(IDC_ADMIN_PIN_PROMPT));
    EXPECT_TRUE(ProgramDriver::ticked(adminPin.window, IDC_CLEAR_ALL));
    EXPECT_TRUE(adminPin.enabled.at(IDOK));
    ProgramDriver::type(adminPin.window, IDC_ADMIN_PIN_EDIT, "52738164");
    ProgramDriver::press(adminPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"52738164\", 2) -> 1"}, journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"52738164\", \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, AdminPinType10Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type10_admin_pin"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");

    const SeenWindow adminPin = journey.dialog(IDC_ADMIN_PIN_EDIT, "Admin PIN");
    EXPECT_TRUE(ProgramDriver::ticked(adminPin.window, IDC_CLEAR_ALL));
    ProgramDriver::type(adminPin.window, IDC_ADMIN_PIN_EDIT, "52738164");
    ProgramDriver::press(adminPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"52738164\", 2) -> 1"}, journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, FormattingPasswordType11Format)
{
    Journey journey(ShrunkenKeySet("type11_password"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);

    // The usual value is only quoted; the user types it.
    const SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    EXPECT_EQ(std::string(kEnterFormattingPassword) + " Usually Formatting password is \"TRUVOSEK\".",
              password.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("", ProgramDriver::controlText(password.window, IDC_SECRET_EDIT));
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "TRUVOSEK");
    ProgramDriver::press(password.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"TRUVOSEK\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, FormattingPasswordType11Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type11_password"));
    journey.program.logSecrets();
    journey.start("unformat \"Simulated Reader 0\"");

    const SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "TRUVOSEK");
    ProgramDriver::press(password.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"TRUVOSEK\", 0) -> 1"}, journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}

// Card type 12: the empty clear-all attempt is refused; the transport key is asked with no
// usual value, and the warning comes again.
TEST(JourneyCardType, ClearAllType12Format)
{
    Journey journey(ShrunkenKeySet("type12_clear_all_transport_key"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kWarnDataDeleted, IDOK);

    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    EXPECT_EQ(kEnterTransportKey, transportKey.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("", ProgramDriver::controlText(transportKey.window, IDC_SECRET_EDIT));
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "0102030405060708");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ((Calls{std::string("UnformatCard(1, credential=hex:0000000000000000, 2)") + kInvalidChv,
                     "UnformatCard(2, credential=hex:0102030405060708, 2) -> 1"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(Calls{"FormatCard(2, credential=hex:0102030405060708, \"\", space=7000, 2) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, ClearAllType12Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type12_clear_all_transport_key"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.box(kWarnDataDeleted, IDOK);

    const SeenWindow transportKey = journey.dialog(IDC_SECRET_EDIT, "transport key");
    ProgramDriver::type(transportKey.window, IDC_SECRET_EDIT, "0102030405060708");
    ProgramDriver::press(transportKey.window, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ("UnformatCard(2, credential=hex:0102030405060708, 2) -> 1",
              journey.program.calls("UnformatCard").back());
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, FormattingPasswordType13Format)
{
    Journey journey(ShrunkenKeySet("type13_password"));
    journey.program.logSecrets();
    journey.start("format \"Simulated Reader 0\"");

    const SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    EXPECT_EQ(std::string(kEnterFormattingPassword) + " Usually Formatting password is \"MOLDIRA+\".",
              password.texts.at(IDC_SECRET_PROMPT));
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "MOLDIRA+");
    ProgramDriver::press(password.window, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential=\"MOLDIRA+\", \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyCardType, FormattingPasswordType13Unformat)
{
    Journey journey(ProgramDriver::shippedKeySet("type13_password"));
    journey.program.logSecrets();
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);

    const SeenWindow password = journey.dialog(IDC_SECRET_EDIT, "formatting password");
    EXPECT_EQ(std::string(kEnterFormattingPassword) + " Usually Formatting password is \"MOLDIRA+\".",
              password.texts.at(IDC_SECRET_PROMPT));
    ProgramDriver::type(password.window, IDC_SECRET_EDIT, "MOLDIRA+");
    ProgramDriver::press(password.window, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ(kBothApps, journey.key("OtherApps"));
    EXPECT_EQ(Calls{"UnformatCard(1, credential=\"MOLDIRA+\", 0) -> 1"}, journey.program.calls("UnformatCard"));
    journey.expectEveryReaderClosed();
}
