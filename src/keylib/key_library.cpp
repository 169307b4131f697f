#include "keylib/key_library.h"

#include "app/app_context.h"
#include "common/proc_cast.h"
#include "res/resource.h"
#include "text/text.h"

KeyLibrary g_keyLib;

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

} // namespace

bool BindKeyLibrary(HMODULE* library)
{
    *library = LoadLibraryA(kKeyLibraryFile);
    if (*library == nullptr)
        return false;
    if (BindEntryPoints(*library))
        return true;

    const DWORD error = GetLastError();
    FreeLibrary(*library);
    *library = nullptr;
    g_keyLib = KeyLibrary{};
    SetLastError(error);
    return false;
}

bool LoadKeyLibrary(HMODULE* library, const char* caption, HWND owner)
{
    if (BindKeyLibrary(library))
        return true;
    const DWORD error = GetLastError();
    MessageBoxA(owner, FormatTextArg(IDS_LOAD_FAILED, kKeyLibraryFile), caption, MB_ICONERROR);
    SetLastError(error);
    return false;
}
