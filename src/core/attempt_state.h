// The current format or unformat attempt, shared by the workflow, the dialogs and the worker.
#pragma once
#include "core/key_contract.h"

#include <windows.h>

#include <atomic>

enum class Operation : unsigned char { Format = 0, Unformat = 1 };

// The longest text a credential field takes (64 characters), with its terminator.
constexpr int kTypedAheadSize = 65;
// The longest reader name taken from the key library, terminator included.
constexpr int kReaderNameSize = 512;

struct AttemptState {
    int reader;               // from InitReader; -1 after every worker run
    int cardType;             // from GetCardType; 0 when the library wrote nothing
    unsigned char credential[kCredentialSize]; // text, or the 8 raw transport key bytes
    bool clearAll;            // "Clear all Key's data": flags 2 for the key library
    Operation operation;
    // An attempt runs, from the Format or Unformat command until its outcome has been
    // handled. Kept on the user-interface thread only.
    bool busy;
    bool settingUp;           // StartOperation is on the stack
    bool reachedSetUp;        // the attempt got past the connect prompt: wipe its credential at the end
    bool stoppedTold;         // the user has been told in this attempt that the key library stopped
    HANDLE worker;            // the running worker; null when none (user-interface thread)
    // Written by the worker just before it posts its final code, so that the main dialog
    // can tell the real outcome from a status message that another program posted.
    std::atomic<bool> workerDone;
    unsigned outcome;
    // What the user typed while the Key was looked for, for the credential field that opens
    // next; `typedAheadLost` when it did not fit and was thrown away.
    char typedAhead[kTypedAheadSize];
    bool typedAheadLost;
    // The reader that the user chose among several with a Key; a retry goes back to it.
    char chosenReader[kReaderNameSize];
    // The credential that the Key rejected last, so that it is not sent again unchanged.
    unsigned char rejected[kCredentialSize];
    bool hasRejected;
};

extern AttemptState g_attempt;

// Back to the initial state (all zero, not busy); for start-up and tests.
void ResetAttemptState();

// The credential buffer as a text, for the dialogs that keep a text in it.
inline char* CredentialText() { return reinterpret_cast<char*>(g_attempt.credential); }

// Forgets the rejected credential, wiping its copy.
void ForgetRejectedCredential();
// Forgets what was typed ahead, wiping it.
void ForgetTypedAhead();
