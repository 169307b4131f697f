#include "common/library_binding.h"

#include "common/proc_cast.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
using AddDllDirectoryFn = void*(WINAPI*)(const wchar_t* folder);

constexpr DWORD kSearchAppSystemAndUserFolders =
    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS;

// "C:\..." or "\\server\share\...": a relative PATH entry would be relative to the current
// folder, which is exactly what must not be searched.
bool IsAbsoluteFolder(const wchar_t* folder)
{
    const wchar_t drive = folder[0] | 0x20;
    return (drive >= L'a' && drive <= L'z' && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
           (folder[0] == L'\\' && folder[1] == L'\\');
}

// Keeps the folders on PATH in the search, where a maker's installer may have put its
// libraries; SetDefaultDllDirectories alone would drop them.
void AddPathFolders(AddDllDirectoryFn addDllDirectory)
{
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    auto* path = size != 0 ? static_cast<wchar_t*>(std::calloc(size, sizeof(wchar_t))) : nullptr;
    if (path == nullptr)
        return;
    if (GetEnvironmentVariableW(L"PATH", path, size) >= size)
        path[0] = L'\0';
    for (wchar_t* folder = path; *folder != L'\0';) {
        wchar_t* end = std::wcschr(folder, L';');
        const bool last = end == nullptr;
        if (!last)
            *end = L'\0';
        if (IsAbsoluteFolder(folder))
            addDllDirectory(folder);
        if (last)
            break;
        folder = end + 1;
    }
    std::free(path);
}

} // namespace

void RestrictLibrarySearch()
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    auto setDefaultDllDirectories = ProcAs<SetDefaultDllDirectoriesFn>(kernel32, "SetDefaultDllDirectories");
    auto addDllDirectory = ProcAs<AddDllDirectoryFn>(kernel32, "AddDllDirectory");
    if (setDefaultDllDirectories != nullptr && addDllDirectory != nullptr &&
        setDefaultDllDirectories(kSearchAppSystemAndUserFolders)) {
        AddPathFolders(addDllDirectory);
        return;
    }
    // Older systems: the best they offer is to take the current folder out of the search.
    SetDllDirectoryA("");
}

bool PathInProgramFolder(const char* file, char (&path)[MAX_PATH])
{
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    char* lastBackslash = std::strrchr(path, '\\');
    char* folderEnd = lastBackslash != nullptr ? lastBackslash + 1 : path;
    if (static_cast<size_t>(folderEnd - path) + std::strlen(file) >= MAX_PATH)
        return false;
    std::strcpy(folderEnd, file);
    return true;
}

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
