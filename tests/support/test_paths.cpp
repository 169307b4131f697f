#include "support/test_paths.h"

#include <windows.h>

#include <fstream>
#include <sstream>

std::string BinDir() { return KEYPREP_BIN_DIR; }
std::string TestDllDir() { return KEYPREP_TEST_DLL_DIR; }
std::string SourceDir() { return KEYPREP_SOURCE_DIR; }

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

bool CopyInto(const std::string& file, const std::string& folder, const std::string& asName)
{
    std::string name = asName;
    if (name.empty())
        name = file.substr(file.find_last_of('\\') + 1);
    return CopyFileA(file.c_str(), JoinPath(folder, name).c_str(), FALSE) != 0;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string TestLibrary(const std::string& variant, const std::string& file)
{
    return JoinPath(JoinPath(TestDllDir(), variant), file);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
