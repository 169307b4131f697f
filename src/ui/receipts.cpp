#include "ui/receipts.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr char kHeader[] =
    "time,reader,card type,operation,outcome,error code,program version,key library version\r\n";

// The readers' names and the texts are in the system's code page; the file is UTF-8.
void AppendUtf8(char* line, size_t size, const char* text)
{
    wchar_t wide[1024];
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
    const size_t used = std::strlen(line);
    if (length <= 0 || used + 1 >= size)
        return;
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, line + used, static_cast<int>(size - used), nullptr, nullptr);
    line[size - 1] = '\0';
}

// A field in double quotes, its own quotes doubled, and the separator after it.
void AppendField(char* line, size_t size, const char* text, const char* separator = ",")
{
    char quoted[2048] = "\"";
    size_t at = 1;
    for (const char* p = text; *p != '\0' && at + 3 < sizeof quoted; ++p) {
        if (*p == '"')
            quoted[at++] = '"';
        quoted[at++] = *p;
    }
    quoted[at++] = '"';
    quoted[at] = '\0';
    AppendUtf8(line, size, quoted);
    std::strncat(line, separator, size - std::strlen(line) - 1);
}

// Local time in ISO 8601, with the offset from UTC that was in force.
void FormatNow(char* text, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    const LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
    const LONG offset = -bias;
    std::snprintf(text, size, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
                  (offset < 0 ? -offset : offset) % 60);
}

bool DefaultPath(char (&path)[MAX_PATH])
{
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path)))
        return false;
    for (const char* folder : {"\\Veltrax", "\\keyprep"}) {
        if (std::strlen(path) + std::strlen(folder) >= MAX_PATH)
            return false;
        std::strcat(path, folder);
        CreateDirectoryA(path, nullptr);
    }
    if (std::strlen(path) + sizeof "\\receipts.csv" > MAX_PATH)
        return false;
    std::strcat(path, "\\receipts.csv");
    return true;
}

void WriteLine(Receipts& receipts, const char* line)
{
    DWORD written = 0;
    WriteFile(receipts.file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    FlushFileBuffers(receipts.file);
}

} // namespace

bool OpenReceipts(Receipts& receipts, const char* path, const char* programVersion, const char* keyLibraryVersion)
{
    receipts.path[0] = '\0';
    if (path != nullptr)
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
    else if (!DefaultPath(receipts.path))
        return false;
    receipts.file = CreateFileA(receipts.path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (receipts.file == INVALID_HANDLE_VALUE)
        return false;
    std::snprintf(receipts.programVersion, sizeof receipts.programVersion, "%s", programVersion);
    std::snprintf(receipts.keyLibraryVersion, sizeof receipts.keyLibraryVersion, "%s", keyLibraryVersion);
    if (GetFileSize(receipts.file, nullptr) == 0)
        WriteLine(receipts, kHeader);
    return true;
}

void WriteReceipt(Receipts& receipts, const char* reader, int cardType, const char* outcome, DWORD error)
{
    char time[40];
    char type[16];
    char code[16] = "";
    FormatNow(time, sizeof time);
    std::snprintf(type, sizeof type, "%d", cardType);
    if (error != 0)
        std::snprintf(code, sizeof code, "0x%08lX", error);
    char line[4096] = "";
    const char* const fields[] = {time, reader, type, "format", outcome, code, receipts.programVersion};
    for (const char* field : fields)
        AppendField(line, sizeof line, field);
    AppendField(line, sizeof line, receipts.keyLibraryVersion, "\r\n");
    WriteLine(receipts, line);
}

void CloseReceipts(Receipts& receipts)
{
    if (receipts.file != nullptr && receipts.file != INVALID_HANDLE_VALUE)
        CloseHandle(receipts.file);
    receipts.file = nullptr;
}

void ShowReceipts(HWND owner, const Receipts& receipts)
{
    // Without a program for CSV files, Notepad shows it.
    if (reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", receipts.path, nullptr, "", SW_SHOWNORMAL)) <= 32)
        ShellExecuteA(owner, "open", "notepad.exe", receipts.path, "", SW_SHOWNORMAL);
}
