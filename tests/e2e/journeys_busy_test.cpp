// While a slow Key is being changed the main dialog shows the stage in its title, its
// buttons are off and it refuses to close; afterwards it closes as usual.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

const char kUnformatting[] = "Unformatting . . .";
const char kFormatting[] = "Formatting . . .";

// Asks the busy main dialog to close both ways a user can, and waits until it has handled
// each request; it must still be there, with its buttons off.
void ExpectCloseRefused(const Journey& journey, const char* stage)
{
    HWND main = journey.main.window;
    EXPECT_TRUE(ProgramDriver::deliver(main, WM_CLOSE)) << stage;
    EXPECT_TRUE(ProgramDriver::deliver(main, WM_COMMAND, IDC_MAIN_EXIT)) << stage;
    EXPECT_TRUE(IsWindow(main)) << "closed while " << stage;
    EXPECT_TRUE(journey.program.running()) << "ended while " << stage;
    EXPECT_FALSE(ProgramDriver::enabled(main, IDC_MAIN_FORMAT)) << stage;
    EXPECT_FALSE(ProgramDriver::enabled(main, IDC_MAIN_UNFORMAT)) << stage;
}

} // namespace

TEST(JourneyBusy, CloseIsRefusedWhileASlowFormatRuns)
{
    Journey journey(ProgramDriver::shippedKeySet("slow_operations"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();

    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, kUnformatting)) << WindowText(journey.main.window);
    ExpectCloseRefused(journey, kUnformatting);
    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, kFormatting)) << WindowText(journey.main.window);
    ExpectCloseRefused(journey, kFormatting);

    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("FormatCard"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyBusy, CloseIsRefusedWhileASlowUnformatRuns)
{
    Journey journey(ProgramDriver::shippedKeySet("slow_operations"));
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmUnformat();

    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, kUnformatting)) << WindowText(journey.main.window);
    ExpectCloseRefused(journey, kUnformatting);

    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("Mail:3000", journey.key("OtherApps"));
    journey.expectEveryReaderClosed();
}

// The buttons go off behind the connect prompt, once it shows, and come back after Cancel
// with the focus on Format.
TEST(JourneyBusy, ButtonsAreOffBehindTheConnectPrompt)
{
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    const SeenWindow prompt = journey.program.next();
    ASSERT_EQ(kConnect.text, prompt.text);
    HWND main = journey.main.window;
    EXPECT_TRUE(ProgramDriver::waitForEnabled(main, IDC_MAIN_UNFORMAT, 2000, false));
    EXPECT_FALSE(ProgramDriver::enabled(main, IDC_MAIN_FORMAT));
    EXPECT_FALSE(ProgramDriver::enabled(main, IDC_MAIN_EXIT));
    ProgramDriver::press(prompt.window, IDCANCEL);
    ASSERT_TRUE(ProgramDriver::waitForEnabled(main, IDC_MAIN_UNFORMAT));
    // Keys go to Format again, not to a button that happened to be next to it.
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    EXPECT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &focus));
    EXPECT_EQ(GetDlgItem(main, IDC_MAIN_FORMAT), focus.hwndFocus);
    journey.closeIdleMainDialog();
    EXPECT_EQ(0, journey.program.logCount("InitReader"));
}

// The close refused during the work is not remembered; after the error message the caption
// is back, and the next close ends the program.
TEST(JourneyBusy, CloseAfterAFailedSlowFormatEndsTheProgram)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("slow_operations"), "FormatMs=2500",
                             "FormatMs=2500\nFailNextFormat=0x80100001"));
    journey.start("format \"Simulated Reader 0\"");
    journey.confirmFormat();

    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, kUnformatting)) << WindowText(journey.main.window);
    ExpectCloseRefused(journey, kUnformatting);

    journey.box(kFormatFailed, IDOK);
    EXPECT_EQ(kCaption, WindowText(journey.main.window)) << "the title is the caption again";
    journey.closeIdleMainDialog(1);

    EXPECT_EQ("0", journey.key("MakerArea"));
    EXPECT_EQ("", journey.key("FailNextFormat"));
    journey.expectEveryReaderClosed();
}
