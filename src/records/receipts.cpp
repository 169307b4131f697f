#include "records/receipts.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kHeader[] = "time,key,reader,card type,card type name,operation,clear all,result,message,error code,"
                           "program version,key library version\r\n";
constexpr size_t kLineSize = 8192;
constexpr int kFieldSize = 2048;

// A spreadsheet takes a field that begins with one of these for a formula: such a field
// gets a leading apostrophe, which shows it as text.
bool LooksLikeFormula(const char* text)
{
    return text[0] != '\0' && std::strchr("=+-@\t\r", text[0]) != nullptr;
}

// The field in UTF-8 (the readers' names and the texts are in the system's code page), in
// double quotes with its own quotes doubled, and the separator after it. A field that does
// not fit is cut.
void AppendField(char* line, const char* text, const char* separator = ",")
{
    wchar_t wide[kFieldSize];
    char utf8[kFieldSize * 3];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kFieldSize) <= 0)
        wide[0] = L'\0';
    wide[kFieldSize - 1] = L'\0';
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) <= 0)
        utf8[0] = '\0';
    size_t at = std::strlen(line);
    const auto put = [&](char c) {
        if (at + 1 < kLineSize)
            line[at++] = c;
    };
    put('"');
    if (LooksLikeFormula(utf8))
        put('\'');
    for (const char* p = utf8; *p != '\0'; ++p) {
        if (*p == '"')
            put('"');
        put(*p);
    }
    put('"');
    for (const char* p = separator; *p != '\0'; ++p)
        put(*p);
    line[at] = '\0';
}

// Local time in ISO 8601, with the offset from UTC that was in force.
void FormatNow(char* text, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = GetTimeZoneInformation(&zone);
    const LONG bias = zone.Bias + (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : kind == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
    const LONG offset = bias < 0 ? -bias : bias;
    std::snprintf(text, size, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, bias > 0 ? '-' : '+', offset / 60, offset % 60);
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

// All of `text` on the disk, or false with the reason.
bool WriteThrough(Receipts& receipts, const char* text)
{
    const auto length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    if (!WriteFile(receipts.file, text, length, &written, nullptr) || !FlushFileBuffers(receipts.file)) {
        receipts.error = GetLastError();
        return false;
    }
    if (written != length) {
        receipts.error = ERROR_DISK_FULL;
        return false;
    }
    return true;
}

} // namespace

bool OpenReceipts(Receipts& receipts, const char* path, const char* programVersion, const char* keyLibraryVersion)
{
    receipts.path[0] = '\0';
    receipts.error = 0;
    receipts.file = nullptr;
    if (path != nullptr && std::strlen(path) >= sizeof receipts.path) {
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
        receipts.error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (path != nullptr)
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
    else if (!DefaultPath(receipts.path)) {
        receipts.error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    receipts.file = CreateFileA(receipts.path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (receipts.file == INVALID_HANDLE_VALUE) {
        receipts.error = GetLastError();
        receipts.file = nullptr;
        return false;
    }
    std::snprintf(receipts.programVersion, sizeof receipts.programVersion, "%s", programVersion);
    std::snprintf(receipts.keyLibraryVersion, sizeof receipts.keyLibraryVersion, "%s", keyLibraryVersion);
    if (GetFileSize(receipts.file, nullptr) == 0 &&
        (!WriteThrough(receipts, kByteOrderMark) || !WriteThrough(receipts, kHeader))) {
        CloseReceipts(receipts);
        return false;
    }
    return true;
}

bool WriteReceipt(Receipts& receipts, const Receipt& receipt)
{
    if (receipts.file == nullptr) {
        receipts.error = ERROR_INVALID_HANDLE;
        return false;
    }
    char time[40];
    char number[16];
    char type[16];
    char code[16] = "";
    FormatNow(time, sizeof time);
    std::snprintf(number, sizeof number, "%d", receipt.keyNumber);
    std::snprintf(type, sizeof type, "%d", receipt.cardType);
    if (receipt.error != 0)
        std::snprintf(code, sizeof code, "0x%08lX", receipt.error);
    static char line[kLineSize];
    line[0] = '\0';
    for (const char* field : {static_cast<const char*>(time), static_cast<const char*>(number), receipt.reader,
                              static_cast<const char*>(type), receipt.cardTypeName, receipt.operation,
                              receipt.clearAll ? "yes" : "no", receipt.result, receipt.message,
                              static_cast<const char*>(code), static_cast<const char*>(receipts.programVersion)})
        AppendField(line, field);
    AppendField(line, receipts.keyLibraryVersion, "\r\n");
    return WriteThrough(receipts, line);
}

void CloseReceipts(Receipts& receipts)
{
    if (receipts.file != nullptr)
        CloseHandle(receipts.file);
    receipts.file = nullptr;
}
