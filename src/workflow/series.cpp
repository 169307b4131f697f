#include "workflow/series.h"

#include "common/fault_guard.h"
#include "core/app_context.h"
#include "dialogs/series_confirm_dialog.h"
#include "keylib/key_library.h"
#include "records/event_log.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "workflow/reader_walk.h"
#include "workflow/series_state.h"

#include <cstdio>
#include <cstring>

Series g_series;

namespace {

// The key library is asked at most this often whether a Key is there.
constexpr DWORD kProbeDelay = 500;
// How long Stop waits for a poller that is inside the key library before it counts as hung.
constexpr DWORD kPollerStopWait = 5000;
constexpr UINT kSeriesWatchDelay = 500;
constexpr DWORD kPollerWaitSlice = 20;
// The poller's message when a series that waits for the first reader has seen one.
constexpr WPARAM kReaderAppeared = 100;

char g_appearedReader[kReaderNameSize]; // written by the poller before it posts kReaderAppeared

// Until the series has a reader, the first one listed becomes it.
WPARAM LookForKey()
{
    if (g_series.status.reader[0] != '\0')
        return static_cast<WPARAM>(ProbeReader(g_series.status.reader));
    char names[kMostKeyChoices][kReaderNameSize];
    char listed[kListedNamesSize];
    const int count = ListUsableReaders(names, kMostKeyChoices, listed);
    if (count < 0)
        return static_cast<WPARAM>(KeyPresence::Failed);
    if (count == 0)
        return static_cast<WPARAM>(KeyPresence::Absent);
    std::strcpy(g_appearedReader, names[0]);
    return kReaderAppeared;
}

// Looks for a Key each time the main dialog asks, which it does only while no attempt is
// under way: the key library is never called by two threads at once.
DWORD WINAPI Poll(LPVOID)
{
    const HANDLE events[] = {g_series.stop, g_series.probeNow};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 &&
           WaitForSingleObject(g_series.stop, kProbeDelay) == WAIT_TIMEOUT) {
        const WPARAM presence = LookForKey();
        PostMessageA(g_app.mainDialog, kSeriesProbeMessage, presence, 0);
        if (presence == static_cast<WPARAM>(KeyPresence::Failed))
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
    QuitKeeper quit;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(g_series.poller, 0) == WAIT_TIMEOUT && !g_keyLibGuard.faulted()) {
        if (GetTickCount() - start >= kPollerStopWait) {
            // A library that does not return is not called again, on any thread.
            g_keyLibGuard.markFaulted();
            break;
        }
        if (MsgWaitForMultipleObjects(1, &g_series.poller, FALSE, kPollerWaitSlice, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
            DispatchWaitingMessages(quit);
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
void EndSeries(HWND dialog, bool quiet)
{
    if (!SeriesRunning())
        return;
    g_series.status.phase = SeriesPhase::Off;
    EndPoller();
    g_series.faulted = g_series.faulted || g_keyLibGuard.faulted();
    CloseReceipts(g_series.receipts);
    ForgetKeptCredentials();
    g_app.exitCode = SeriesExitCode();
    if (g_keyLibGuard.faulted())
        LogKeyLibraryFault(g_app.keyLibrary);
    LogSeriesEnded(g_series.status.reader, g_series.name, g_series.status.done, g_series.status.failed,
                   g_series.status.notFormatted, g_app.exitCode);
    KillTimer(dialog, kSeriesWatchTimer);
    EnableAttemptButtons(dialog, true);
    Update(dialog);
    if (quiet)
        return;
    if (g_series.receiptLost)
        ShowText(dialog, g_series.lostReceipt, MB_ICONERROR);
    if (g_series.faulted && !g_attempt.stoppedTold)
        KeyLibraryUsable(dialog);
    EndCommandLineSeries(dialog);
}

// The Key's attempt is over: it is counted and shown; the series ends after it when asked to,
// else the next Key starts once this one is gone.
void KeyEnded(HWND dialog, const AttemptResult& result)
{
    if (!SeriesRunning())
        return;
    RecordKey(result);
    const bool done = result.exitCode == kExitSuccess;
    const bool failed = KeyFailed(result);
    done ? ++g_series.status.done : failed ? ++g_series.status.failed : ++g_series.status.notFormatted;
    if (failed && g_series.firstFailure == kExitSuccess)
        g_series.firstFailure = result.exitCode;
    g_series.status.lastDone = done;
    g_series.status.lastFailed = failed;
    LoadText(ResultMessage(result), g_series.status.lastMessage, sizeof g_series.status.lastMessage);
    ShowResult(dialog, result);
    MessageBeep(done ? MB_ICONINFORMATION : failed ? MB_ICONERROR : MB_ICONWARNING);
    g_series.faulted = g_series.faulted || g_keyLibGuard.faulted();
    if (g_series.faulted || g_series.receiptLost || g_series.stopRequested) {
        EndSeries(dialog, false);
        return;
    }
    // A Key that went before any work is gone already; any other has had its turn and the
    // next one starts once it is gone.
    SetPhase(dialog, result.exitCode == kExitNoKey ? SeriesPhase::Waiting
                     : failed                       ? SeriesPhase::KeyFailed
                                                    : SeriesPhase::RemoveKey);
    Probe();
}

// A kept credential that a Key refused is gone from the panel's line at once.
constexpr AttemptListener kSeriesKey{RecordKey, KeyEnded, Update};

// One Key's attempt, as the series runs it: no connect prompt, the Key is there already, the
// data-loss question was answered at the start, and the results go into the window.
void StartKey(HWND dialog)
{
    ++g_series.keyNumber;
    g_series.keyRecorded = false;
    g_series.status.lastFailed = false;
    SetPhase(dialog, SeriesPhase::Working);
    AttemptOptions options{};
    options.confirm = g_series.reformatWithoutAsking ? Confirmation::None : Confirmation::FormattedKeys;
    options.askBeforeClearAll = true;
    options.resultsInWindow = true;
    options.offerKeep = true;
    options.startButtonsStayOff = true;
    // What was typed just before the Key was noticed begins its credential.
    if (GetTickCount() - g_series.lastTyped > kTypedForKeyWindow)
        ForgetTypedWhileWaiting();
    options.typingMissed = g_series.typedLost;
    RunAttempt(dialog, {Operation::Format, g_series.status.reader, false, IDC_SERIES_RESULTS,
                        ArgumentIs(2, kOccupyAllWord), options, &kSeriesKey, g_series.typed});
    ForgetTypedWhileWaiting();
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

void StartSeries(HWND dialog, const SeriesPanel& panel, const char* programVersion, const char* keyLibraryVersion)
{
    if (SeriesRunning() || g_attempt.busy || !KeyLibraryUsable(dialog) || !ChooseSeriesReader(dialog))
        return;
    bool reformat = false;
    if (!ConfirmSeries(dialog, g_series.status.reader[0] != '\0' ? g_series.status.reader : LoadText(IDS_SERIES_FIRST_READER),
                       &reformat)) {
        g_app.exitCode = kExitCancelled;
        return;
    }
    if (!OpenSeriesReceipts(dialog, programVersion, keyLibraryVersion))
        return;
    ResetSeries(panel, reformat);
    g_app.exitCode = kExitCancelled;
    NameSeries(g_series.name, sizeof g_series.name);
    LogSeriesStarted(g_series.status.reader, g_series.name, g_series.receipts.path);
    panel.show(dialog);
    EnableAttemptButtons(dialog, false);
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
        EndSeries(dialog, false);
        return;
    }
    g_series.stopRequested = true;
    g_series.status.closing = g_series.closeRequested;
    SetPhase(dialog, SeriesPhase::Stopping);
}

void PressSeriesStop(HWND dialog)
{
    // Pressed again while the Key is worked on, it takes the stop back; closing cannot be.
    if (SeriesRunning() && g_attempt.busy && g_series.stopRequested && !g_series.closeRequested &&
        !g_series.faulted) {
        g_series.stopRequested = false;
        SetPhase(dialog, SeriesPhase::Working);
        return;
    }
    RequestSeriesStop(dialog, false);
}

void OnSeriesProbe(HWND dialog, WPARAM presence)
{
    // A result that comes after the series ended, or while a Key is worked on, is stale.
    if (!SeriesRunning() || g_attempt.busy || g_series.status.phase == SeriesPhase::Stopping)
        return;
    if (presence == kReaderAppeared) {
        std::strcpy(g_series.status.reader, g_appearedReader);
        Update(dialog);
        Probe();
        return;
    }
    switch (static_cast<KeyPresence>(presence)) {
    case KeyPresence::Failed:
        g_series.faulted = true;
        EndSeries(dialog, false);
        return;
    case KeyPresence::Present:
        if (g_series.status.phase == SeriesPhase::Waiting) {
            StartKey(dialog);
            return;
        }
        break;
    case KeyPresence::Absent:
        // A failed Key stays told as failed until the next Key is noticed.
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
        EndSeries(dialog, false);
}

void EndSeriesQuietly(HWND dialog)
{
    if (!SeriesRunning())
        return;
    QuietenAttempt();
    if (g_attempt.busy && g_attempt.worker != nullptr && WorkerFinished()) {
        OnWorkerWatchTimer(dialog); // the outcome, and with it the receipt, now
    } else if (g_attempt.busy && g_attempt.worker != nullptr) {
        // The Key is still being changed: what becomes of it is not known.
        AttemptResult result = AttemptSoFar();
        result.exitCode = kExitFailed;
        result.message = IDS_SERIES_SESSION_ENDED;
        RecordKey(result);
    } else if (g_attempt.busy) {
        RecordKey(AttemptSoFar()); // asked for its credential or confirmation: left as it was
    }
    EndSeries(dialog, true);
}
