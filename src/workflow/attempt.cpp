#include "workflow/workflow.h"

#include "common/fault_guard.h"
#include "common/proc_cast.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/policy.h"
#include "keylib/key_library.h"
#include "records/event_log.h"
#include "workflow/attempt_record.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "text/text.h"

#include <cstdio>
#include <cstring>

namespace {

// The buttons that could start another attempt or end the program, in this order.
constexpr int kAttemptButtons[] = {IDC_MAIN_FORMAT, IDC_MAIN_EXIT, IDC_MAIN_UNFORMAT, IDC_MAIN_SERIES};

// The user goes on from the control that started the attempt, whichever way it ended.
void RestoreFocus(HWND mainDialog)
{
    HWND focus = GetFocus();
    HWND target = GetDlgItem(mainDialog, g_attempt.startedBy);
    if (target == nullptr || !IsWindowEnabled(target))
        target = GetDlgItem(mainDialog, IDC_MAIN_FORMAT);
    if (target != nullptr && target != focus && IsWindowEnabled(target))
        SendMessageA(mainDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

using BlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using BlockReasonDestroyFn = BOOL(WINAPI*)(HWND);

HMODULE User32() { return GetModuleHandleA("user32.dll"); }

// Tells the session why it should not end while a Key is being changed, where the platform
// has a way to say so.
void BlockShutdown(HWND mainDialog)
{
    auto create = ProcAs<BlockReasonCreateFn>(User32(), "ShutdownBlockReasonCreate");
    wchar_t reason[kCaptionSize];
    if (create && MultiByteToWideChar(CP_ACP, 0, g_app.caption, -1, reason, kCaptionSize) > 0)
        create(mainDialog, reason);
}

void UnblockShutdown(HWND mainDialog)
{
    auto destroy = ProcAs<BlockReasonDestroyFn>(User32(), "ShutdownBlockReasonDestroy");
    if (destroy)
        destroy(mainDialog);
}

bool IsStageCode(WPARAM code) { return code == kStageFormatting || code == kStageUnformatting; }

// How often the main dialog looks whether a worker has ended without its final code
// arriving (a full message queue makes PostMessage fail).
constexpr UINT kWorkerWatchDelay = 500;

// The worker has posted its final code and does nothing after it but return; after a fault
// in the key library it never returns (see FormatWorker), so it is not waited for.
void JoinWorker()
{
    if (!g_keyLibGuard.faulted())
        WaitForSingleObject(g_attempt.worker, INFINITE);
    CloseHandle(g_attempt.worker);
    g_attempt.worker = nullptr;
    KillTimer(g_app.mainDialog, kWorkerWatchTimer);
}

// A worker whose thread ended without an outcome was ended inside the key library: the
// library is taken as faulted and the attempt as failed.
void TakeVanishedWorkerAsFault()
{
    g_keyLibGuard.markFaulted();
    g_attempt.outcome = g_attempt.operation == Operation::Format ? kFormatFailed : kUnformatFailed;
    g_attempt.workerDone = true;
}

// How long a wait for the worker sleeps before it looks at the outcome again.
constexpr DWORD kWorkerPollDelay = 20;

const AttemptListener* g_listener; // who started the attempt under way

// The one end of every attempt: its record first, then a key-library fault is told, the
// buttons come back, and whoever started it goes on.
void EndAttempt(HWND mainDialog)
{
    if (!g_attempt.busy)
        return;
    if (g_keyLibGuard.faulted()) {
        g_attempt.exitCode = kExitFailed;
        LogKeyLibraryFault(g_app.keyLibrary);
    }
    const AttemptResult result = AttemptSoFar();
    const AttemptListener* listener = g_listener;
    if (listener != nullptr && listener->ending != nullptr)
        listener->ending(result);
    if (!g_attempt.stoppedTold && !g_attempt.quiet)
        KeyLibraryUsable(mainDialog);
    g_attempt.busy = false;
    // Whichever way the attempt ended, the credential it was given has no use any more.
    if (g_attempt.reachedSetUp)
        SecureZeroMemory(g_attempt.credential, sizeof g_attempt.credential);
    g_attempt.reachedSetUp = false;
    ForgetRejectedCredential();
    KillTimer(mainDialog, kButtonsOffTimer);
    EnableAttemptButtons(mainDialog, !g_attempt.options.startButtonsStayOff);
    RestoreFocus(mainDialog);
    UnblockShutdown(mainDialog);
    if (listener != nullptr && listener->ended != nullptr)
        listener->ended(mainDialog, result);
}

void LogSingleAttempt(const AttemptResult& result)
{
    char message[kSharedTextSize];
    LogKeyEnded(ReceiptOf(result, 0, g_attempt.keyReader, message, sizeof message), "");
}

void EndSingleAttempt(HWND mainDialog, const AttemptResult& result)
{
    g_app.exitCode = result.exitCode;
    if (result.exitCode == kExitSuccess)
        SendMessageA(mainDialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
}

} // namespace

// Dispatches what the thread's windows were sent or posted, its own held back by them as
// in a library call. A quit is kept by the wait, which hands it back when it ends.
void DispatchWaitingMessages(QuitKeeper& quit)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit.keep(message);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool WorkerFinished()
{
    return g_attempt.workerDone || WaitForSingleObject(g_attempt.worker, 0) == WAIT_OBJECT_0;
}

void CloseReaderHandle(int reader)
{
    g_keyLibGuard.call([reader] { g_keyLib.CloseReader(reader); });
}

void CloseAttemptReader() { CloseReaderHandle(g_attempt.reader); }

void WatchWorker() { SetTimer(g_app.mainDialog, kWorkerWatchTimer, kWorkerWatchDelay, nullptr); }

void OnWorkerWatchTimer(HWND mainDialog)
{
    if (g_attempt.worker == nullptr || !WorkerFinished())
        return;
    if (!g_attempt.workerDone)
        TakeVanishedWorkerAsFault();
    HandleStatusMessage(mainDialog, g_attempt.outcome);
}

void TurnButtonsOff(HWND mainDialog)
{
    KillTimer(mainDialog, kButtonsOffTimer);
    if (!g_attempt.busy)
        return;
    EnableAttemptButtons(mainDialog, false);
    // A disabled button that keeps the focus still takes Enter and Space. Where the platform
    // has taken the focus from it already, moving the focus again would only cost time
    // before the next window shows.
    HWND focus = GetFocus();
    if (focus != nullptr && focus != mainDialog && !IsWindowEnabled(focus))
        SetFocus(mainDialog);
}

void BeginAttempt(HWND mainDialog, ButtonsOff when)
{
    g_attempt.busy = true;
    g_attempt.stoppedTold = false;
    g_attempt.exitCode = kExitCancelled;
    g_attempt.resultMessage = 0;
    g_attempt.resultError = 0;
    g_attempt.chosenReader[0] = '\0';
    g_attempt.keyReader[0] = '\0';
    g_attempt.answeredNo = false;
    g_attempt.usedKept = false;
    g_attempt.cardType = 0;
    ForgetRejectedCredential();
    // The prompt's own loop runs the timer once the prompt has shown and drawn itself.
    if (when == ButtonsOff::BehindPrompt)
        SetTimer(mainDialog, kButtonsOffTimer, USER_TIMER_MINIMUM, nullptr);
    else
        TurnButtonsOff(mainDialog);
    BlockShutdown(mainDialog);
}

void EnableAttemptButtons(HWND mainDialog, bool startsAllowed)
{
    for (int id : kAttemptButtons)
        EnableWindow(GetDlgItem(mainDialog, id),
                     !g_attempt.busy && (id == IDC_MAIN_EXIT || startsAllowed) && PolicyAllowsButton(id));
}

const AttemptListener kSingleAttempt{LogSingleAttempt, EndSingleAttempt, nullptr};

AttemptResult AttemptSoFar()
{
    return {g_attempt.operation, g_attempt.exitCode, g_attempt.resultMessage, g_attempt.resultError,
            g_attempt.cardType, g_attempt.clearAll, g_attempt.answeredNo};
}

void QuietenAttempt() { g_attempt.quiet = true; }

void TellKeptDropped(HWND mainDialog)
{
    if (g_listener != nullptr && g_listener->keptDropped != nullptr)
        g_listener->keptDropped(mainDialog);
}

void EndAttemptUnlessWorking(HWND mainDialog)
{
    if (g_attempt.worker == nullptr)
        EndAttempt(mainDialog);
}

bool RunAttempt(HWND mainDialog, const AttemptRequest& request)
{
    // Whatever sends the command (a key on a disabled button, a mnemonic, BM_CLICK, a command
    // queued behind the first, another program), only one attempt runs at a time.
    if (g_attempt.busy || g_attempt.settingUp)
        return false;
    BeginAttempt(mainDialog, request.connectPrompt ? ButtonsOff::BehindPrompt : ButtonsOff::Now);
    g_attempt.startedBy = request.startedBy;
    g_attempt.occupyAll = request.occupyAll;
    g_attempt.options = request.options;
    g_listener = request.listener;
    ForgetTypedAhead();
    if (request.typedAhead != nullptr)
        lstrcpynA(g_attempt.typedAhead, request.typedAhead, sizeof g_attempt.typedAhead);
    g_attempt.readerNamed = request.reader != nullptr;
    CopyShortened(g_attempt.namedReader, sizeof g_attempt.namedReader, request.reader != nullptr ? request.reader : "");
    const bool answered = KeyLibraryUsable(mainDialog) &&
                          (!request.connectPrompt || ShowMessage(mainDialog, IDS_CONNECT_KEY, MB_OKCANCEL) == IDOK);
    if (!answered) {
        // Closing, the box gave the focus to a button that the dialog manager picked past the
        // disabled ones; the user gets it back where the attempt started. (While the attempt
        // goes on it must stay on a control: keys typed ahead for the credential field come to it.)
        SetFocus(nullptr);
        EndAttemptUnlessWorking(mainDialog);
        return true;
    }
    TurnButtonsOff(mainDialog);
    g_attempt.operation = request.operation;
    std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
    StartOperation(mainDialog, true);
    EndAttemptUnlessWorking(mainDialog);
    return true;
}

void HandleStatusMessage(HWND mainDialog, WPARAM code)
{
    if (g_attempt.worker == nullptr)
        return;
    if (!g_attempt.workerDone) {
        if (IsStageCode(code))
            ShowOutcome(mainDialog, code);
        return;
    }
    if (code != g_attempt.outcome)
        return;
    JoinWorker();
    ShowOutcome(mainDialog, code);
    EndAttemptUnlessWorking(mainDialog);
}

void WaitForWorkerToEnd(DWORD milliseconds)
{
    // The worker waits for its stage codes to be handled, and a key library may wait for a
    // window of its own on this thread: both are served meanwhile.
    const MessageHold hold;
    QuitKeeper quit;
    const DWORD start = GetTickCount();
    while (g_attempt.worker != nullptr && !WorkerFinished()) {
        const DWORD waited = GetTickCount() - start;
        if (milliseconds != INFINITE && waited >= milliseconds)
            return;
        const DWORD slice = milliseconds == INFINITE || milliseconds - waited > kWorkerPollDelay
                                ? kWorkerPollDelay
                                : milliseconds - waited;
        if (MsgWaitForMultipleObjects(1, &g_attempt.worker, FALSE, slice, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
            DispatchWaitingMessages(quit);
    }
}

void WaitForWorker()
{
    if (g_attempt.worker == nullptr)
        return;
    WaitForWorkerToEnd(INFINITE);
    JoinWorker();
}
