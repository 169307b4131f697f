#include "common/library_binding.h"

#include "common/proc_cast.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);

// Set once the process searches only the program's folder and System32 by default.
bool g_searchRestricted = false;

// "C:\..." or "\\server\share\...": a relative PATH entry would be relative to the current
// folder, which is exactly what must not be searched.
bool IsAbsoluteFolder(const wchar_t* folder)
{
    const wchar_t drive = folder[0] | 0x20;
    return (drive >= L'a' && drive <= L'z' && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
           (folder[0] == L'\\' && folder[1] == L'\\');
}

// The full path of the first copy of `file` in an absolute folder on PATH.
bool FindOnPath(const char* file, wchar_t (&found)[MAX_PATH])
{
    wchar_t name[MAX_PATH];
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    auto* path = size != 0 ? static_cast<wchar_t*>(std::calloc(size, sizeof(wchar_t))) : nullptr;
    if (path == nullptr || MultiByteToWideChar(CP_ACP, 0, file, -1, name, MAX_PATH) == 0 ||
        GetEnvironmentVariableW(L"PATH", path, size) >= size) {
        std::free(path);
        return false;
    }
    bool seen = false;
    for (wchar_t* folder = path; folder != nullptr && !seen;) {
        wchar_t* end = std::wcschr(folder, L';');
        if (end != nullptr)
            *end = L'\0';
        if (IsAbsoluteFolder(folder) && std::wcslen(folder) + 1 + std::wcslen(name) < MAX_PATH) {
            std::wcscpy(found, folder);
            std::wcscat(found, L"\\");
            std::wcscat(found, name);
            seen = GetFileAttributesW(found) != INVALID_FILE_ATTRIBUTES;
        }
        folder = end != nullptr ? end + 1 : nullptr;
    }
    std::free(path);
    return seen;
}

} // namespace

void RestrictLibrarySearch()
{
    auto setDefaultDllDirectories =
        ProcAs<SetDefaultDllDirectoriesFn>(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        g_searchRestricted = true;
        return;
    }
    // Older systems: the current folder goes out of the default search; the maker's libraries
    // are loaded by full path only.
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

namespace {

// The full path of `file` in the folder `folder` (without its final backslash), when it is there.
bool FileIn(const char* folder, const char* file, char (&path)[MAX_PATH])
{
    if (std::strlen(folder) + 1 + std::strlen(file) >= MAX_PATH)
        return false;
    std::strcpy(path, folder);
    std::strcat(path, "\\");
    std::strcat(path, file);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Where the system offers no restricted search, a plain name would also find a copy in the
// current folder or in a relative PATH entry: only full paths are loaded then.
HMODULE LoadByFullPath(const char* file)
{
    constexpr DWORD kFlags = LOAD_WITH_ALTERED_SEARCH_PATH;
    char path[MAX_PATH];
    char system[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryA(system, MAX_PATH);
    if ((PathInProgramFolder(file, path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) ||
        (systemLength > 0 && systemLength < MAX_PATH && FileIn(system, file, path)))
        return LoadLibraryExA(path, nullptr, kFlags);
    wchar_t copy[MAX_PATH];
    if (FindOnPath(file, copy))
        return LoadLibraryExW(copy, nullptr, kFlags);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

} // namespace

HMODULE LoadMakerLibrary(const char* file)
{
    if (!g_searchRestricted)
        return LoadByFullPath(file);
    HMODULE library = LoadLibraryA(file);
    if (library != nullptr)
        return library;
    const DWORD notFound = GetLastError();
    wchar_t copy[MAX_PATH];
    if (!FindOnPath(file, copy)) {
        SetLastError(notFound);
        return nullptr;
    }
    return LoadLibraryExW(copy, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}
