// The current format or unformat attempt, shared by the workflow, the dialogs and the worker.
#pragma once
#include "keylib/key_contract.h"

#include <atomic>

enum class Operation : unsigned char { Format = 0, Unformat = 1 };

struct AttemptState {
    int reader;               // from InitReader; -1 after every worker run
    int cardType;             // from GetCardType; 0 when the library wrote nothing
    unsigned char credential[kCredentialSize]; // text, or the 8 raw transport key bytes
    bool clearAll;            // "Clear all Key's data": flags 2 for the key library
    Operation operation;
    // Written by the worker, read by the main dialog's Exit on the user-interface thread.
    std::atomic<bool> busy;
};

extern AttemptState g_attempt;

// Back to the initial state (all zero, not busy); for start-up and tests.
void ResetAttemptState();

// The credential buffer as a text, for the dialogs that keep a text in it.
inline char* CredentialText() { return reinterpret_cast<char*>(g_attempt.credential); }
