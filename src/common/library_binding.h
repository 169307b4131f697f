// Loading run-time libraries: from where, and binding their entry points all or nothing.
#pragma once
#include <windows.h>

// Limits the library search for the rest of the process to the program's folder, then
// System32, so that a library planted in the current folder or in a folder on PATH is never
// loaded by name, not even as a dependency of another library.
void RestrictLibrarySearch();

// The full path of `file` in the running executable's folder; false when it does not fit.
bool PathInProgramFolder(const char* file, char (&path)[MAX_PATH]);

// The maker's library `file`: from the program's folder or System32, else the first copy in
// an absolute folder on PATH, where a maker's installer may have put it.
HMODULE LoadMakerLibrary(const char* file);

// Loads `file` with LoadMakerLibrary and runs `bindEntryPoints` on it. When that
// fails, the library is freed, `clearEntryPoints` runs and the handle is null again; the
// last error is the failed step's, kept across the clean-up.
bool LoadAndBind(const char* file, HMODULE* library, bool (*bindEntryPoints)(HMODULE),
                 void (*clearEntryPoints)());
