// The receipts of a series: one CSV line for every Key, written when the Key's attempt ends.
// UTF-8 with a byte-order mark, so that a spreadsheet reads the readers' names right; the
// header and the result words stay English for scripts, the message is in the user's language.
#pragma once
#include <windows.h>

constexpr int kReceiptVersionSize = 260;

struct Receipts {
    HANDLE file;
    char path[MAX_PATH];
    DWORD error; // why the last open or write failed
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
bool OpenReceipts(Receipts& receipts, const char* path, const char* programVersion, const char* keyLibraryVersion);
// Writes the line and flushes it to the disk, so that a crash of the program loses none.
// False, with the reason in `error`, when either failed.
bool WriteReceipt(Receipts& receipts, const Receipt& receipt);
void CloseReceipts(Receipts& receipts);
