// The series' own state, shared by the files of the series loop and nothing else.
#pragma once
#include "records/receipts.h"
#include "workflow/attempt_record.h"
#include "workflow/series.h"
#include "workflow/workflow.h"

struct Series {
    SeriesStatus status;
    SeriesPanel panel;
    bool reformatWithoutAsking; // the user chose to reformat formatted Keys without a question
    int keyNumber;        // of the Key in hand, from 1
    bool keyRecorded;     // its receipt has been written, or tried
    int firstFailure;     // the exit code of the first Key that failed; success while none did
    bool faulted;         // the key library faulted: the series ends with the failure code
    bool stopRequested;
    bool closeRequested;
    bool receiptLost;     // a receipt could not be written: the series stops before the next Key
    char lostReceipt[kSharedTextSize]; // what the message says of the Key whose receipt is missing
    DWORD lastTyped;      // when a key was last typed at the window while it waited (tick count)
    char typed[kTypedAheadSize]; // what was typed then, for the next Key's prompt
    bool typedLost;       // more was typed than a prompt takes
    HANDLE poller;
    HANDLE probeNow; // the main dialog wants to know whether a Key is there
    HANDLE stop;
    Receipts receipts;
    char name[32]; // tells the series' events from those of the others
};

extern Series g_series;

// Keys typed at the window this shortly before a Key was noticed were meant for its prompt.
constexpr DWORD kTypedForKeyWindow = 3000;
void ForgetTypedWhileWaiting();
// A new series' state: no Keys, no results, nothing typed; the reader chosen is kept.
void ResetSeries(const SeriesPanel& panel, bool reformat);

// Which reader, and the receipts file: false, with the exit code set, when the series cannot
// start. The reader may be one that is not connected yet, when the user chose to wait for it.
bool ChooseSeriesReader(HWND dialog);
bool OpenSeriesReceipts(HWND dialog, const char* programVersion, const char* keyLibraryVersion);

// The Key's receipt, once; a receipt that cannot be written stops the series before the next Key.
void RecordKey(const AttemptResult& result);
// The Key failed: neither formatted, nor left as it was.
bool KeyFailed(const AttemptResult& result);
// Adds the Key's line to the window's results.
void ShowResult(HWND dialog, const AttemptResult& result);
