// Loading run-time libraries: from where, and binding their entry points all or nothing.
#pragma once
#include <windows.h>

// Takes the current folder out of the library search for the rest of the process, so that
// a library planted where the program is started from is never loaded. The program's own
// folder, the system folders and the folders on PATH are still searched.
void RestrictLibrarySearch();

// The full path of `file` in the running executable's folder; false when it does not fit.
bool PathInProgramFolder(const char* file, char (&path)[MAX_PATH]);

// Loads `file` by the platform's normal search and runs `bindEntryPoints` on it. When that
// fails, the library is freed, `clearEntryPoints` runs and the handle is null again; the
// last error is the failed step's, kept across the clean-up.
bool LoadAndBind(const char* file, HMODULE* library, bool (*bindEntryPoints)(HMODULE),
                 void (*clearEntryPoints)());
