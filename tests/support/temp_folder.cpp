#include "support/temp_folder.h"

#include "support/test_paths.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <filesystem>

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

// With the \\?\ prefix, paths of MAX_PATH characters or more go too.
TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all("\\\\?\\" + path_, ignored);
}

std::string TempFolder::file(const std::string& name) const { return JoinPath(path_, name); }
