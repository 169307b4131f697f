// The unattended demo: a complete Format of the default simulated Key, as a user would do
// it, with a screenshot of every window on the way. Run by tools/demo, not by the suite.
#include "program_driver.h"

#include "res/resource.h"
#include "support/screen_capture.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string DemoFolder()
{
    const char* folder = std::getenv("KEYPREP_DEMO_DIR");
    return folder ? folder : ".";
}

// Waits for the window to draw, then saves the screen as NN-name.bmp.
void Shoot(int& number, const std::string& name)
{
    Sleep(600);
    char file[64];
    std::snprintf(file, sizeof file, "%02d-%s.bmp", ++number, name.c_str());
    EXPECT_TRUE(SaveScreenshot(JoinPath(DemoFolder(), file))) << file;
}

} // namespace

TEST(Demo, DISABLED_FormatDefaultKey)
{
    int shot = 0;
    ProgramDriver program(ProgramDriver::shippedKeySet("default"));
    program.start();
    const SeenWindow main = program.mainDialog();
    Shoot(shot, "main-dialog");
    ProgramDriver::press(main.window, IDC_MAIN_FORMAT);

    SeenWindow window = program.next();
    Shoot(shot, "connect-prompt");
    ProgramDriver::press(window.window, IDOK);

    window = program.next();
    ProgramDriver::type(window.window, IDC_SO_PIN_EDIT, "24682468");
    Shoot(shot, "so-pin");
    ProgramDriver::press(window.window, IDOK);

    for (const char* name : {"confirm-reformat", "confirm-data-loss"}) {
        window = program.next();
        Shoot(shot, name);
        ProgramDriver::press(window.window, IDYES);
    }
    window = program.next();
    Shoot(shot, "success");
    EXPECT_EQ("The process is successfully completed.", window.text);
    ProgramDriver::press(window.window, IDOK);
    ASSERT_TRUE(program.ended());
    EXPECT_EQ(0u, program.exitCode());
    CopyInto(program.folder().file("cardwyn-sim.ini"), DemoFolder(), "keyset-after.ini");
    CopyInto(program.folder().file("calls.log"), DemoFolder(), "calls.log");
}
