#include "ui/series.h"

#include "common/fault_guard.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/policy.h"
#include "dialogs/choose_key_dialog.h"
#include "dialogs/series_confirm_dialog.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "text/text.h"
#include "ui/receipts.h"
#include "ui/version_info.h"
#include "workflow/reader_walk.h"
#include "workflow/workflow.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

enum ProbeResult : WPARAM { kKeyAbsent, kKeyPresent, kProbeFaulted };
enum class Phase { Off, Waiting, Working, RemoveKey };

// The key library is asked at most this often whether a Key is there.
constexpr DWORD kProbeDelay = 500;
constexpr int kMostShownResults = 50;

struct Series {
    Phase phase;
    char reader[kReaderNameSize];
    int done;
    int failed;
    int exitCode; // success while every Key succeeded
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
        bool present = false;
        const bool answered = KeyPresentIn(g_series.reader, &present);
        PostMessageA(g_app.mainDialog, kSeriesProbeMessage, !answered ? kProbeFaulted : present ? kKeyPresent : kKeyAbsent,
                     0);
        if (!answered)
            break;
    }
    // As for the worker: after a fault the loader must not call the library for this thread.
    while (g_keyLibGuard.faulted())
        Sleep(INFINITE);
    return 0;
}

void Probe() { SetEvent(g_series.probeNow); }

void SetText(HWND dialog, int id, const char* text) { SetDlgItemTextA(dialog, id, text); }

void ShowPhase(HWND dialog)
{
    char text[kSharedTextSize];
    const char* args[] = {g_series.reader};
    const UINT id = g_series.phase == Phase::Working ? IDS_SERIES_WORKING
                    : g_series.phase == Phase::RemoveKey ? IDS_SERIES_REMOVE_KEY
                                                         : IDS_SERIES_WAITING;
    SetText(dialog, IDC_SERIES_STATE, FormatText(id, text, sizeof text, args, 1));
    char done[16];
    char failed[16];
    std::snprintf(done, sizeof done, "%d", g_series.done);
    std::snprintf(failed, sizeof failed, "%d", g_series.failed);
    const char* counts[] = {done, failed};
    SetText(dialog, IDC_SERIES_COUNT, FormatText(IDS_SERIES_COUNT, text, sizeof text, counts, 2));
}

// Format, Unformat and the series button start nothing while a series runs.
void EnableStarts(HWND dialog, bool enable)
{
    for (int id : {IDC_MAIN_FORMAT, IDC_MAIN_UNFORMAT, IDC_MAIN_SERIES})
        EnableWindow(GetDlgItem(dialog, id), enable && PolicyAllowsButton(id));
}

// A control of the series' part of the window, in dialog units.
void AddControl(HWND dialog, const char* className, DWORD style, int id, RECT place, UINT textId)
{
    MapDialogRect(dialog, &place);
    HWND control = CreateWindowExA(0, className, textId != 0 ? LoadText(textId) : "", WS_CHILD | WS_VISIBLE | style,
                                   place.left, place.top, place.right, place.bottom, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_app.instance, nullptr);
    SendMessageA(control, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
}

// The series' part of the window: its state, the counts, the last results and its buttons,
// below the usual content, which the window grows for once.
void ShowPanel(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDC_SERIES_STOP), TRUE);
    if (GetDlgItem(dialog, IDC_SERIES_STATE) != nullptr)
        return;
    RECT grow = {0, 0, 0, 96};
    MapDialogRect(dialog, &grow);
    RECT window;
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, window.bottom - window.top + grow.bottom,
                 SWP_NOMOVE | SWP_NOZORDER);
    AddControl(dialog, "Static", SS_LEFT, IDC_SERIES_STATE, {8, 84, 236, 18}, 0);
    AddControl(dialog, "Static", SS_LEFT, IDC_SERIES_COUNT, {8, 104, 236, 9}, 0);
    AddControl(dialog, "ListBox", WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
               IDC_SERIES_RESULTS, {8, 115, 236, 42}, 0);
    AddControl(dialog, "Button", BS_PUSHBUTTON | WS_TABSTOP, IDC_SERIES_STOP, {8, 161, 72, 14}, IDS_SERIES_STOP);
    AddControl(dialog, "Button", BS_PUSHBUTTON | WS_TABSTOP, IDC_SERIES_SHOW_RECEIPTS, {86, 161, 90, 14},
               IDS_SERIES_SHOW_RECEIPTS);
}

// The newest result first: the time, and how the Key's attempt ended.
void ShowResult(HWND dialog, const char* outcome)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[kSharedTextSize];
    std::snprintf(line, sizeof line, "%02d:%02d:%02d  %s", now.wHour, now.wMinute, now.wSecond, outcome);
    HWND list = GetDlgItem(dialog, IDC_SERIES_RESULTS);
    SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageA(list, LB_DELETESTRING, kMostShownResults, 0);
}

// Which reader: the one named on the command line, the only one there, or the user's choice.
bool ChooseReader(HWND dialog)
{
    if (g_app.argumentCount > 1) {
        std::snprintf(g_series.reader, sizeof g_series.reader, "%s", g_app.arguments[1]);
        return true;
    }
    char names[kMostKeyChoices][kReaderNameSize];
    const int count = ListUsableReaders(names, kMostKeyChoices);
    if (count <= 0) {
        if (count == 0)
            ShowMessage(dialog, IDS_NO_READER, MB_ICONWARNING);
        else
            ShowFailure(dialog, IDS_INIT_KEY_FAILED);
        return false;
    }
    const char* list[kMostKeyChoices];
    for (int i = 0; i < count; ++i)
        list[i] = names[i];
    const int chosen = count == 1 ? 0 : ChooseKey(dialog, list, count, IDS_SERIES_CHOOSE_READER);
    if (chosen < 0)
        return false;
    std::strcpy(g_series.reader, names[chosen]);
    return true;
}

// One Key's attempt as the Format button starts it, but without the connect prompt: the
// Key is there already.
void StartKey(HWND dialog)
{
    g_series.phase = Phase::Working;
    ShowPhase(dialog);
    BeginAttempt(dialog);
    std::strcpy(g_attempt.chosenReader, g_series.reader);
    g_attempt.operation = Operation::Format;
    std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
    StartOperation(dialog, true);
    EndAttemptUnlessWorking(dialog);
    SeriesAfterAttemptWork(dialog);
}

// The outcome of one Key, in the window and in its receipt; then the Key is to go.
void FinishKey(HWND dialog)
{
    const bool success = g_attempt.exitCode == kExitSuccess;
    success ? ++g_series.done : ++g_series.failed;
    if (g_series.exitCode == kExitSuccess)
        g_series.exitCode = g_attempt.exitCode;
    char outcome[kSharedTextSize];
    LoadText(g_attempt.resultMessage != 0 ? g_attempt.resultMessage : IDS_SERIES_CANCELLED, outcome, sizeof outcome);
    ShowResult(dialog, outcome);
    WriteReceipt(g_series.receipts, g_series.reader, g_attempt.cardType, outcome, g_attempt.resultError);
    EnableStarts(dialog, false);
    if (g_keyLibGuard.faulted()) {
        StopSeries(dialog);
        return;
    }
    // Whatever happened, this Key has had its turn: the next one starts once it is gone.
    g_series.phase = g_attempt.exitCode == kExitNoKey ? Phase::Waiting : Phase::RemoveKey;
    ShowPhase(dialog);
    Probe();
}

// Until the poller has ended it may be inside the key library; meanwhile the window serves
// its messages and holds back its own work.
void WaitForPoller()
{
    const MessageHold hold;
    while (MsgWaitForMultipleObjects(1, &g_series.poller, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        DispatchWaitingMessages();
}

} // namespace

bool SeriesRunning() { return g_series.phase != Phase::Off; }

void StartSeries(HWND dialog)
{
    if (SeriesRunning() || g_attempt.busy || !KeyLibraryUsable(dialog) || !ChooseReader(dialog))
        return;
    bool reformat = false;
    if (!ConfirmSeries(dialog, g_series.reader, &reformat))
        return;
    const char* path = g_app.argumentCount > 2 ? g_app.arguments[2] : nullptr;
    char version[kVersionFieldSize] = {};
    char keyLibraryVersion[kVersionFieldSize] = {};
    ReadVersionRecord(g_app.instance, nullptr, nullptr, nullptr, nullptr, nullptr, version, nullptr);
    LoadedKeyLibraryVersion(keyLibraryVersion);
    if (!OpenReceipts(g_series.receipts, path, version, keyLibraryVersion)) {
        char text[kSharedTextSize];
        ShowText(dialog, FormatTextArg(IDS_SERIES_NO_RECEIPTS, g_series.receipts.path, text, sizeof text), MB_ICONERROR);
        return;
    }
    g_series.done = g_series.failed = 0;
    g_series.exitCode = kExitSuccess;
    g_attempt.inSeries = true;
    g_attempt.reformatWithoutAsking = reformat;
    g_series.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_series.probeNow = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_series.poller = CreateThread(nullptr, 0, Poll, nullptr, 0, nullptr);
    g_series.phase = Phase::Waiting;
    ShowPanel(dialog);
    EnableStarts(dialog, false);
    ShowPhase(dialog);
    Probe();
}

void StopSeries(HWND dialog)
{
    if (!SeriesRunning() || g_attempt.busy)
        return;
    SetEvent(g_series.stop);
    if (!g_keyLibGuard.faulted())
        WaitForPoller();
    for (HANDLE* handle : {&g_series.poller, &g_series.probeNow, &g_series.stop}) {
        CloseHandle(*handle);
        *handle = nullptr;
    }
    CloseReceipts(g_series.receipts);
    ForgetKeptCredentials();
    g_attempt.inSeries = false;
    g_attempt.exitCode = g_series.done + g_series.failed == 0 ? kExitCancelled : g_series.exitCode;
    g_series.phase = Phase::Off;
    SetText(dialog, IDC_SERIES_STATE, LoadText(IDS_SERIES_STOPPED));
    EnableWindow(GetDlgItem(dialog, IDC_SERIES_STOP), FALSE);
    EnableStarts(dialog, true);
    // Started for a series by a script, the program ends with it.
    if (ArgumentIs(0, kSeriesWord))
        PostMessageA(dialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
}

void OnSeriesProbe(HWND dialog, WPARAM result)
{
    if (result == kProbeFaulted) {
        KeyLibraryUsable(dialog);
        g_attempt.exitCode = kExitFailed;
        g_series.exitCode = g_series.exitCode == kExitSuccess ? kExitFailed : g_series.exitCode;
        StopSeries(dialog);
        return;
    }
    if (g_series.phase == Phase::Waiting && result == kKeyPresent) {
        StartKey(dialog);
        return;
    }
    if (g_series.phase == Phase::RemoveKey && result == kKeyAbsent) {
        g_series.phase = Phase::Waiting;
        ShowPhase(dialog);
    }
    if (g_series.phase != Phase::Off)
        Probe();
}

void SeriesAfterAttemptWork(HWND dialog)
{
    if (g_series.phase == Phase::Working && !g_attempt.busy)
        FinishKey(dialog);
}

void OnSeriesCommand(HWND dialog, int id)
{
    if (id == IDC_MAIN_SERIES)
        StartSeries(dialog);
    else if (id == IDC_SERIES_STOP)
        StopSeries(dialog);
    else if (id == IDC_SERIES_SHOW_RECEIPTS)
        ShowReceipts(dialog, g_series.receipts);
}
