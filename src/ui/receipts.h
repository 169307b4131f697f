// The receipts of a series: one CSV line for every Key, written when the Key is done.
#pragma once
#include "ui/version_info.h"

#include <windows.h>

struct Receipts {
    HANDLE file;
    char path[MAX_PATH];
    char programVersion[kVersionFieldSize];
    char keyLibraryVersion[kVersionFieldSize];
};

// Opens `path` for appending, or receipts.csv in the user's local application-data folder
// (Veltrax\keyprep) when it is null; a new file starts with the header row. False, with the
// path that failed, when it cannot be written.
bool OpenReceipts(Receipts& receipts, const char* path, const char* programVersion, const char* keyLibraryVersion);
// One line, flushed to the disk at once, so that a crash of the program loses none. Never a
// credential: the time, reader, card type, operation, outcome, error code and versions.
void WriteReceipt(Receipts& receipts, const char* reader, int cardType, const char* outcome, DWORD error);
void CloseReceipts(Receipts& receipts);
// Opens the receipts file in the program that the system has for it.
void ShowReceipts(HWND owner, const Receipts& receipts);
