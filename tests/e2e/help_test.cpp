// Help from the running program: readme.txt beside keyprep.exe, opened by the shell.
#include "program_driver.h"

#include "res/resource.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

namespace {

struct ViewerSearch {
    DWORD notThisProcess;
    HWND found;
};

BOOL CALLBACK FindReadmeViewer(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<ViewerSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->notThisProcess && IsWindowVisible(window) &&
        WindowText(window).find("readme") != std::string::npos) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForReadmeViewer(DWORD programProcess)
{
    ViewerSearch search{programProcess, nullptr};
    for (int i = 0; i < 100 && search.found == nullptr; ++i) {
        Sleep(100);
        EnumWindows(FindReadmeViewer, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

} // namespace

TEST(Help, OpensTheReadmeBesideTheProgram)
{
    ProgramDriver program(ProgramDriver::shippedKeySet("default"));
    program.start();
    const SeenWindow main = program.mainDialog();
    PostMessageA(main.window, WM_COMMAND, IDC_MAIN_HELP, 0);
    HWND viewer = WaitForReadmeViewer(program.id());
    ASSERT_NE(nullptr, viewer) << "no window shows readme.txt";
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    PostMessageA(main.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.ended());
    EXPECT_EQ(0u, program.exitCode());
}

// A folder named readme.txt is no help file: the shell would open the folder instead.
TEST(Help, WithoutReadmeTheProgramSaysSo)
{
    for (bool folderInItsPlace : {false, true}) {
        SCOPED_TRACE(folderInItsPlace ? "a folder named readme.txt" : "no readme.txt");
        ProgramDriver program(ProgramDriver::shippedKeySet("default"));
        const std::string readme = program.folder().file("readme.txt");
        DeleteFileA(readme.c_str());
        if (folderInItsPlace) {
            ASSERT_TRUE(CreateDirectoryA(readme.c_str(), nullptr));
        }
        program.start();
        const SeenWindow main = program.mainDialog();
        PostMessageA(main.window, WM_COMMAND, IDC_MAIN_HELP, 0);
        const SeenWindow box = program.answer("Unable to activate Help! The help file readme.txt was not found beside "
                                              "the program. Please copy it into the program's folder, or install "
                                              "the program again.",
                                              IDOK);
        EXPECT_EQ(main.window, box.owner);
        EXPECT_NE("", box.icon);
        PostMessageA(main.window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(program.ended());
    }
}

// Beside a readme.txt whose path reaches 260 characters, Help says that it cannot open it, not
// that it is missing. The program is renamed, so that its own path is short enough to start.
TEST(Help, ReadmeAtTheLongestPathIsNotCalledMissing)
{
    ProgramDriver program(ProgramDriver::shippedKeySet("default"));
    std::string folder = program.folder().path();
    while (folder.size() + sizeof "\\readme.txt" <= MAX_PATH) {
        const size_t left = MAX_PATH - sizeof "\\readme.txt" - folder.size();
        folder += "\\" + std::string(left <= 100 ? left : 50, 'd');
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
    }
    for (const char* file : {"readme.txt", "cardwyn32.dll", "plinth.dll"})
        ASSERT_TRUE(CopyInto(program.folder().file(file), folder)) << file;
    ASSERT_TRUE(CopyInto(program.folder().file("keyprep.exe"), folder, "kp.exe"));
    program.runInstalled(folder, "kp.exe");
    program.start();
    const SeenWindow main = program.mainDialog();
    PostMessageA(main.window, WM_COMMAND, IDC_MAIN_HELP, 0);
    program.answer("Unable to activate Help!", IDOK);
    PostMessageA(main.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.ended());
}
