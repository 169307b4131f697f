// Opens the support library stand-in's About box as keyprep.exe would, for looking at it:
//   standins_about_preview.exe [module]
// The module supplies the version record, icon 110 and bitmap 5006: by default keyprep.exe
// from the build when it is there, else the About box tests' host library.
#include "common/proc_cast.h"
#include "core/app_context.h"
#include "support/support_library.h"

#include <windows.h>

#include <string>

namespace {

HMODULE LoadHost(const char* commandLine)
{
    std::string module = commandLine;
    while (!module.empty() && (module.front() == ' ' || module.front() == '"'))
        module.erase(0, 1);
    while (!module.empty() && (module.back() == ' ' || module.back() == '"'))
        module.pop_back();
    if (!module.empty())
        return LoadLibraryA(module.c_str());
    if (HMODULE program = LoadLibraryA(KEYPREP_BIN_DIR "\\keyprep.exe"))
        return program;
    return LoadLibraryA(STANDINS_DLL_DIR "\\standins_about_host.dll");
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    HMODULE plinth = LoadLibraryA(KEYPREP_BIN_DIR "\\plinth.dll");
    HMODULE host = LoadHost(commandLine);
    if (plinth == nullptr || host == nullptr) {
        MessageBoxA(nullptr, "plinth.dll or the module with the About resources did not load.",
                    "About preview", MB_OK | MB_ICONERROR);
        return 1;
    }
    auto about = ProcAs<AboutDialogFn>(plinth, "AboutDialog");
    if (about == nullptr)
        return 1;
    // An owner titled like the program's main dialog, whose title the box takes. It is shown,
    // small and centred, so that the box covers it and becomes the active window as in the program.
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int width = 300;
    const int height = 150;
    HWND owner = CreateWindowExA(0, "Static", "Key formatting utility", WS_OVERLAPPEDWINDOW,
                                 (area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2,
                                 width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(owner, SW_SHOW);
    const char* const components[] = {kKeyLibraryFile, kLanguageLibraryFile, kSupportLibraryFile,
                                      kExecutableFile, nullptr, nullptr};
    const int result = about(host, host, owner, 110, components, nullptr, 0, kWebHost,
                             kSupportEmail, 5006, 255, 0, kCompanyWord, 1);
    DestroyWindow(owner);
    return result == IDOK ? 0 : 2;
}
