#include "app/startup.h"
#include "common/library_binding.h"
#include "core/app_context.h"
#include "dlls/recorded_about.h"
#include "keylib/key_library.h"
#include "support/dialog_robot.h"
#include "support/program_state.h"
#include "support/support_library.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

namespace {

class Bindings : public ::testing::Test {
protected:
    void SetUp() override { ResetProgramState(); }
    void TearDown() override { UseTestLibraries(""); }
};

bool AllSupportEntryPointsNull()
{
    bool allNull = true;
#define CHECK_NULL(name, type) allNull = allNull && g_supportLib.name == nullptr;
    SUPPORT_LIBRARY_ENTRY_POINTS(CHECK_NULL)
#undef CHECK_NULL
    return allNull;
}

bool AllSupportEntryPointsBound()
{
    bool allBound = true;
#define CHECK_BOUND(name, type) allBound = allBound && g_supportLib.name != nullptr;
    SUPPORT_LIBRARY_ENTRY_POINTS(CHECK_BOUND)
#undef CHECK_BOUND
    return allBound;
}

int BoundKeyEntryPoints()
{
    int bound = 0;
#define COUNT_BOUND(name, type) bound += g_keyLib.name != nullptr;
    KEY_LIBRARY_ENTRY_POINTS(COUNT_BOUND)
#undef COUNT_BOUND
    return bound;
}

} // namespace

TEST_F(Bindings, IncompleteSupportLibraryIsUnloaded)
{
    for (const char* variant : {"support_no_first", "support_no_last"}) {
        UseTestLibraries(variant);
        HMODULE library = reinterpret_cast<HMODULE>(0x1);
        SetLastError(0);
        EXPECT_FALSE(BindSupportLibrary(&library)) << variant;
        EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError()) << variant;
        EXPECT_EQ(nullptr, library) << variant;
        EXPECT_EQ(nullptr, GetModuleHandleA("plinth.dll")) << variant << " still loaded";
        EXPECT_TRUE(AllSupportEntryPointsNull()) << variant;
    }
}

TEST_F(Bindings, MissingSupportLibraryKeepsTheLoaderError)
{
    HMODULE library = reinterpret_cast<HMODULE>(0x1);
    EXPECT_FALSE(BindSupportLibrary(&library));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, library);
}

TEST_F(Bindings, CompleteSupportLibraryBindsAndShowsAbout)
{
    UseTestLibraries("support_recording");
    HMODULE library = nullptr;
    ASSERT_TRUE(BindSupportLibrary(&library));
    EXPECT_NE(nullptr, library);
    EXPECT_TRUE(AllSupportEntryPointsBound());

    const char* files[6] = {"a.dll", "b.dll", "c.dll", "d.exe", nullptr, nullptr};
    HWND owner = reinterpret_cast<HWND>(0x4242);
    EXPECT_EQ(7, ShowAbout(g_app.instance, g_app.languageModule, owner, 110, files, nullptr, 0,
                           "host", "mail", 5006, 255, 0, "Veltrax", 1));
    auto lastCall = reinterpret_cast<LastAboutCallFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "LastAboutCall")));
    ASSERT_NE(nullptr, lastCall);
    const RecordedAboutCall* call = lastCall();
    EXPECT_EQ(1, call->calls);
    EXPECT_EQ(owner, call->owner);
    EXPECT_EQ(110, call->iconId);
    EXPECT_EQ(files[3], call->componentFiles[3]);
    EXPECT_STREQ("host", call->webHost);
    EXPECT_STREQ("mail", call->supportEmail);
    EXPECT_EQ(5006, call->bitmapId);
    EXPECT_EQ(255, call->reserved2);
    EXPECT_STREQ("Veltrax", call->company);
    EXPECT_EQ(1, call->reserved4);
    FreeLibrary(library);
}

TEST_F(Bindings, ComponentFileListNamesTheFourFiles)
{
    EXPECT_STREQ("cardwyn32.dll", kComponentFiles[0]);
    EXPECT_STREQ("keyprep_lang.dll", kComponentFiles[1]);
    EXPECT_STREQ("plinth.dll", kComponentFiles[2]);
    EXPECT_STREQ("keyprep.exe", kComponentFiles[3]);
    EXPECT_EQ(nullptr, kComponentFiles[4]);
    EXPECT_EQ(nullptr, kComponentFiles[5]);
}

TEST_F(Bindings, IncompleteKeyLibraryIsUnloaded)
{
    for (const char* variant : {"keylib_no_first", "keylib_no_last"}) {
        UseTestLibraries(variant);
        HMODULE library = reinterpret_cast<HMODULE>(0x1);
        EXPECT_FALSE(BindKeyLibrary(&library)) << variant;
        EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError()) << variant;
        EXPECT_EQ(nullptr, library) << variant;
        EXPECT_EQ(nullptr, GetModuleHandleA("cardwyn32.dll")) << variant << " still loaded";
        EXPECT_EQ(0, BoundKeyEntryPoints()) << variant;
    }
}

TEST_F(Bindings, CompleteKeyLibraryBindsAllEntryPoints)
{
    UseTestLibraries("keylib_complete");
    HMODULE library = nullptr;
    ASSERT_TRUE(BindKeyLibrary(&library));
    EXPECT_EQ(34, BoundKeyEntryPoints());
    EXPECT_EQ(GetModuleHandleA("cardwyn32.dll"), library);
    FreeLibrary(library);
}

TEST_F(Bindings, KeyLibraryFailureIsReportedAndKeepsTheError)
{
    UseTestLibraries("keylib_no_last");
    DialogRobot robot;
    robot.add(AnswerMessageBox(IDOK));
    HMODULE library = nullptr;
    lstrcpyA(g_app.caption, "My caption");
    EXPECT_FALSE(LoadKeyLibrary(&library));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    ASSERT_EQ(1u, robot.messageBoxes().size());
    const SeenWindow box = robot.messageBoxes().at(0);
    EXPECT_EQ("An error occurred while loading cardwyn32.dll!", box.text);
    EXPECT_EQ("My caption", box.title);
    EXPECT_EQ("error", box.icon);
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
}

// Without a restricted search, neither the current folder nor a relative PATH entry is searched.
TEST_F(Bindings, MissingKeyLibraryIsReportedWithTheLoaderError)
{
    TempFolder current;
    const std::string planted = JoinPath(JoinPath(TestDllDir(), "keylib_complete"), "cardwyn32.dll");
    ASSERT_TRUE(CopyFileA(planted.c_str(), current.file("cardwyn32.dll").c_str(), FALSE));
    char before[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, before);
    SetCurrentDirectoryA(current.path().c_str());
    SetEnvironmentVariableA("PATH", ".");
    DialogRobot robot;
    robot.add(AnswerMessageBox(IDOK));
    HMODULE library = nullptr;
    EXPECT_FALSE(LoadKeyLibrary(&library));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(1u, robot.messageBoxes().size());
    EXPECT_TRUE(robot.unexpected().empty());
    SetCurrentDirectoryA(before);
}

// After the search is restricted, a library loaded by name never comes from a folder on PATH,
// even when System32 has none; only the maker's libraries are still looked for there.
TEST_F(Bindings, PathServesOnlyTheMakerLibraries)
{
    TempFolder pathFolder;
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    const std::string marker = JoinPath(JoinPath(TestDllDir(), "planted_lang"), "keyprep_lang.dll");
    const std::string systemCopy = JoinPath(system, "kp_marker.dll");
    ASSERT_TRUE(CopyFileA(marker.c_str(), pathFolder.file("kp_marker.dll").c_str(), FALSE));
    const std::string keyLibrary = JoinPath(JoinPath(TestDllDir(), "keylib_complete"), "cardwyn32.dll");
    ASSERT_TRUE(CopyFileA(keyLibrary.c_str(), pathFolder.file("cardwyn32.dll").c_str(), FALSE));
    SetEnvironmentVariableA("PATH", (pathFolder.path() + ";" + system).c_str());

    RestrictLibrarySearch();
    EXPECT_EQ(nullptr, LoadLibraryA("kp_marker.dll")) << "loaded from PATH";
    ASSERT_TRUE(CopyFileA(marker.c_str(), systemCopy.c_str(), FALSE));
    HMODULE loaded = LoadLibraryA("kp_marker.dll");
    char found[MAX_PATH] = {};
    GetModuleFileNameA(loaded, found, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiA(systemCopy.c_str(), found)) << found;
    HMODULE keys = nullptr;
    EXPECT_TRUE(BindKeyLibrary(&keys));
    GetModuleFileNameA(keys, found, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiA(pathFolder.file("cardwyn32.dll").c_str(), found)) << found;

    FreeLibrary(keys);
    FreeLibrary(loaded);
    DeleteFileA(systemCopy.c_str());
    DeleteFileA((systemCopy + ".loaded").c_str());
}
