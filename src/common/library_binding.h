// Loading run-time libraries: from where, and binding their entry points all or nothing.
#pragma once
#include "common/fault_guard.h"
#include "common/proc_cast.h"

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

// Loads `file` with LoadMakerLibrary and fills `table` with `lookUp`, all or nothing: when an
// entry point is missing, the library is freed, the table cleared and the handle null again.
// The last error is the failed step's, kept across the clean-up. `guard` learns the module.
template <typename Table>
bool LoadAndBind(const char* file, HMODULE* library, Table& table, bool (*lookUp)(HMODULE, Table&),
                 GuardedLibrary& guard)
{
    *library = LoadMakerLibrary(file);
    if (*library == nullptr)
        return false;
    if (lookUp(*library, table)) {
        guard.setModule(*library);
        return true;
    }
    const DWORD error = GetLastError();
    FreeLibrary(*library);
    *library = nullptr;
    table = Table{};
    SetLastError(error);
    return false;
}

// Defines `bool function(HMODULE, Table&)`, which looks up every entry point of the X-macro
// list `LIST` (X(name, type) per entry) into the table; false at the first one missing.
#define DEFINE_ENTRY_POINT_LOOKUP(function, Table, LIST) \
    bool function(HMODULE library, Table& table)         \
    {                                                    \
        LIST(LOOK_UP_ENTRY_POINT)                        \
        return true;                                     \
    }
#define LOOK_UP_ENTRY_POINT(name, type)                          \
    if ((table.name = ProcAs<type>(library, #name)) == nullptr) \
        return false;
