// The typical journeys through keyprep.exe on the default simulated Key.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

// The default Key set holds one formatted SO PIN Key with another application's data.
const char kDefaultKeyId[] = "Token1";

void EnterSoPin(Journey& journey, const char* soPin)
{
    const SeenWindow soPinDialog = journey.dialog(IDC_SO_PIN_EDIT, "SO PIN");
    EXPECT_EQ(kEnterSoPin, soPinDialog.texts.at(IDC_SO_PIN_PROMPT));
    ProgramDriver::type(soPinDialog.window, IDC_SO_PIN_EDIT, soPin);
    ProgramDriver::press(soPinDialog.window, IDOK);
}

} // namespace

TEST(Journey, FormatDefaultKeyFromTheMainDialog)
{
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.keyId = kDefaultKeyId;
    journey.program.watchEvents();
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    EnterSoPin(journey, "24682468");
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:4000", journey.key("OtherApps"));
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
    EXPECT_EQ(std::vector{journey.event(100, EVENTLOG_INFORMATION_TYPE,
                                        {"Simulated Reader 0", "8", "SO PIN with clear all", "format", "no", "success",
                                         "The process is successfully completed.", "", "", ""})},
              journey.program.events());
}

TEST(Journey, WrongSoPinThenRightOneFromTheCommandLine)
{
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.keyId = kDefaultKeyId;
    journey.start("format \"Simulated Reader 0\"");
    EnterSoPin(journey, "11111111");
    journey.confirmFormat();
    journey.box(kWrongSoPin, IDOK);
    EnterSoPin(journey, "24682468"); // no confirmations on the retry
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ("10", journey.key("Tries")) << "the right SO PIN restores the tries";
    journey.expectEveryReaderClosed();
}

TEST(Journey, UnformatKeepsOtherApplicationsData)
{
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.keyId = kDefaultKeyId;
    journey.program.watchEvents();
    journey.start("unformat \"Simulated Reader 0\"");
    EnterSoPin(journey, "24682468");
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("Mail:4000", journey.key("OtherApps"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
    EXPECT_EQ(std::vector{journey.event(101, EVENTLOG_INFORMATION_TYPE,
                                        {"Simulated Reader 0", "8", "SO PIN with clear all", "unformat", "no", "success",
                                         "The process is successfully completed.", "", "", ""})},
              journey.program.events());
}
