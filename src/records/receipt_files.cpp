#include "records/receipt_files.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

// Enough for the last line of any receipts file.
constexpr size_t kTailSize = 2 * kReceiptLineSize;
constexpr DWORD kLockPollDelay = 5;

bool SeekTo(HANDLE file, LONGLONG at)
{
    LARGE_INTEGER position;
    position.QuadPart = at;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

} // namespace

bool LocalReceiptsPath(char (&path)[MAX_PATH], const char* name)
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

bool ShareReceiptsPath(char (&path)[MAX_PATH], const char* folder)
{
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size))
        std::strcpy(computer, "computer");
    const size_t length = std::strlen(folder);
    const char* separator = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/') ? "" : "\\";
    return std::snprintf(path, MAX_PATH, "%s%s%s.csv", folder, separator, computer) < MAX_PATH;
}

bool PathWithSuffix(char (&target)[MAX_PATH], const char* path, const char* suffix)
{
    return std::snprintf(target, MAX_PATH, "%s%s", path, suffix) < MAX_PATH;
}

HANDLE OpenReceiptsFile(const char* path, DWORD shareMode, DWORD creation, DWORD* error)
{
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, shareMode, nullptr, creation, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE)
        return file;
    *error = GetLastError();
    return nullptr;
}

LONGLONG FileSizeOf(HANDLE file)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

bool CutFileAt(HANDLE file, LONGLONG at) { return SeekTo(file, at) && SetEndOfFile(file) && FlushFileBuffers(file); }

bool WriteWholeAt(HANDLE file, LONGLONG at, const char* text, size_t length, DWORD* error)
{
    DWORD written = 0;
    const bool wrote = SeekTo(file, at) && WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    // A write cut short can report success with fewer bytes: the disk is full.
    DWORD reason = wrote ? ERROR_DISK_FULL : GetLastError();
    if (wrote && written == length) {
        if (FlushFileBuffers(file))
            return true;
        reason = GetLastError();
    }
    *error = reason;
    CutFileAt(file, at);
    SetLastError(reason);
    return false;
}

char* ReadFileRange(HANDLE file, LONGLONG from, size_t length)
{
    char* text = static_cast<char*>(std::malloc(length + 1));
    DWORD read = 0;
    if (text == nullptr || !SeekTo(file, from) ||
        (length > 0 && (!ReadFile(file, text, static_cast<DWORD>(length), &read, nullptr) || read != length))) {
        std::free(text);
        return nullptr;
    }
    text[length] = '\0';
    return text;
}

char LastByteOf(HANDLE file)
{
    const LONGLONG size = FileSizeOf(file);
    char* last = size > 0 ? ReadFileRange(file, size - 1, 1) : nullptr;
    const char byte = last != nullptr ? last[0] : '\n';
    std::free(last);
    return byte;
}

bool ReadTailChain(HANDLE file, ReceiptChain& chain)
{
    const LONGLONG size = FileSizeOf(file);
    const size_t length = size > static_cast<LONGLONG>(kTailSize) ? kTailSize : size > 0 ? static_cast<size_t>(size) : 0;
    char* tail = ReadFileRange(file, size - static_cast<LONGLONG>(length), length);
    const bool found = tail != nullptr && LastChainIn(tail, length, chain);
    std::free(tail);
    return found;
}

bool KeepAside(const char* path, const char* bytes, size_t length)
{
    DWORD error = 0;
    HANDLE file = OpenReceiptsFile(path, FILE_SHARE_READ, OPEN_ALWAYS, &error);
    if (file == nullptr)
        return false;
    const LONGLONG end = FileSizeOf(file);
    const bool kept = end >= 0 && WriteWholeAt(file, end, bytes, length, &error);
    CloseHandle(file);
    return kept;
}

FileLock::FileLock(HANDLE file, DWORD offset, DWORD milliseconds, HANDLE stop) : file_(file), offset_(offset), held_(false)
{
    const DWORD start = GetTickCount();
    for (;;) {
        OVERLAPPED at = {};
        at.Offset = offset;
        held_ = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
        if (held_ || GetTickCount() - start >= milliseconds ||
            (stop != nullptr && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0))
            return;
        Sleep(kLockPollDelay);
    }
}

FileLock::~FileLock()
{
    OVERLAPPED at = {};
    at.Offset = offset_;
    if (held_)
        UnlockFileEx(file_, 0, 1, 0, &at);
}
