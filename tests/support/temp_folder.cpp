#include "support/temp_folder.h"

#include "support/test_paths.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(folder, "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string full = JoinPath(folder, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
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

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::file(const std::string& name) const { return JoinPath(path_, name); }
