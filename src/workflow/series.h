// A series of Keys: Format after Format in one reader, each started when a Key is connected,
// with a receipt for every Key. A loop around the one attempt: wait for a Key, run the
// attempt, record its end, wait for the Key to go. The window only draws it.
#pragma once
#include "core/attempt_state.h"
#include "records/receipts.h"
#include "text/text.h"

#include <windows.h>

// Private message from the series' poller to the main dialog: wParam is a KeyPresence.
constexpr UINT kSeriesProbeMessage = WM_APP + 1;
// The main dialog's timer that notices a poller which ended by itself, inside the key library.
constexpr UINT_PTR kSeriesWatchTimer = 4;

enum class SeriesPhase { Off, Waiting, Working, RemoveKey, KeyFailed, Stopping };

// What the window shows of a series.
struct SeriesStatus {
    SeriesPhase phase;
    char reader[kReaderNameSize];
    int done;
    int failed;
    int notFormatted;      // skipped, cancelled or removed before any work
    bool lastDone;         // the last Key was formatted
    bool lastFailed;       // the last Key failed: told as such until the next Key is noticed
    bool closing;          // the window closes when the series has ended
    char lastMessage[kSharedTextSize];
    ReceiptsState receipts; // whether receipts wait on this computer, or arrived at the share
};

// How the window draws the series: the panel appears (or starts anew, with no results),
// shows the status, adds one Key's result.
struct SeriesPanel {
    void (*show)(HWND mainDialog);
    void (*update)(HWND mainDialog, const SeriesStatus& status);
    void (*addResult)(HWND mainDialog, const char* line, bool failed);
};

// Starts a series after its confirmation: on the reader named on the command line, or the
// only one connected, or the one the user chooses. The versions go into the receipts.
void StartSeries(HWND mainDialog, const SeriesPanel& panel, const char* programVersion,
                 const char* keyLibraryVersion);
bool SeriesRunning();
// Opens the series' receipts for reading, without waiting for a share.
void ShowSeriesReceipts();

// Stop, or closing the window: while a Key is worked on the series ends after it, and no
// Key starts after it; else at once. `thenClose`: the window closes after the series' end.
void RequestSeriesStop(HWND mainDialog, bool thenClose);
// The Stop button: as above, but pressed again while the Key is worked on, it takes the stop back.
void PressSeriesStop(HWND mainDialog);

void OnSeriesProbe(HWND mainDialog, WPARAM presence);
void OnSeriesWatchTimer(HWND mainDialog);

// A character typed at the window while the series waits: a Key noticed soon after gets it at
// the start of its prompt, for what is typed as the Key goes in is meant for it. False when
// the series does not wait, and the character is the window's.
bool TakeTypedWhileWaiting(char character);

// The session ends, or the program quits: the Key in hand gets its receipt, then the series
// ends, without a box or a question.
void EndSeriesQuietly(HWND mainDialog);
