// keyprep.exe started as a process of its own, in a folder with chosen libraries beside it.
#include "support/dialog_robot.h"
#include "support/process_runner.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

namespace {

class Startup : public ::testing::Test {
protected:
    void install(const char* supportVariant, const char* keyVariant)
    {
        ASSERT_TRUE(CopyInto(JoinPath(BinDir(), "keyprep.exe"), folder_.path()));
        if (supportVariant) {
            ASSERT_TRUE(CopyInto(JoinPath(JoinPath(TestDllDir(), supportVariant), "plinth.dll"),
                                 folder_.path()));
        }
        if (keyVariant) {
            ASSERT_TRUE(CopyInto(JoinPath(JoinPath(TestDllDir(), keyVariant), "cardwyn32.dll"),
                                 folder_.path()));
        }
    }

    // Runs the program, answers every window it shows with OK and returns what they showed.
    std::vector<SeenWindow> runAnsweringOk(const std::string& arguments, DWORD* exitCode)
    {
        ChildProcess program(folder_.file("keyprep.exe"), arguments, folder_.path());
        EXPECT_TRUE(program.started());
        WindowWatcher watcher(program.id());
        std::vector<SeenWindow> seen;
        while (!program.wait(0)) {
            HWND window = watcher.waitForNewWindow(2000);
            if (window == nullptr)
                continue;
            seen.push_back(Snapshot(window));
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(seen.back().isMessageBox ? IDOK : IDCANCEL, 0), 0);
            if (!seen.back().isMessageBox)
                PostMessageA(window, WM_CLOSE, 0, 0);
            if (seen.size() > 5)
                break;
        }
        EXPECT_TRUE(program.wait(20000)) << "the program did not end";
        *exitCode = program.exitCode();
        return seen;
    }

    TempFolder folder_;
};

const char kUsage[] =
    "\nKey formatting utility\nUsage:\nkeyprep.exe format | unformat \"Reader Name\" [occupy_all]\nkeyprep.exe series "
    "[\"Reader Name\" [occupy_all | receipts.csv]]\nkeyprep.exe verify-receipts receipts.csv\nExit codes: 0 success, 1 failed, 2 cancelled, 3 no reader or Key, 4 credential "
    "rejected, 5 credential blocked, 6 usage, 7 not allowed by policy";

} // namespace

TEST_F(Startup, MissingSupportLibraryEndsBeforeTheKeyLibrary)
{
    install(nullptr, nullptr);
    DWORD exitCode = 1;
    const auto seen = runAnsweringOk("", &exitCode);
    ASSERT_EQ(1u, seen.size());
    EXPECT_TRUE(seen[0].isMessageBox);
    EXPECT_EQ("An error occurred while loading plinth.dll!", seen[0].text);
    EXPECT_EQ("Key formatting utility", seen[0].title);
    EXPECT_EQ("", seen[0].icon);
    EXPECT_EQ(nullptr, seen[0].owner);
    EXPECT_EQ(std::vector<int>{IDOK}, seen[0].buttons);
    EXPECT_EQ(0u, exitCode);
}

TEST_F(Startup, IncompleteSupportLibraryIsRefused)
{
    install("support_no_last", "keylib_complete");
    DWORD exitCode = 1;
    const auto seen = runAnsweringOk("format", &exitCode);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("An error occurred while loading plinth.dll!", seen[0].text);
    EXPECT_EQ(1u, exitCode) << "a script learns that it failed";
}

TEST_F(Startup, MissingKeyLibraryIsAnError)
{
    install("support_recording", nullptr);
    DWORD exitCode = 1;
    const auto seen = runAnsweringOk("", &exitCode);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("An error occurred while loading cardwyn32.dll!", seen[0].text);
    EXPECT_EQ("Key formatting utility", seen[0].title);
    EXPECT_NE("", seen[0].icon) << "the key library's failure carries the error icon";
    EXPECT_EQ(nullptr, seen[0].owner);
    EXPECT_EQ(0u, exitCode);
}

TEST_F(Startup, IncompleteKeyLibraryIsAnError)
{
    install("support_recording", "keylib_no_first");
    DWORD exitCode = 1;
    const auto seen = runAnsweringOk("", &exitCode);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ("An error occurred while loading cardwyn32.dll!", seen[0].text);
    EXPECT_EQ(0u, exitCode);
}

TEST_F(Startup, UnknownOperationWordShowsTheUsage)
{
    install("support_recording", "keylib_complete");
    for (const char* arguments : {"Format", "format\tReader", "erase \"Reader 0\"", "FORMAT"}) {
        DWORD exitCode = 1;
        const auto seen = runAnsweringOk(arguments, &exitCode);
        ASSERT_EQ(1u, seen.size()) << arguments;
        EXPECT_TRUE(seen[0].isMessageBox) << arguments;
        EXPECT_EQ(kUsage, seen[0].text) << arguments;
        EXPECT_EQ("Key formatting utility", seen[0].title) << arguments;
        EXPECT_EQ("", seen[0].icon) << arguments;
        EXPECT_EQ(nullptr, seen[0].owner) << arguments;
        EXPECT_EQ(6u, exitCode) << arguments;
    }
}

TEST_F(Startup, WithoutArgumentsTheMainDialogOpens)
{
    install("support_recording", "keylib_complete");
    DWORD exitCode = 1;
    const auto seen = runAnsweringOk("", &exitCode);
    ASSERT_EQ(1u, seen.size());
    EXPECT_FALSE(seen[0].isMessageBox);
    EXPECT_EQ("Key formatting utility", seen[0].title);
    EXPECT_EQ(1u, seen[0].texts.count(1002)) << "the Format button";
    EXPECT_EQ(0u, exitCode);
}
