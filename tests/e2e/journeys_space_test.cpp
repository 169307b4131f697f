// Room on the Key: a Key too full for the maker's area, one where only all free space fits,
// "occupy_all" from the command line, and a Key that cannot be unformatted at all.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

namespace {


} // namespace

// Not formatted yet, so no confirmation; neither 7000 nor all free space fits until the
// user chooses to clear all the Key's data.
TEST(JourneySpace, FullKeyFitsOnlyOnceAllDataIsCleared)
{
    Journey journey(ProgramDriver::shippedKeySet("full_key"));
    journey.start("format \"Simulated Reader 0\"");

    SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kNoFreeSpaceClearAll, IDOK);
    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("Mail:20000,Vpn:8000,Badge:4000", journey.key("OtherApps"));

    journey.press(IDC_MAIN_FORMAT);
    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::tick(soPin.window, IDC_CLEAR_ALL);
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("OtherApps"));
    EXPECT_EQ((Calls{std::string("FormatCard(1, credential[len=8], \"\", space=7000, 0)") + kNoMemory,
                     std::string("FormatCard(1, credential[len=8], \"\", space=NULL, 0)") + kNoMemory,
                     "FormatCard(2, credential[len=8], \"\", space=7000, 2) -> 1"}),
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneySpace, NearlyFullKeyTakesAllItsFreeSpace)
{
    Journey journey(ProgramDriver::shippedKeySet("nearly_full_key"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("1000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:20000,Vpn:11000", journey.key("OtherApps"));
    EXPECT_EQ((Calls{std::string("FormatCard(1, credential[len=0], \"\", space=7000, 0)") + kNoMemory,
                     "FormatCard(1, credential[len=0], \"\", space=NULL, 0) -> 1"}),
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneySpace, OccupyAllGivesTheMakersAreaAllFreeSpace)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start("format \"Simulated Reader 0\" occupy_all");
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("27500", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000,Vpn:1500", journey.key("OtherApps"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=0], \"\", space=NULL, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneySpace, OccupyAllInCapitalsIsNotTheOption)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start("format \"Simulated Reader 0\" OCCUPY_ALL");
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// With nothing free even for all free space, the same request is made once more.
TEST(JourneySpace, OccupyAllOnAFullKeyTriesOnceMore)
{
    Journey journey(ProgramDriver::shippedKeySet("full_key"));
    journey.start("format \"Simulated Reader 0\" occupy_all");
    const SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kNoFreeSpaceClearAll, IDOK);
    journey.closeIdleMainDialog(1);

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ((Calls{std::string("FormatCard(1, credential[len=8], \"\", space=NULL, 0)") + kNoMemory,
                     std::string("FormatCard(1, credential[len=8], \"\", space=NULL, 0)") + kNoMemory}),
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// The option is read again by a later Format that the user starts with the button.
TEST(JourneySpace, OccupyAllHoldsForALaterFormatFromTheButton)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type08_so_pin"), "MakerArea=7000", "MakerArea=0"));
    journey.start("format \"Simulated Reader 0\" occupy_all");
    SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::press(soPin.window, IDCANCEL);
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));

    journey.press(IDC_MAIN_FORMAT);
    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("27500", journey.key("MakerArea"));
    EXPECT_EQ(Calls{"FormatCard(2, credential[len=8], \"\", space=NULL, 0) -> 1"},
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}

// Neither Format nor Unformat gets past the refused unformat; the Key keeps everything.
TEST(JourneySpace, KeyThatCannotBeUnformatted)
{
    Journey journey(ProgramDriver::shippedKeySet("cannot_unformat"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    journey.box(kCannotUnformat, IDOK);

    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmUnformat();
    journey.box(kCannotUnformat, IDOK);
    journey.closeIdleMainDialog();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000", journey.key("OtherApps"));
    EXPECT_EQ((Calls{"UnformatCard(1, credential[len=0], 0) -> 0 err=0x80100022",
                     "UnformatCard(2, credential[len=0], 0) -> 0 err=0x80100022"}),
              journey.program.calls("UnformatCard"));
    EXPECT_EQ(0, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

// A Format that fails after its unformat leaves the Key without the maker's area; the
// fault fires once, so the next Format succeeds.
TEST(JourneySpace, FailedFormatThenASuccessfulOne)
{
    Journey journey(ProgramDriver::shippedKeySet("failing_format"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();
    journey.box(kFormatFailed, IDOK);
    EXPECT_EQ("0", journey.key("MakerArea"));

    // Not formatted now: no confirmations.
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("FailNextFormat"));
    EXPECT_EQ((Calls{"FormatCard(1, credential[len=0], \"\", space=7000, 0) -> 0 err=0x80100001",
                     "FormatCard(2, credential[len=0], \"\", space=7000, 0) -> 1"}),
              journey.program.calls("FormatCard"));
    journey.expectEveryReaderClosed();
}
