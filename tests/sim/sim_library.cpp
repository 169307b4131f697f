#include "sim_library.h"

#include "support/test_paths.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {

const char* const kEnvironment[] = {"CARDWYN_SIM", "CARDWYN_SIM_LOG", "CARDWYN_SIM_LOG_SECRETS", "CARDWYN_SIM_TIMES"};

template <typename Function>
Function Bind(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

Credential TextCredential(const std::string& text)
{
    Credential buffer{};
    std::copy(text.begin(), text.end(), buffer.begin());
    return buffer;
}

Credential HexCredential(const std::string& hex)
{
    Credential buffer{};
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        buffer[i / 2] = static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16));
    return buffer;
}

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

void SimLibraryTest::TearDown()
{
    Unload();
    for (const char* name : kEnvironment)
        SetEnvironmentVariableA(name, nullptr);
}

void SimLibraryTest::WriteKeySet(const std::string& text)
{
    WriteWholeFile(KeySetPath(), text);
    SetEnvironmentVariableA("CARDWYN_SIM", KeySetPath().c_str());
}

void SimLibraryTest::Load(bool log)
{
    if (GetFileAttributesA(DllPath().c_str()) == INVALID_FILE_ATTRIBUTES) {
        ASSERT_TRUE(CopyInto(JoinPath(BinDir(), "cardwyn32.dll"), folder_.path())) << "copy of cardwyn32.dll";
    }
    SetEnvironmentVariableA("CARDWYN_SIM_LOG", log ? LogPath().c_str() : nullptr);
    module_ = LoadLibraryA(DllPath().c_str());
    ASSERT_NE(nullptr, module_) << "LoadLibrary " << DllPath() << " error " << GetLastError();
    EnumReaders = Bind<EnumReadersFn>(module_, "EnumReaders");
    GetReaderType = Bind<GetReaderTypeFn>(module_, "GetReaderType");
    InitReader = Bind<InitReaderFn>(module_, "InitReader");
    InitCard = Bind<InitCardFn>(module_, "InitCard");
    GetCardType = Bind<GetCardTypeFn>(module_, "GetCardType");
    CloseReader = Bind<CloseReaderFn>(module_, "CloseReader");
    UnformatCard = Bind<UnformatCardFn>(module_, "UnformatCard");
    FormatCard = Bind<FormatCardFn>(module_, "FormatCard");
    ASSERT_TRUE(EnumReaders && GetReaderType && InitReader && InitCard && GetCardType && CloseReader &&
                UnformatCard && FormatCard);
}

void SimLibraryTest::Unload()
{
    if (module_)
        FreeLibrary(module_);
    module_ = nullptr;
}

void SimLibraryTest::Reload()
{
    Unload();
    Load();
}

int SimLibraryTest::Open(const char* reader, int* status)
{
    const int handle = InitReader(reader);
    if (handle != kNoHandle) {
        const int initStatus = InitCard(handle, 0);
        if (status)
            *status = initStatus;
    }
    return handle;
}

int SimLibraryTest::StatusOf(const char* reader)
{
    int status = kNoHandle;
    const int handle = Open(reader, &status);
    if (handle != kNoHandle)
        CloseReader(handle);
    return status;
}

std::string SimLibraryTest::Saved(const std::string& section, const std::string& name) const
{
    return SavedFrom(KeySetPath(), section, name);
}

// Read from the bytes on disk, not through the profile functions, so that the test does not
// share the library's view of the file.
std::string SimLibraryTest::SavedFrom(const std::string& path, const std::string& section,
                                      const std::string& name) const
{
    std::istringstream lines(ReadWholeFile(path));
    std::string line;
    bool inSection = false;
    while (std::getline(lines, line)) {
        line = Trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            inSection = _stricmp(line.c_str(), ("[" + section + "]").c_str()) == 0;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || _stricmp(Trimmed(line.substr(0, equals)).c_str(), name.c_str()))
            continue;
        std::string value = Trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "(missing)";
}

std::vector<std::string> SimLibraryTest::LogLines() const
{
    std::istringstream text(ReadWholeFile(LogPath()));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t SimLibraryTest::LogCount(const std::string& text) const
{
    const std::vector<std::string> lines = LogLines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

std::vector<std::string> SimLibraryTest::FolderContent() const
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder_.file("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}
