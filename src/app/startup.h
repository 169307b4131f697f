#pragma once
#include <windows.h>

// The program from start-up to shutdown: libraries, caption, command line, main dialog.
// `commandLine` is split in place. The result is the process exit code, always 0.
int RunProgram(HINSTANCE instance, char* commandLine);

// Binds the key library; on failure says so with the error icon and no owner, keeping the
// loader's last error.
bool LoadKeyLibrary(HMODULE* library);

// Shown for an operation word that is neither "format" nor "unformat"; not translated.
inline constexpr char kUsageText[] =
    "\nKey formatting utility\nUsage:\nkeyprep.exe format | unformat \"Reader Name\" [occupy_all]";
