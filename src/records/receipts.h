// The receipts of a series: one CSV line for every Key, written when the Key's attempt ends.
// UTF-8 with a byte-order mark, so that a spreadsheet reads the readers' names right; the
// header and the result words stay English for scripts, the message is in the user's language.
#pragma once
#include <windows.h>

constexpr int kReceiptVersionSize = 260;

struct Receipts {
    HANDLE file;          // the local receipts file, open while the series runs
    char path[MAX_PATH];  // where the receipts go: a local file, or this computer's file on a share
    // With a share: the local queue of the lines that have not reached it yet, in order.
    char queuePath[MAX_PATH];
    bool queued;          // lines wait in the queue
    DWORD error;          // why the last open or write failed
    char programVersion[kReceiptVersionSize];
    char keyLibraryVersion[kReceiptVersionSize];
};

// One Key's line. Never a credential.
struct Receipt {
    int keyNumber;            // the Key's place in the series, from 1
    const char* reader;
    int cardType;
    const char* cardTypeName; // English
    const char* operation;    // "format"
    bool clearAll;
    const char* result;       // success, failed, cancelled, rejected, blocked, removed, skipped
    const char* message;      // what the window said, in the user's language
    DWORD error;              // the key library's PC/SC code; 0 when none
};

// Opens `path` for appending, or receipts.csv in the user's local application-data folder
// (Veltrax\keyprep) when it is null; a new file starts with the byte-order mark and the
// header. False, with the path and the reason, when it cannot be written.
// With `shareFolder` (set by the administrator, often a share), the receipts go to
// <computer name>.csv there instead, so that no two computers write one file; a line that
// cannot reach it waits in a local queue (receipts-queue.csv beside the usual file) and
// moves there, in order and exactly once, at the next receipt, at the close or at the next
// open.
bool OpenReceipts(Receipts& receipts, const char* path, const char* shareFolder, const char* programVersion,
                  const char* keyLibraryVersion);
// Writes the line and flushes it to the disk, so that a crash of the program loses none.
// False, with the reason in `error`, when either failed (with a share: not even the queue took it).
bool WriteReceipt(Receipts& receipts, const Receipt& receipt);
void CloseReceipts(Receipts& receipts);

// At start-up: moves what waits in the local queue to `shareFolder` on a thread of its own,
// so that a share that does not answer holds nothing up.
void StartMovingQueuedReceipts(const char* shareFolder);
