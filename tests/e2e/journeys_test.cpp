// Whole journeys through keyprep.exe against the simulated key library.
#include "program_driver.h"

#include "res/resource.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

namespace {

const char kConnect[] = "Please connect your Key to the computer and press OK.";
const char kConfirmReformat[] =
    "This Key is already formatted for Veltrax applications. \n              Do you wish to reformat it?";
const char kConfirmDataLoss[] =
    "All your Veltrax applications data WILL BE LOST.\nNon-Veltrax applications data will not "
    "be affected. \n              Do you wish to continue?";
const char kSuccess[] = "The process is successfully completed.";
const char kWrongSoPin[] = "The SO PIN you entered is incorrect!";

std::string DefaultKeySet() { return ReadWholeFile(JoinPath(SourceDir(), "sim\\keysets\\default.ini")); }

// Every reader that opened was closed exactly once, and the simulator saw nothing wrong.
void ExpectEveryReaderClosed(const ProgramDriver& program)
{
    EXPECT_EQ(program.openedReaders(), program.logCount("CloseReader"));
    EXPECT_EQ(std::string::npos, program.log().find(" ERROR ")) << program.log();
    EXPECT_EQ(std::string::npos, program.log().find(" LEAK ")) << program.log();
}

} // namespace

TEST(Journey, FormatDefaultKeyFromTheMainDialog)
{
    ProgramDriver program(DefaultKeySet());
    program.start();
    const SeenWindow main = program.mainDialog();
    EXPECT_EQ("Key formatting utility", main.title);
    ProgramDriver::press(main.window, IDC_MAIN_FORMAT);
    program.answer(kConnect, IDOK);

    const SeenWindow soPin = program.next();
    EXPECT_EQ("Please enter SO PIN of the Key.", soPin.texts.at(IDC_SO_PIN_PROMPT));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);

    program.answer(kConfirmReformat, IDYES);
    program.answer(kConfirmDataLoss, IDYES);
    program.answer(kSuccess, IDOK);
    ASSERT_TRUE(program.ended());
    EXPECT_EQ(0u, program.exitCode());
    EXPECT_EQ("7000", program.keyValue("Token1", "MakerArea"));
    EXPECT_EQ("Mail:4000", program.keyValue("Token1", "OtherApps"));
    EXPECT_EQ(1, program.logCount("UnformatCard"));
    EXPECT_EQ(1, program.logCount("FormatCard"));
    ExpectEveryReaderClosed(program);
}

TEST(Journey, WrongSoPinThenRightOneFromTheCommandLine)
{
    ProgramDriver program(DefaultKeySet());
    program.start("format \"Simulated Reader 0\"");
    program.mainDialog();

    SeenWindow soPin = program.next();
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "11111111");
    ProgramDriver::press(soPin.window, IDOK);
    program.answer(kConfirmReformat, IDYES);
    program.answer(kConfirmDataLoss, IDYES);
    program.answer(kWrongSoPin, IDOK);

    soPin = program.next();
    EXPECT_EQ(1u, soPin.texts.count(IDC_SO_PIN_EDIT)) << "the SO PIN dialog comes again";
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    program.answer(kSuccess, IDOK);
    ASSERT_TRUE(program.ended());
    EXPECT_EQ(0u, program.exitCode());
    EXPECT_EQ("10", program.keyValue("Token1", "Tries")) << "the right SO PIN restores the tries";
    ExpectEveryReaderClosed(program);
}

TEST(Journey, UnformatKeepsOtherApplicationsData)
{
    ProgramDriver program(DefaultKeySet());
    program.start("unformat \"Simulated Reader 0\"");
    program.mainDialog();
    SeenWindow soPin = program.next();
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    program.answer(kConfirmDataLoss, IDYES);
    program.answer(kSuccess, IDOK);
    ASSERT_TRUE(program.ended());
    EXPECT_EQ("0", program.keyValue("Token1", "MakerArea"));
    EXPECT_EQ("Mail:4000", program.keyValue("Token1", "OtherApps"));
    EXPECT_EQ(0, program.logCount("FormatCard"));
    ExpectEveryReaderClosed(program);
}
