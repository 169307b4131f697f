#include "support/temp_folder.h"

#include "support/test_paths.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

// Wide and with the \\?\ prefix, so that paths of MAX_PATH characters or more go too.
void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

TempFolder::TempFolder()
{
    static std::atomic<int> counter{0};
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    char name[64];
    for (;;) {
        std::snprintf(name, sizeof name, "keyprep-test-%lu-%lu-%d", GetCurrentProcessId(),
                      GetTickCount(), counter++);
        path_ = JoinPath(base, name);
        if (CreateDirectoryA(path_.c_str(), nullptr))
            break;
    }
}

TempFolder::~TempFolder()
{
    std::wstring wide(path_.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, path_.data(), static_cast<int>(path_.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    RemoveTree(L"\\\\?\\" + wide);
}

std::string TempFolder::file(const std::string& name) const { return JoinPath(path_, name); }
