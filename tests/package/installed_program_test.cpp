// One Format through keyprep.exe where the MSI installed it, beside the maker's libraries
// that the administrator copied there (the stand-ins here). check_msi.sh runs it in its own
// Wine prefix with KEYPREP_INSTALLED_DIR set; the Key set and the call log stay outside the
// installation folder, so that the uninstall afterwards finds only what it expects there.
#include "journey_steps.h"

#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The last call of this entry point in the log succeeded.
void ExpectLastCallSucceeded(const ProgramDriver& program, const std::string& entryPoint)
{
    const std::vector<std::string> calls = program.calls(entryPoint);
    ASSERT_FALSE(calls.empty()) << entryPoint << " was not called\n" << program.log();
    EXPECT_EQ(" -> 1", calls.back().substr(calls.back().size() - 5)) << program.log();
}

TEST(InstalledProgram, FormatsTheDefaultKey)
{
    const char* folder = std::getenv("KEYPREP_INSTALLED_DIR");
    ASSERT_NE(nullptr, folder) << "KEYPREP_INSTALLED_DIR names the installation folder";
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.program.runInstalled(folder);
    journey.start();

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    const SeenWindow soPin = journey.dialog(IDC_SO_PIN_PROMPT, "SO PIN");
    EXPECT_EQ(kEnterSoPin, soPin.texts.at(IDC_SO_PIN_PROMPT));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);

    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    ExpectLastCallSucceeded(journey.program, "UnformatCard");
    ExpectLastCallSucceeded(journey.program, "FormatCard");
}
