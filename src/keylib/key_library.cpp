#include "keylib/key_library.h"

#include "common/library_binding.h"
#include "core/app_context.h"

KeyLibrary g_keyLib;
GuardedLibrary g_keyLibGuard;

namespace {

DEFINE_ENTRY_POINT_LOOKUP(LookUpEntryPoints, KeyLibrary, KEY_LIBRARY_ENTRY_POINTS)

} // namespace

bool BindKeyLibrary(HMODULE* library)
{
    return LoadAndBind(kKeyLibraryFile, library, g_keyLib, LookUpEntryPoints, g_keyLibGuard);
}
