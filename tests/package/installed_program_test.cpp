// One Format through keyprep.exe where the MSI installed it, beside the maker's libraries
// that the administrator copied there (the stand-ins here). check_msi.sh runs it in its own
// Wine prefix with KEYPREP_INSTALLED_DIR set; the Key set and the call log stay outside the
// installation folder, so that the uninstall afterwards finds only what it expects there.
#include "journey_steps.h"

#include "res/resource.h"
#include "support/process_runner.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace {

class InstalledProgram {
public:
    InstalledProgram(const std::string& folder, const std::string& keySet)
    {
        WriteWholeFile(keys_.file("cardwyn-sim.ini"), keySet);
        process_ = std::make_unique<ChildProcess>(JoinPath(folder, "keyprep.exe"), "", folder,
                                                  "CARDWYN_SIM=" + keys_.file("cardwyn-sim.ini") +
                                                      "\nCARDWYN_SIM_LOG=" + keys_.file("calls.log"));
        watcher_ = std::make_unique<WindowWatcher>(process_->id());
    }

    bool started() const { return process_->started(); }
    ChildProcess& process() { return *process_; }
    std::string log() const { return ReadWholeFile(keys_.file("calls.log")); }

    SeenWindow next()
    {
        HWND window = watcher_->waitForNewWindow(20000);
        EXPECT_NE(nullptr, window) << "no new window appeared";
        return window ? Snapshot(window) : SeenWindow{};
    }

    // The next window must be this message box of the main dialog; it is answered.
    void box(const ExpectedBox& expected, HWND owner, int button)
    {
        const SeenWindow seen = next();
        EXPECT_TRUE(seen.isMessageBox) << expected.text;
        EXPECT_EQ(expected.text, seen.text);
        EXPECT_EQ(owner, seen.owner) << expected.text;
        if (seen.window)
            ProgramDriver::press(seen.window, button);
    }

private:
    TempFolder keys_;
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<WindowWatcher> watcher_;
};

// Whether the call log has a call of this entry point that succeeded.
bool Succeeded(const std::string& log, const std::string& entryPoint)
{
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const bool isCall = line.find(" " + entryPoint + "(") != std::string::npos;
        if (isCall && line.size() >= 5 && line.compare(line.size() - 5, 5, " -> 1") == 0)
            return true;
    }
    return false;
}

} // namespace

TEST(InstalledProgram, FormatsTheDefaultKey)
{
    const char* folder = std::getenv("KEYPREP_INSTALLED_DIR");
    ASSERT_NE(nullptr, folder) << "KEYPREP_INSTALLED_DIR names the installation folder";
    InstalledProgram program(folder, ProgramDriver::shippedKeySet("default"));
    ASSERT_TRUE(program.started()) << "the installed keyprep.exe did not start";

    const SeenWindow main = program.next();
    ASSERT_FALSE(main.isMessageBox) << "instead of the main dialog: \"" << main.text << "\"";
    EXPECT_EQ(kCaption, main.title);
    ProgramDriver::press(main.window, IDC_MAIN_FORMAT);
    program.box(kConnect, main.window, IDOK);

    const SeenWindow soPin = program.next();
    ASSERT_EQ(1u, soPin.texts.count(IDC_SO_PIN_PROMPT)) << "instead of the SO PIN dialog: " << soPin.title;
    EXPECT_EQ(kEnterSoPin, soPin.texts.at(IDC_SO_PIN_PROMPT));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);

    program.box(kConfirmReformat, main.window, IDYES);
    program.box(kConfirmDataLoss, main.window, IDYES);
    program.box(kSuccess, main.window, IDOK);
    ASSERT_TRUE(program.process().wait(20000)) << "the program did not end after its success message";
    EXPECT_EQ(0u, program.process().exitCode());

    const std::string log = program.log();
    EXPECT_TRUE(Succeeded(log, "UnformatCard")) << log;
    EXPECT_TRUE(Succeeded(log, "FormatCard")) << log;
}
