// The maker's support library: bound whole at start-up, of which only the About box is used.
#pragma once
#include "common/fault_guard.h"

#include <windows.h>

// The About box as the support library offers it: fourteen arguments, WINAPI.
using AboutDialogFn = int(WINAPI*)(HINSTANCE executable, HMODULE languageModule, HWND owner,
                                   int iconId, const char* const* componentFiles,
                                   const char* title, int reserved1, const char* webHost,
                                   const char* supportEmail, int bitmapId, int reserved2,
                                   int reserved3, const char* company, int reserved4);

// The other entry points are bound only; their signatures never matter here.
using UnusedSupportFn = int(WINAPI*)();

#define SUPPORT_LIBRARY_ENTRY_POINTS(X) \
    X(AboutDialog, AboutDialogFn)       \
    X(DeleteConfigKey, UnusedSupportFn) \
    X(ReadConfigKey, UnusedSupportFn)   \
    X(WriteConfigKey, UnusedSupportFn)  \
    X(CheckForUpdates, UnusedSupportFn) \
    X(Associate, UnusedSupportFn)       \
    X(SetRegistryKey, UnusedSupportFn)  \
    X(UnAssociate, UnusedSupportFn)

struct SupportLibrary {
#define DECLARE_ENTRY_POINT(name, type) type name;
    SUPPORT_LIBRARY_ENTRY_POINTS(DECLARE_ENTRY_POINT)
#undef DECLARE_ENTRY_POINT
};

extern SupportLibrary g_supportLib;

// The About call goes through here.
extern GuardedLibrary g_supportLibGuard;

// Key library, language library, support library, executable, then two empty entries.
extern const char* const kComponentFiles[6];

// Loads "plinth.dll" and binds every entry point. On false nothing stays loaded or bound,
// and the last error is the failed step's.
bool BindSupportLibrary(HMODULE* library);

int ShowAbout(HINSTANCE executable, HMODULE languageModule, HWND owner, int iconId,
              const char* const* componentFiles, const char* title, int reserved1,
              const char* webHost, const char* supportEmail, int bitmapId, int reserved2,
              int reserved3, const char* company, int reserved4);
