// The formatting workflow: one attempt from the reader walk to the outcome message.
#pragma once
#include "common/queued_input.h"
#include "core/attempt_state.h"

#include <windows.h>

// Private message from the worker to the main dialog: wParam = stage or outcome code.
constexpr UINT kStatusMessage = 2167;

// Stage codes (sent) and outcome codes (posted) of the status message.
enum StatusCode : unsigned {
    kFormatted = 0,
    kStageFormatting = 1,
    kStageUnformatting = 2,
    kUnformatFailed = 3,
    kFormatFailed = 4,
    kUnformatted = 5,
    kCredentialRejected = 6,
    kNoFreeSpace = 7,
    kCannotUnformat = 11,
    kCredentialBlocked = 12, // no tries left for the credential
    kKeyRemoved = 13,        // the Key left the reader during the work
};

// The worker thread's parameter.
enum WorkerMode : int {
    kModeFormat = 8,
    kModeFormatUnformatted = 9, // InitCard said the Key is not formatted
    kModeUnformat = 10,
};

// The space the maker's applications get on a Key unless "occupy_all" asks for all of it.
constexpr DWORD kDefaultSpaceRequest = 7000;

// An attempt, as the main dialog runs it on the user-interface thread: from the Format or
// Unformat command until its final outcome has been handled. Meanwhile the busy flag is set
// and the buttons that start attempts or end the program are off. A button draws itself
// the moment it goes off, which would hold up the prompt that opens an attempt; behind a
// prompt they go off by a timer instead, once the prompt shows, or when it is answered.
enum class ButtonsOff { Now, BehindPrompt };
void BeginAttempt(HWND mainDialog, ButtonsOff when = ButtonsOff::Now);
constexpr UINT_PTR kButtonsOffTimer = 3;
void TurnButtonsOff(HWND mainDialog);
// The one rule for the buttons that start attempts or end the program: all off while an
// attempt runs; else Exit on, and the others as `startsAllowed` and the policy say.
void EnableAttemptButtons(HWND mainDialog, bool startsAllowed);
// Ends the attempt when no worker carries it on (it was cancelled, found no Key, failed).
// Every attempt ends there, in one place, which tells whoever started it.
void EndAttemptUnlessWorking(HWND mainDialog);

// How an attempt ended, as whoever started it learns it.
struct AttemptResult {
    Operation operation;
    int exitCode;
    UINT message;        // the text that tells it; 0 when the attempt was cancelled
    DWORD error;         // the PC/SC code of the key-library call that failed, 0 when none did
    int cardType;
    bool clearAll;
    bool answeredNo;     // the Key's own question was answered No: it was skipped
};

// Whoever starts an attempt hears of its end through these; any may be null.
struct AttemptListener {
    // First thing at the end, before any box can show or the session can go: for a record.
    void (*ending)(const AttemptResult& result);
    // Last, once the attempt is over and the buttons are back.
    void (*ended)(HWND mainDialog, const AttemptResult& result);
    // A credential kept for later Keys was refused by this Key and dropped.
    void (*keptDropped)(HWND mainDialog);
};

// What an attempt is to do, and where.
struct AttemptRequest {
    Operation operation;
    const char* reader;  // the only reader to look in; null: every reader
    bool connectPrompt;  // the user is asked to connect the Key first
    int startedBy;       // the control that gets the focus back after the attempt
    bool occupyAll;      // the maker's area takes all free space
    AttemptOptions options;
    const AttemptListener* listener;
    const char* typedAhead; // typed for the attempt before it began; may be null
};

// The one way into an attempt, for Format, Unformat and each Key of a series: begins it and
// runs its set-up; returns once the worker runs or the attempt has ended. False, with nothing
// done, while another attempt runs.
bool RunAttempt(HWND mainDialog, const AttemptRequest& request);

// The attempt under way as it stands, for a record made before it ends (the session goes).
AttemptResult AttemptSoFar();
// The session ends or the program quits: the rest of the attempt shows no box and asks nothing.
void QuietenAttempt();

// A character that reached the main window while the attempt is set up, the focus nowhere
// as a prompt is about to show: it is kept for the prompt's field. False when no attempt is
// being set up.
bool KeepTypedForPrompt(WPARAM character);

// Tells whoever started the attempt that a kept credential was refused and dropped.
void TellKeptDropped(HWND mainDialog);

// A single Format or Unformat from the window or the command line: its exit code is the
// program's, and after success the program closes.
extern const AttemptListener kSingleAttempt;

// The status message as the main dialog receives it: stage codes only while the worker
// runs, the final code only from that worker; then the attempt ends unless a retry started
// a new worker.
void HandleStatusMessage(HWND mainDialog, WPARAM code);

// Dispatches what the thread's windows were sent or posted while a wait holds the main
// dialog's own work back; a quit message is kept by `quit` for the loop that waits for it,
// so that the wait goes on sleeping until its end.
void DispatchWaitingMessages(QuitKeeper& quit);

// The worker has finished with the Key: it has set its outcome, or its thread is gone.
bool WorkerFinished();

// Waits until a worker that is still running has finished with the Key (its last key-library
// call returned, the reader closed), at most `milliseconds`. Its outcome is still handled.
void WaitForWorkerToEnd(DWORD milliseconds);
// At shutdown: the same, then the worker is joined, so that the key library is never freed
// under it.
void WaitForWorker();

// The main dialog's timer that notices a worker which ended without its final code arriving,
// or without any outcome at all.
constexpr UINT_PTR kWorkerWatchTimer = 2;
void WatchWorker();
void OnWorkerWatchTimer(HWND mainDialog);

// Begins an attempt on the user-interface thread; returns once the worker runs or the
// attempt has ended. Confirmations are asked only on a first attempt.
void StartOperation(HWND owner, bool firstAttempt);

// The worker thread: unformats, and for Format formats, the open Key.
DWORD WINAPI FormatWorker(LPVOID mode);

// CloseReader on a reader, or on the attempt's reader, unless the key library has faulted:
// the end of the process releases the reader then.
void CloseReaderHandle(int reader);
void CloseAttemptReader();

// How the attempt ended: `exitCode` and message `textId`, which is shown (MB_OK with
// `style`) unless a series shows results in the main dialog instead.
void TellResult(HWND owner, UINT textId, UINT style, int exitCode);

// The failure message of the attempt's operation.
UINT OperationFailedMessage();

// Error message `textId`; after a fault in the key library, followed by the advice to start
// the program again.
void ShowFailure(HWND owner, UINT textId);

// False, after telling the user, when the key library has faulted in this run.
bool KeyLibraryUsable(HWND owner);

// The worker's only way out: closes the reader and posts the outcome. Returns the
// thread's exit code (0 after success, else -1).
DWORD FinishWork(unsigned outcome);

// Handles one status message on the user-interface thread.
void ShowOutcome(HWND mainDialog, WPARAM code);

// After a rejected credential: tells the user, asks again as the card type needs and
// restarts the attempt without confirmations.
void RetryCredential(HWND owner, int cardType);
