// Binding of the key library "cardwyn32.dll", the only way to readers and Keys.
#pragma once
#include "common/fault_guard.h"
#include "core/key_contract.h"

struct KeyLibrary {
#define DECLARE_ENTRY_POINT(name, type) type name;
    KEY_LIBRARY_ENTRY_POINTS(DECLARE_ENTRY_POINT)
#undef DECLARE_ENTRY_POINT
};

// Written once at start-up (tests fill it with scripted functions); read-only afterwards.
extern KeyLibrary g_keyLib;

// Every call into the key library goes through here, one call at a time.
extern GuardedLibrary g_keyLibGuard;

// Loads the key library and binds all 34 entry points. On false nothing stays loaded or
// bound, and the last error is that of the failed load or lookup.
bool BindKeyLibrary(HMODULE* library);
