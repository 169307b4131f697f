#include "common/library_binding.h"

bool LoadAndBind(const char* file, HMODULE* library, bool (*bindEntryPoints)(HMODULE),
                 void (*clearEntryPoints)())
{
    *library = LoadLibraryA(file);
    if (*library == nullptr)
        return false;
    if (bindEntryPoints(*library))
        return true;

    const DWORD error = GetLastError();
    FreeLibrary(*library);
    *library = nullptr;
    clearEntryPoints();
    SetLastError(error);
    return false;
}
