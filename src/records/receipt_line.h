// One receipt as a CSV line: quoted fields, the file's sequence number and a chain value that
// ties the line to the one before it, so that a line deleted, doubled, moved or edited later
// shows. The chain is SHA-256 (Windows CNG) of the previous line's chain value and this line up
// to its chain field.
#pragma once
#include <windows.h>

constexpr int kReceiptFieldCount = 17;
constexpr int kReceiptTextFields = 15; // before the sequence number and the chain value
constexpr size_t kReceiptLineSize = 32768;
constexpr int kChainSize = 65; // 64 hex digits and the terminator

extern const char kReceiptsStart[]; // the byte-order mark and the header, written as one
extern const size_t kReceiptsStartLength;

// Where a file's lines stand: the last sequence number and chain value ("" before the first).
struct ReceiptChain {
    unsigned long sequence;
    char value[kChainSize];
};

// A line split as the verifier and the queue read it.
struct ReceiptLineParts {
    unsigned long sequence;
    char chain[kChainSize];
    size_t chainedLength; // the bytes that the chain value covers: up to the comma before it
};

// The line from the fifteen text fields (each cut with a note when too long for the line),
// numbered and chained after `chain`, which then stands at this line. Returns its length,
// line end included; 0 when the chain value could not be made.
size_t ComposeReceiptLine(char (&line)[kReceiptLineSize], const char* const (&fields)[kReceiptTextFields],
                          ReceiptChain& chain);

// True for a whole receipt line (no line end in `length`): every field quoted, seventeen of
// them, a sequence number and a chain value where they belong.
bool ParseReceiptLine(const char* line, size_t length, ReceiptLineParts& parts);

// How many bytes before a line are no part of it: zeros and byte-order marks that a crash or
// an editor can leave there.
size_t LeadingJunk(const char* text, size_t length);

// The chain value of a line whose chained bytes are `text` after the chain value `previous`.
bool ChainValue(const char* previous, const char* text, size_t length, char (&value)[kChainSize]);

// The last whole receipt line in `text`, which ends a file: where the file's chain stands.
// False when there is none.
bool LastChainIn(const char* text, size_t length, ReceiptChain& chain);
