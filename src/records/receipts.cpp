#include "records/receipts.h"

#include "records/event_log.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
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

// `name` in the user's local application-data folder, Veltrax\keyprep, made when missing.
bool LocalPath(char (&path)[MAX_PATH], const char* name)
{
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path)))
        return false;
    for (const char* folder : {"\\Veltrax", "\\keyprep"}) {
        if (std::strlen(path) + std::strlen(folder) >= MAX_PATH)
            return false;
        std::strcat(path, folder);
        CreateDirectoryA(path, nullptr);
    }
    return std::snprintf(path + std::strlen(path), MAX_PATH - std::strlen(path), "\\%s", name) <
           static_cast<int>(MAX_PATH - std::strlen(path));
}

// This computer's receipts file in the administrator's folder.
bool SharePath(char (&path)[MAX_PATH], const char* folder)
{
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size))
        std::strcpy(computer, "computer");
    const size_t length = std::strlen(folder);
    const char* separator = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/') ? "" : "\\";
    return std::snprintf(path, MAX_PATH, "%s%s%s.csv", folder, separator, computer) < MAX_PATH;
}

// All of `text` on the disk through `file`, or false with the reason in `*error`.
bool WriteThrough(HANDLE file, const char* text, size_t length, DWORD* error)
{
    DWORD written = 0;
    if (!WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) || !FlushFileBuffers(file)) {
        *error = GetLastError();
        return false;
    }
    if (written != length) {
        *error = ERROR_DISK_FULL;
        return false;
    }
    return true;
}

// A receipts file that is new, or empty, starts with the byte-order mark and the header.
bool StartIfEmpty(HANDLE file, DWORD* error)
{
    return GetFileSize(file, nullptr) != 0 ||
           (WriteThrough(file, kByteOrderMark, sizeof kByteOrderMark - 1, error) &&
            WriteThrough(file, kHeader, sizeof kHeader - 1, error));
}

// Opens a file to add to; null with the reason in `*error`. Reading too, for the lines that
// an interrupted move has put there already.
HANDLE OpenForAppending(const char* path, DWORD* error)
{
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        return file;
    *error = GetLastError();
    return nullptr;
}

// A whole small file in memory, with a terminator; null when it is missing or empty.
char* ReadWhole(HANDLE file, DWORD from)
{
    const DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE || size <= from || SetFilePointer(file, static_cast<LONG>(from), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return nullptr;
    char* text = static_cast<char*>(std::malloc(size - from + 1));
    DWORD read = 0;
    if (text != nullptr && !ReadFile(file, text, size - from, &read, nullptr))
        read = 0;
    if (text != nullptr)
        text[read] = '\0';
    return text;
}

char* ReadWhole(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    char* text = ReadWhole(file, 0);
    CloseHandle(file);
    return text;
}

// Where the share's file ended when a move began: written before the first line goes, gone
// when the move is done. Found at the next move, it means the last one was cut off: the
// queued lines that reached the share since then are not moved again.
void MarkPath(const Receipts& receipts, char (&path)[MAX_PATH])
{
    std::snprintf(path, sizeof path, "%s.moving", receipts.queuePath);
}

bool ReadMark(const char* path, DWORD* offset)
{
    char* text = ReadWhole(path);
    const bool found = text != nullptr;
    if (found)
        *offset = std::strtoul(text, nullptr, 10);
    std::free(text);
    return found;
}

bool WriteMark(const char* path, DWORD offset, DWORD* error)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%lu", offset);
    const bool written = WriteThrough(file, text, static_cast<size_t>(length), error);
    CloseHandle(file);
    return written;
}

// Appends the queued lines that are not on the share yet to `share`, in their order.
bool AppendQueued(HANDLE share, const char* queue, const char* alreadyThere, DWORD* error)
{
    for (const char* line = queue; *line != '\0';) {
        const char* end = std::strstr(line, "\r\n");
        const size_t length = end != nullptr ? static_cast<size_t>(end - line) + 2 : std::strlen(line);
        char* copy = static_cast<char*>(std::malloc(length + 1));
        if (copy == nullptr)
            return false;
        std::memcpy(copy, line, length);
        copy[length] = '\0';
        const bool there = alreadyThere != nullptr && std::strstr(alreadyThere, copy) != nullptr;
        const bool written = there || WriteThrough(share, copy, length, error);
        std::free(copy);
        if (!written)
            return false;
        line += length;
    }
    return true;
}

// The queue is moved and added to by one thread of one program at a time: a line added while
// another one moves would be deleted with the queue unmoved.
class QueueLock {
public:
    QueueLock() : mutex_(CreateMutexA(nullptr, FALSE, "Local\\keyprep-receipts-queue"))
    {
        if (mutex_ != nullptr)
            WaitForSingleObject(mutex_, INFINITE);
    }
    ~QueueLock()
    {
        if (mutex_ != nullptr) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;

private:
    HANDLE mutex_;
};

// Moves the queued lines to the share, exactly once: a mark records where the share's file
// ended before the first line goes, and a move that was cut off skips what it already wrote.
bool MoveQueued(Receipts& receipts)
{
    const QueueLock lock;
    char* queue = ReadWhole(receipts.queuePath);
    char mark[MAX_PATH];
    MarkPath(receipts, mark);
    receipts.queued = queue != nullptr;
    HANDLE share = queue != nullptr ? OpenForAppending(receipts.path, &receipts.error) : nullptr;
    DWORD offset = 0;
    bool moved = queue == nullptr;
    if (share != nullptr && StartIfEmpty(share, &receipts.error)) {
        const bool resumed = ReadMark(mark, &offset);
        if (resumed || WriteMark(mark, offset = GetFileSize(share, nullptr), &receipts.error)) {
            char* alreadyThere = resumed ? ReadWhole(share, offset) : nullptr;
            moved = AppendQueued(share, queue, alreadyThere, &receipts.error);
            std::free(alreadyThere);
        }
    }
    if (share != nullptr)
        CloseHandle(share);
    std::free(queue);
    if (moved && receipts.queued)
        LogReceiptsDelivered(receipts.path, receipts.queuePath);
    if (moved) {
        DeleteFileA(receipts.queuePath);
        DeleteFileA(mark);
        receipts.queued = false;
    }
    return moved;
}

// One line to a file opened for it alone: a share that went away takes no handle with it.
bool AppendTo(const char* path, const char* line, bool asReceiptsFile, DWORD* error)
{
    HANDLE file = OpenForAppending(path, error);
    if (file == nullptr)
        return false;
    const bool written = (!asReceiptsFile || StartIfEmpty(file, error)) && WriteThrough(file, line, std::strlen(line), error);
    CloseHandle(file);
    return written;
}

bool WriteToShare(Receipts& receipts, const char* line)
{
    const QueueLock lock;
    if (MoveQueued(receipts) && AppendTo(receipts.path, line, true, &receipts.error))
        return true;
    if (!receipts.queued)
        LogReceiptsWaiting(receipts.path, receipts.queuePath, receipts.error);
    receipts.queued = true;
    return AppendTo(receipts.queuePath, line, false, &receipts.error);
}

bool SetShareAndQueue(Receipts& receipts, const char* shareFolder)
{
    return SharePath(receipts.path, shareFolder) && LocalPath(receipts.queuePath, "receipts-queue.csv");
}

DWORD WINAPI MoveQueuedAtStart(LPVOID parameter)
{
    static Receipts receipts;
    if (SetShareAndQueue(receipts, static_cast<const char*>(parameter)))
        MoveQueued(receipts);
    return 0;
}

} // namespace

void StartMovingQueuedReceipts(const char* shareFolder)
{
    HANDLE thread = CreateThread(nullptr, 0, MoveQueuedAtStart, const_cast<char*>(shareFolder), 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
}

bool OpenReceipts(Receipts& receipts, const char* path, const char* shareFolder, const char* programVersion,
                  const char* keyLibraryVersion)
{
    receipts.path[0] = receipts.queuePath[0] = '\0';
    receipts.error = 0;
    receipts.file = nullptr;
    receipts.queued = false;
    std::snprintf(receipts.programVersion, sizeof receipts.programVersion, "%s", programVersion);
    std::snprintf(receipts.keyLibraryVersion, sizeof receipts.keyLibraryVersion, "%s", keyLibraryVersion);
    if (shareFolder != nullptr) {
        if (!SetShareAndQueue(receipts, shareFolder)) {
            receipts.error = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        MoveQueued(receipts);
        return true;
    }
    if (path != nullptr && std::strlen(path) >= sizeof receipts.path) {
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
        receipts.error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (path != nullptr)
        std::snprintf(receipts.path, sizeof receipts.path, "%s", path);
    else if (!LocalPath(receipts.path, "receipts.csv")) {
        receipts.error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    receipts.file = OpenForAppending(receipts.path, &receipts.error);
    if (receipts.file != nullptr && StartIfEmpty(receipts.file, &receipts.error))
        return true;
    CloseReceipts(receipts);
    return false;
}

bool WriteReceipt(Receipts& receipts, const Receipt& receipt)
{
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
    if (receipts.queuePath[0] != '\0')
        return WriteToShare(receipts, line);
    if (receipts.file == nullptr) {
        receipts.error = ERROR_INVALID_HANDLE;
        return false;
    }
    return WriteThrough(receipts.file, line, std::strlen(line), &receipts.error);
}

void CloseReceipts(Receipts& receipts)
{
    if (receipts.file != nullptr)
        CloseHandle(receipts.file);
    receipts.file = nullptr;
    if (receipts.queuePath[0] != '\0')
        MoveQueued(receipts);
}
