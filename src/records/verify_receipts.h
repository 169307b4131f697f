// Checks a receipts file as an auditor would: every line there once, in order, unchanged.
#pragma once
#include <windows.h>

enum class ReceiptsFault { None, Unreadable, NoHeader, Missing, Doubled, OutOfOrder, Changed };

struct ReceiptsVerdict {
    ReceiptsFault fault;
    unsigned long line;     // the file's line (the header is line 1) that the fault names
    unsigned long sequence; // the number that line carries, or the one that is missing
    unsigned long first;    // the first line's number: above 1, an earlier file held the ones before
    unsigned long last;
    unsigned long count;    // receipt lines read
};

// A file of the program's own or this computer's file in the administrator's folder alike.
ReceiptsVerdict VerifyReceipts(const char* path);
