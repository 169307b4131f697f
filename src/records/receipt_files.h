// The files behind the receipts: where they lie, whole writes that never leave part of a
// line behind, the tail that says where a file's chain stands, and the lock on the queue.
#pragma once
#include "records/receipt_line.h"

#include <windows.h>

// `name` in the user's local application-data folder, Veltrax\keyprep, made when missing.
bool LocalReceiptsPath(char (&path)[MAX_PATH], const char* name);
// This computer's receipts file in the administrator's folder.
bool ShareReceiptsPath(char (&path)[MAX_PATH], const char* folder);
// `path` with `suffix` after it; false when that is too long.
bool PathWithSuffix(char (&target)[MAX_PATH], const char* path, const char* suffix);

// Opened for reading and writing; null with the reason in `*error`. `shareMode` decides who
// else may have it open meanwhile.
HANDLE OpenReceiptsFile(const char* path, DWORD shareMode, DWORD creation, DWORD* error);
LONGLONG FileSizeOf(HANDLE file);
bool CutFileAt(HANDLE file, LONGLONG at);

// `text` at `at` in one write, then flushed. A write that fails or falls short (a full disk)
// is cut back to `at`, so that the file ends where its last whole line ended.
bool WriteWholeAt(HANDLE file, LONGLONG at, const char* text, size_t length, DWORD* error);
// Bytes [from, from + length) of the file in memory of their own (malloc); null on failure.
char* ReadFileRange(HANDLE file, LONGLONG from, size_t length);
// The last byte of the file, or '\n' for an empty one.
char LastByteOf(HANDLE file);
// Where the chain of the file's last whole receipt line stands; false when it has none.
bool ReadTailChain(HANDLE file, ReceiptChain& chain);

// Bytes that are no receipt, added to the file `path` for a person to look at; the caller
// ends each piece with a line end.
bool KeepAside(const char* path, const char* bytes, size_t length);

// A lock on one byte far beyond any data of the file, so that it holds back other lockers of
// that byte only, across threads, programs and sessions. Waits at most `milliseconds`, and
// gives up early when `stop` is set.
class FileLock {
public:
    FileLock(HANDLE file, DWORD offset, DWORD milliseconds, HANDLE stop = nullptr);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return held_; }

private:
    HANDLE file_;
    DWORD offset_;
    bool held_;
};

// The queue's two locks: adding a line (held for microseconds), and moving (held for a move).
constexpr DWORD kQueueAddLock = 0xFFFFFF00;
constexpr DWORD kQueueMoveLock = 0xFFFFFF01;
