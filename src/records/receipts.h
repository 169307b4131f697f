// The receipts of a series: one CSV line for every Key, written when the Key's attempt ends.
// UTF-8 with a byte-order mark, so that a spreadsheet reads the readers' names right; the
// header and the result words stay English for scripts, the message is in the user's language.
// Each line names the Windows user, the computer and the series, and carries its file's
// sequence number and chain value, so that a later change to the file shows.
#pragma once
#include "records/receipt_line.h"

#include <windows.h>

constexpr int kReceiptVersionSize = 260;
constexpr int kReceiptNameSize = 2 * 256 + 2; // DOMAIN\user
constexpr int kSeriesIdSize = 20;

struct Receipts {
    HANDLE file;         // a receipts file of the program's own, open while the series runs
    char path[MAX_PATH]; // that file, or this computer's file in the administrator's folder
    bool toShare;        // lines go through the local queue to the administrator's folder
    DWORD error;         // why the last open or write failed
    char programVersion[kReceiptVersionSize];
    char keyLibraryVersion[kReceiptVersionSize];
    char user[kReceiptNameSize];
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    char series[kSeriesIdSize];
    ReceiptChain chain; // where the file of the program's own stands
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

// Opens `path` for adding lines, or receipts.csv in the user's local application-data folder
// (Veltrax\keyprep) when it is null; a new file starts with the byte-order mark and the
// header, an old one continues its numbering and chain. False, with the path and the
// reason, when it cannot be written.
// With `shareFolder` (set by the administrator, often a share), the receipts go to
// <computer name>.csv there instead, so that no two computers write one file: each line is
// added to a local queue (receipts-queue.csv beside the usual file), which the delivering
// thread moves there, so that the window never waits for the share.
bool OpenReceipts(Receipts& receipts, const char* path, const char* shareFolder, const char* programVersion,
                  const char* keyLibraryVersion);
// Writes the line in one write and flushes it to this computer's disk: from then on a crash
// loses none. False, with the reason in `error`, when that failed.
bool WriteReceipt(Receipts& receipts, const Receipt& receipt);
void CloseReceipts(Receipts& receipts);

// At start-up with an administrator's folder: the delivering thread starts and moves what
// waits in the queue. At exit: it is asked to stop; false when it did not within
// `milliseconds` (a share that does not answer), and its lines stay queued.
void StartDeliveringReceipts(const char* shareFolder);
bool StopDeliveringReceipts(DWORD milliseconds);

// What the window tells of the queue.
struct ReceiptsState {
    bool waiting;   // the last move failed: lines wait on this computer
    bool delivered; // lines waited in this run and have reached the folder since
    bool keptAside; // queue bytes that were no receipt lie in the file `asidePath`
};
ReceiptsState CurrentReceiptsState();
const char* ReceiptsAsidePath();

// Called on the delivering thread when lines start to wait (true) and when they have
// reached the administrator's folder again (false).
using ReceiptsListener = void (*)(bool waiting);
void SetReceiptsListener(ReceiptsListener listener);

// Opens the receipts in the program that the system has for them, without waiting for it:
// with an administrator's folder, a copy of this computer's file there with the lines that
// still wait after it. A file that does not exist is never offered for creation.
void ShowReceiptsFile(const Receipts& receipts);
