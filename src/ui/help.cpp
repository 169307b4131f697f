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
    // Say why when the file is not there: that is what the user can mend.
    char path[MAX_PATH];
    const DWORD attributes = PathInProgramFolder(kHelpFile, path) ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    const bool missing = attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ShowMessage(owner, missing ? IDS_HELP_FILE_MISSING : IDS_HELP_FAILED, MB_ICONERROR);
}
