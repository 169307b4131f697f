#pragma once
#include <windows.h>

// Opens "readme.txt" from the program's folder; tells the user when that fails.
void ShowHelp(HWND owner);

// Opens `fileName` from the running executable's folder with the shell's "open" verb.
bool OpenFileInProgramFolder(HWND owner, const char* fileName);
