// Loading a run-time library and binding its entry points, all or nothing.
#pragma once
#include <windows.h>

// Loads `file` by the platform's normal search and runs `bindEntryPoints` on it. When that
// fails, the library is freed, `clearEntryPoints` runs and the handle is null again; the
// last error is the failed step's, kept across the clean-up.
bool LoadAndBind(const char* file, HMODULE* library, bool (*bindEntryPoints)(HMODULE),
                 void (*clearEntryPoints)());
