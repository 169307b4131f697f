#include "ui/help.h"

#include "common/library_binding.h"
#include "res/resource.h"
#include "text/message_box.h"

#include <shellapi.h>

namespace {

constexpr char kHelpFile[] = "readme.txt";

} // namespace

bool OpenFileInProgramFolder(HWND owner, const char* fileName)
{
    char path[MAX_PATH];
    if (!PathInProgramFolder(fileName, path))
        return false;
    // A folder of that name would open in the shell as if it were the help.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, "open", path, nullptr, "", SW_SHOWNORMAL));
    return result > 32;
}

void ShowHelp(HWND owner)
{
    if (OpenFileInProgramFolder(owner, kHelpFile))
        return;
    // Say why, so that the user knows what to mend: a folder path too long for the file's
    // name is no missing file, and copying the file there again would not help.
    char path[MAX_PATH];
    if (!PathInProgramFolder(kHelpFile, path)) {
        ShowMessage(owner, IDS_HELP_FAILED, MB_ICONERROR);
        return;
    }
    const DWORD attributes = GetFileAttributesA(path);
    const bool missing = attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ShowMessage(owner, missing ? IDS_HELP_FILE_MISSING : IDS_HELP_FAILED, MB_ICONERROR);
}
