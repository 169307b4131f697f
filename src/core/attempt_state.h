// The current format or unformat attempt, shared by the workflow, the dialogs and the worker.
#pragma once
#include "core/key_contract.h"

#include <windows.h>

#include <atomic>

enum class Operation : unsigned char { Format = 0, Unformat = 1 };

// How an attempt ended, as the exit code of a command-line start: scripts read it.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailed = 1,
    kExitCancelled = 2,
    kExitNoKey = 3,        // no reader, or no usable Key in it
    kExitRejected = 4,     // the Key refused the credential, and no try got through
    kExitBlocked = 5,      // the credential has no tries left
    kExitUsage = 6,
    kExitNotAllowed = 7,   // the administrator's policy forbids the operation (Unformat)
};

// What is asked before a Key is changed. `Each`: a formatted Key's reformat question, then the
// data-loss question. `FormattedKeys`: the data-loss question was answered once for many Keys,
// a formatted Key still gets its reformat question. `None`: neither is asked again.
enum class Confirmation : unsigned char { Each, FormattedKeys, None };

// What differs between one Format from the window and Keys prepared one after another.
struct AttemptOptions {
    Confirmation confirm;
    bool askBeforeClearAll;  // ticking "Clear all Key's data" asks the data-loss question
    bool resultsInWindow;    // the outcome is handed to the caller, without a message box
    bool offerKeep;          // the credential dialogs offer to keep what is typed for later Keys
    bool startButtonsStayOff; // after the attempt only Exit comes back on
    bool typingMissed;       // keys meant for the prompt may have gone elsewhere: none is used
};

// Card type codes 0 to 13 have a meaning; a credential is kept for each in a series.
constexpr int kCardTypeCodes = 14;

struct KeptCredential {
    bool kept;
    unsigned char credential[kCredentialSize];
};

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
    // The only reader that the attempt looks in (named on the command line, or the series'
    // reader), when `readerNamed`; an empty name is a name too.
    bool readerNamed;
    char namedReader[kReaderNameSize];
    // The reader that the user chose among several with a Key; a retry goes back to it.
    char chosenReader[kReaderNameSize];
    // The reader of the Key that the attempt works on, as its records name it.
    char keyReader[kReaderNameSize];
    bool occupyAll;           // the maker's area takes all free space
    int startedBy;            // the control that started the attempt: the focus goes back to it
    bool answeredNo;          // the Key's own question was answered No: it was skipped
    // The session is ending, or the program quits: the outcome is recorded without a box and
    // without asking again.
    bool quiet;
    // How the attempt ended: the exit code, the message that tells it and the PC/SC code of
    // the key-library call that failed (0 when none did).
    int exitCode;
    UINT resultMessage;
    DWORD resultError;
    AttemptOptions options;
    bool keepCredential; // the box "use for the next Keys" was ticked in the last dialog
    bool usedKept;       // the credential in the buffer was kept from an earlier Key
    KeptCredential kept[kCardTypeCodes];
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

// The credential of card type `cardType` kept for the next Keys of a series: keeps the
// credential buffer as it is; puts a kept one into the buffer (false when there is none);
// forgets one or all of them, wiping them.
void KeepCredential(int cardType);
bool TakeKeptCredential(int cardType);
void ForgetKeptCredential(int cardType);
void ForgetKeptCredentials();
// Whether a credential is kept for card type `cardType`.
bool HasKeptCredential(int cardType);
