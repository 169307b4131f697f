#include "workflow/series.h"

#include "common/fault_guard.h"
#include "core/app_context.h"
#include "core/card_types.h"
#include "core/policy.h"
#include "dialogs/choose_key_dialog.h"
#include "dialogs/series_confirm_dialog.h"
#include "keylib/key_library.h"
#include "records/receipts.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "workflow/reader_walk.h"
#include "workflow/workflow.h"

#include <cstdio>
#include <cstring>

namespace {

// The key library is asked at most this often whether a Key is there.
constexpr DWORD kProbeDelay = 500;
// How long Stop waits for a poller that is inside the key library before it counts as hung.
constexpr DWORD kPollerStopWait = 5000;
constexpr UINT kSeriesWatchDelay = 500;
constexpr DWORD kPollerWaitSlice = 20;

struct Series {
    SeriesStatus status;
    SeriesPanel panel;
    int keyNumber;        // of the Key in hand, from 1
    bool keyRecorded;     // its receipt has been written, or tried
    int firstFailure;     // the exit code of the first Key that failed; success while none did
    bool faulted;         // the key library faulted: the series ends with the failure code
    bool stopRequested;
    bool closeRequested;
    bool receiptLost;     // a receipt could not be written: the series stops before the next Key
    char lostReceipt[kSharedTextSize]; // what the message says of the Key whose receipt is missing
    HANDLE poller;
    HANDLE probeNow; // the main dialog wants to know whether a Key is there
    HANDLE stop;
    Receipts receipts;
};

Series g_series;

// Looks for a Key each time the main dialog asks, which it does only while no attempt is
// under way: the key library is never called by two threads at once.
DWORD WINAPI Poll(LPVOID)
{
    const HANDLE events[] = {g_series.stop, g_series.probeNow};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 &&
           WaitForSingleObject(g_series.stop, kProbeDelay) == WAIT_TIMEOUT) {
        const KeyPresence presence = ProbeReader(g_series.status.reader);
        PostMessageA(g_app.mainDialog, kSeriesProbeMessage, static_cast<WPARAM>(presence), 0);
        if (presence == KeyPresence::Failed)
            break;
    }
    // As for the worker: after a fault the loader must not call the library for this thread.
    while (g_keyLibGuard.faulted())
        Sleep(INFINITE);
    return 0;
}

void Probe() { SetEvent(g_series.probeNow); }

void Update(HWND dialog)
{
    g_series.status.receipts = CurrentReceiptsState();
    if (IsWindow(dialog))
        g_series.panel.update(dialog, g_series.status);
}

void SetPhase(HWND dialog, SeriesPhase phase)
{
    g_series.status.phase = phase;
    Update(dialog);
}

// The poller ends, or is left parked where a fault or a hang in the key library keeps it.
// Meanwhile the window serves its messages and holds back its own work.
void EndPoller()
{
    if (g_series.poller == nullptr)
        return;
    SetEvent(g_series.stop);
    const MessageHold hold;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(g_series.poller, 0) == WAIT_TIMEOUT && !g_keyLibGuard.faulted()) {
        if (GetTickCount() - start >= kPollerStopWait) {
            // A library that does not return is not called again, on any thread.
            g_keyLibGuard.markFaulted();
            break;
        }
        if (MsgWaitForMultipleObjects(1, &g_series.poller, FALSE, kPollerWaitSlice, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
            DispatchWaitingMessages();
    }
    for (HANDLE* handle : {&g_series.poller, &g_series.probeNow, &g_series.stop}) {
        CloseHandle(*handle);
        *handle = nullptr;
    }
}

// A series that ends on its own accord ends a program that a script started for it.
void EndCommandLineSeries(HWND dialog)
{
    if (ArgumentIs(0, kSeriesWord) || g_series.closeRequested)
        PostMessageA(dialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
}

int SeriesExitCode()
{
    if (g_series.faulted || g_series.receiptLost)
        return kExitFailed;
    if (g_series.firstFailure != kExitSuccess)
        return g_series.firstFailure;
    return g_series.status.done > 0 ? kExitSuccess : kExitCancelled;
}

// The one end of every series, however it came: nothing starts after it, the poller is gone,
// the receipts closed, the kept credentials wiped; then the user learns why it ended.
void EndSeries(HWND dialog)
{
    if (!SeriesRunning())
        return;
    g_series.status.phase = SeriesPhase::Off;
    EndPoller();
    g_series.faulted = g_series.faulted || g_keyLibGuard.faulted();
    CloseReceipts(g_series.receipts);
    ForgetKeptCredentials();
    g_attempt.inSeries = false;
    g_attempt.reformatWithoutAsking = false;
    g_attempt.exitCode = SeriesExitCode();
    KillTimer(dialog, kSeriesWatchTimer);
    Update(dialog);
    if (g_attempt.quiet)
        return;
    if (g_series.receiptLost)
        ShowText(dialog, g_series.lostReceipt, MB_ICONERROR);
    if (g_series.faulted && !g_attempt.stoppedTold)
        KeyLibraryUsable(dialog);
    EndCommandLineSeries(dialog);
}

// The message of the Key's end in the user's language.
UINT ResultMessage()
{
    if (g_attempt.answeredNo)
        return IDS_SERIES_SKIPPED;
    return g_attempt.resultMessage != 0 ? g_attempt.resultMessage : IDS_SERIES_CANCELLED;
}

// How the Key's attempt ended, in the receipts' fixed words.
const char* ResultWord()
{
    switch (g_attempt.exitCode) {
    case kExitSuccess:
        return "success";
    case kExitRejected:
        return "rejected";
    case kExitBlocked:
        return "blocked";
    case kExitNoKey:
        return "removed";
    case kExitCancelled:
        return g_attempt.answeredNo ? "skipped" : "cancelled";
    default:
        return "failed";
    }
}

bool KeyFailed()
{
    return g_attempt.exitCode != kExitSuccess && g_attempt.exitCode != kExitCancelled &&
           g_attempt.exitCode != kExitNoKey;
}

// Writing failed: the series stops before the next Key, and says which Key has no receipt.
void NoteLostReceipt(const char* message)
{
    char number[16];
    char reason[kSharedTextSize] = "";
    std::snprintf(number, sizeof number, "%d", g_series.keyNumber);
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_series.receipts.error, 0,
                       reason, sizeof reason, nullptr) == 0)
        std::snprintf(reason, sizeof reason, "0x%08lX", g_series.receipts.error);
    const char* args[] = {number, g_series.status.reader, message, g_series.receipts.path, reason};
    FormatTextFitted(IDS_SERIES_RECEIPT_FAILED, g_series.lostReceipt, sizeof g_series.lostReceipt, args, 5);
    g_series.receiptLost = true;
}

// One Key's attempt, as the series runs it: no connect prompt, the Key is there already.
void StartKey(HWND dialog)
{
    ++g_series.keyNumber;
    g_series.keyRecorded = false;
    SetPhase(dialog, SeriesPhase::Working);
    RunAttempt(dialog, {Operation::Format, g_series.status.reader, false, IDC_SERIES_STOP,
                        ArgumentIs(2, kOccupyAllWord)});
}

// The time, the Key's number and its message, newest first, in the window.
void ShowResult(HWND dialog, const char* message)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char number[16];
    char text[kSharedTextSize];
    char line[kSharedTextSize + 16];
    std::snprintf(number, sizeof number, "%d", g_series.keyNumber);
    const char* args[] = {number, message};
    FormatText(IDS_SERIES_RESULT_LINE, text, sizeof text, args, 2);
    std::snprintf(line, sizeof line, "%02d:%02d:%02d  %s", now.wHour, now.wMinute, now.wSecond, text);
    if (IsWindow(dialog))
        g_series.panel.addResult(dialog, line);
}

// Which reader: the one named on the command line, the only one there, or the user's choice.
// A reader that is not connected is told with the ones that are.
bool ChooseReader(HWND dialog)
{
    char names[kMostKeyChoices][kReaderNameSize];
    char listed[kListedNamesSize];
    const int count = ListUsableReaders(names, kMostKeyChoices, listed);
    if (count < 0) {
        ShowFailure(dialog, IDS_INIT_KEY_FAILED);
        return false;
    }
    g_attempt.exitCode = kExitNoKey;
    if (count == 0) {
        ShowMessage(dialog, IDS_NO_READER, MB_ICONWARNING);
        return false;
    }
    if (g_app.argumentCount > 1) {
        for (int i = 0; i < count; ++i)
            if (std::strcmp(names[i], g_app.arguments[1]) == 0) {
                std::strcpy(g_series.status.reader, names[i]);
                return true;
            }
        const char* args[] = {g_app.arguments[1], listed};
        char text[kSharedTextSize];
        ShowText(dialog, FormatTextFitted(IDS_NAMED_READER_MISSING, text, sizeof text, args, 2), MB_ICONWARNING);
        return false;
    }
    const char* list[kMostKeyChoices];
    for (int i = 0; i < count; ++i)
        list[i] = names[i];
    const int chosen = count == 1 ? 0 : ChooseKey(dialog, list, count, IDS_SERIES_CHOOSE_READER);
    g_attempt.exitCode = kExitCancelled;
    if (chosen < 0)
        return false;
    std::strcpy(g_series.status.reader, names[chosen]);
    return true;
}

// The receipts file: the administrator's folder when a policy sets one, else the one named on
// the command line after the reader, unless that word is the option for all free space, or
// the usual one.
bool OpenSeriesReceipts(HWND dialog, const char* programVersion, const char* keyLibraryVersion)
{
    const bool named = g_app.argumentCount > 2 && !ArgumentIs(2, kOccupyAllWord);
    if (OpenReceipts(g_series.receipts, named ? g_app.arguments[2] : nullptr, PolicyReceiptsFolder(),
                     programVersion, keyLibraryVersion))
        return true;
    char reason[kSharedTextSize] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, g_series.receipts.error, 0,
                   reason, sizeof reason, nullptr);
    char path[MAX_PATH + kSharedTextSize];
    std::snprintf(path, sizeof path, "%s (%s)", g_series.receipts.path, reason);
    char text[kSharedTextSize];
    ShowText(dialog, FormatTextArg(IDS_SERIES_NO_RECEIPTS, path, text, sizeof text), MB_ICONERROR);
    g_attempt.exitCode = kExitFailed;
    return false;
}

void StartPoller(HWND dialog)
{
    g_series.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_series.probeNow = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_series.poller = CreateThread(nullptr, 0, Poll, nullptr, 0, nullptr);
    SetTimer(dialog, kSeriesWatchTimer, kSeriesWatchDelay, nullptr);
}

} // namespace

bool SeriesRunning() { return g_series.status.phase != SeriesPhase::Off; }

void ShowSeriesReceipts() { ShowReceiptsFile(g_series.receipts); }

void StartSeries(HWND dialog, const SeriesPanel& panel, const char* programVersion, const char* keyLibraryVersion)
{
    if (SeriesRunning() || g_attempt.busy || !KeyLibraryUsable(dialog) || !ChooseReader(dialog))
        return;
    bool reformat = false;
    if (!ConfirmSeries(dialog, g_series.status.reader, &reformat)) {
        g_attempt.exitCode = kExitCancelled;
        return;
    }
    if (!OpenSeriesReceipts(dialog, programVersion, keyLibraryVersion))
        return;
    const SeriesStatus fresh{SeriesPhase::Waiting, {}, 0, 0, 0, false, {}, {}};
    char reader[kReaderNameSize];
    std::strcpy(reader, g_series.status.reader);
    g_series.status = fresh;
    std::strcpy(g_series.status.reader, reader);
    g_series.panel = panel;
    g_series.keyNumber = 0;
    g_series.firstFailure = kExitSuccess;
    g_series.faulted = g_series.stopRequested = g_series.closeRequested = g_series.receiptLost = false;
    g_attempt.inSeries = true;
    g_attempt.reformatWithoutAsking = reformat;
    g_attempt.exitCode = kExitCancelled;
    panel.show(dialog);
    StartPoller(dialog);
    Update(dialog);
    Probe();
}

void RequestSeriesStop(HWND dialog, bool thenClose)
{
    if (!SeriesRunning())
        return;
    g_series.closeRequested = g_series.closeRequested || thenClose;
    if (!g_attempt.busy) {
        EndSeries(dialog);
        return;
    }
    g_series.stopRequested = true;
    SetPhase(dialog, SeriesPhase::Stopping);
}

void OnSeriesProbe(HWND dialog, WPARAM presence)
{
    // A result that comes after the series ended, or while a Key is worked on, is stale.
    if (!SeriesRunning() || g_attempt.busy || g_series.status.phase == SeriesPhase::Stopping)
        return;
    switch (static_cast<KeyPresence>(presence)) {
    case KeyPresence::Failed:
        g_series.faulted = true;
        EndSeries(dialog);
        return;
    case KeyPresence::Present:
        if (g_series.status.phase == SeriesPhase::Waiting) {
            StartKey(dialog);
            return;
        }
        break;
    case KeyPresence::Absent:
        if (g_series.status.phase == SeriesPhase::RemoveKey || g_series.status.phase == SeriesPhase::KeyFailed)
            SetPhase(dialog, SeriesPhase::Waiting);
        break;
    case KeyPresence::Unknown:
        break; // busy for now: the Key may still be there
    }
    Probe();
}

void OnSeriesWatchTimer(HWND dialog)
{
    // The delivering thread moves receipts meanwhile: the panel tells when they wait and arrive.
    const ReceiptsState receipts = CurrentReceiptsState();
    if (SeriesRunning() && std::memcmp(&receipts, &g_series.status.receipts, sizeof receipts) != 0)
        Update(dialog);
    if (!SeriesRunning() || g_series.poller == nullptr || WaitForSingleObject(g_series.poller, 0) != WAIT_OBJECT_0)
        return;
    // Nobody asked the poller to end: it was ended inside the key library.
    g_keyLibGuard.markFaulted();
    g_series.faulted = true;
    if (g_attempt.busy)
        RequestSeriesStop(dialog, false);
    else
        EndSeries(dialog);
}

void RecordSeriesKey()
{
    if (!g_attempt.inSeries || g_series.keyRecorded || g_series.keyNumber == 0)
        return;
    g_series.keyRecorded = true;
    const CardType& type = CardTypeOf(g_attempt.cardType);
    char message[kSharedTextSize];
    LoadText(ResultMessage(), message, sizeof message);
    const Receipt receipt{g_series.keyNumber, g_series.status.reader, g_attempt.cardType, type.name, "format",
                          g_attempt.clearAll, ResultWord(), message, g_attempt.resultError};
    if (!WriteReceipt(g_series.receipts, receipt))
        NoteLostReceipt(message);
}

void SeriesKeyEnded(HWND dialog)
{
    if (!SeriesRunning() || g_series.status.phase == SeriesPhase::Waiting)
        return;
    RecordSeriesKey();
    const bool done = g_attempt.exitCode == kExitSuccess;
    const bool failed = KeyFailed();
    done ? ++g_series.status.done : failed ? ++g_series.status.failed : ++g_series.status.notFormatted;
    if (failed && g_series.firstFailure == kExitSuccess)
        g_series.firstFailure = g_attempt.exitCode;
    g_series.status.lastDone = done;
    LoadText(ResultMessage(), g_series.status.lastMessage, sizeof g_series.status.lastMessage);
    ShowResult(dialog, g_series.status.lastMessage);
    MessageBeep(done ? MB_ICONINFORMATION : failed ? MB_ICONERROR : MB_ICONWARNING);
    g_series.faulted = g_series.faulted || g_keyLibGuard.faulted();
    if (g_series.faulted || g_series.receiptLost || g_series.stopRequested || g_attempt.quiet) {
        EndSeries(dialog);
        return;
    }
    // A Key that went before any work is gone already; any other has had its turn and the
    // next one starts once it is gone.
    SetPhase(dialog, g_attempt.exitCode == kExitNoKey ? SeriesPhase::Waiting
                     : failed                          ? SeriesPhase::KeyFailed
                                                       : SeriesPhase::RemoveKey);
    Probe();
}

void SeriesKeptChanged(HWND dialog)
{
    if (SeriesRunning())
        Update(dialog);
}

void EndSeriesQuietly(HWND dialog)
{
    if (!SeriesRunning())
        return;
    g_attempt.quiet = true;
    if (g_attempt.busy && g_attempt.worker != nullptr && WorkerFinished()) {
        OnWorkerWatchTimer(dialog); // the outcome, and with it the receipt, now
    } else if (g_attempt.busy && g_attempt.worker != nullptr) {
        // The Key is still being changed: what becomes of it is not known.
        g_attempt.exitCode = kExitFailed;
        g_attempt.resultMessage = IDS_SERIES_SESSION_ENDED;
        RecordSeriesKey();
    } else if (g_attempt.busy) {
        RecordSeriesKey(); // asked for its credential or confirmation: left as it was
    }
    EndSeries(dialog);
}
