#pragma once
#include <windows.h>

// The program from start-up to shutdown: libraries, caption, command line, main dialog.
// `commandLine` is split in place. The result is the process exit code: 0 for an interactive
// start, and how the work ended for a command-line start (see ExitCode).
int RunProgram(HINSTANCE instance, char* commandLine);

// Binds the key library; on failure says so with the error icon and no owner, keeping the
// loader's last error.
bool LoadKeyLibrary(HMODULE* library);

// Shown for an operation word that is none of "format", "unformat" and "series"; not
// translated.
inline constexpr char kUsageText[] =
    "\nKey formatting utility\nUsage:\nkeyprep.exe format | unformat \"Reader Name\" [occupy_all]"
    "\nkeyprep.exe series [\"Reader Name\" [occupy_all | receipts.csv]]"
    "\nkeyprep.exe verify-receipts receipts.csv"
    "\nExit codes: 0 success, 1 failed, 2 cancelled, 3 no reader or Key, 4 credential rejected, 5 credential "
    "blocked, 6 usage, 7 not allowed by policy";
