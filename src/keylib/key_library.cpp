#include "keylib/key_library.h"

#include "app/app_context.h"
#include "common/library_binding.h"
#include "common/proc_cast.h"

KeyLibrary g_keyLib;
GuardedLibrary g_keyLibGuard;

namespace {

bool BindEntryPoints(HMODULE library)
{
#define BIND_ENTRY_POINT(name, type)                                 \
    if ((g_keyLib.name = ProcAs<type>(library, #name)) == nullptr) \
        return false;
    KEY_LIBRARY_ENTRY_POINTS(BIND_ENTRY_POINT)
#undef BIND_ENTRY_POINT
    return true;
}

void ClearEntryPoints() { g_keyLib = KeyLibrary{}; }

} // namespace

bool BindKeyLibrary(HMODULE* library)
{
    return LoadAndBind(kKeyLibraryFile, library, BindEntryPoints, ClearEntryPoints);
}
