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

// Inside `base`, a folder whose path with "\\readme.txt" is `length` characters long.
std::string FolderReaching(const std::string& base, size_t length)
{
    std::string folder = base;
    for (size_t left = length - 11 - folder.size(); left > 0; left = length - 11 - folder.size()) {
        folder += "\\" + std::string(left - 1 <= 100 ? left - 1 : 90, 'd');
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
    }
    return folder;
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

// Help says why it failed: a missing file (or a folder named readme.txt, which the shell
// would open instead), or a path of 260 characters to a readme.txt that is there.
TEST(Help, WithoutReadmeTheProgramSaysWhy)
{
    const std::string notFound = "Unable to activate Help! The help file readme.txt was not found beside the program. "
                                 "Please copy it into the program's folder, or install the program again.";
    const struct {
        const char* what;
        bool removed, folderInItsPlace, longPath;
        std::string text;
    } cases[] = {
        {"no readme.txt", true, false, false, notFound},
        {"a folder named readme.txt", true, true, false, notFound},
        {"readme.txt at 260 characters", false, false, true, "Unable to activate Help!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramDriver program(ProgramDriver::shippedKeySet("default"));
        const std::string readme = program.folder().file("readme.txt");
        if (c.removed)
            DeleteFileA(readme.c_str());
        if (c.folderInItsPlace) {
            ASSERT_TRUE(CreateDirectoryA(readme.c_str(), nullptr));
        }
        if (c.longPath) {
            const std::string folder = FolderReaching(program.folder().path(), MAX_PATH);
            // Renamed, so that the program's own path stays short enough to start.
            for (const char* file : {"readme.txt", "cardwyn32.dll", "plinth.dll"})
                ASSERT_TRUE(CopyInto(program.folder().file(file), folder)) << file;
            ASSERT_TRUE(CopyInto(program.folder().file("keyprep.exe"), folder, "kp.exe"));
            program.runInstalled(folder, "kp.exe");
            program.startFrom(program.folder().path());
        }
        program.start();
        const SeenWindow main = program.mainDialog();
        PostMessageA(main.window, WM_COMMAND, IDC_MAIN_HELP, 0);
        const SeenWindow box = program.answer(c.text, IDOK);
        EXPECT_EQ(main.window, box.owner);
        EXPECT_NE("", box.icon);
        PostMessageA(main.window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(program.ended());
    }
}
