#include "workflow/workflow.h"

#include "common/proc_cast.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "keylib/key_library.h"
#include "res/resource.h"

namespace {

// The buttons that could start another attempt or end the program, in this order.
constexpr int kAttemptButtons[] = {IDC_MAIN_FORMAT, IDC_MAIN_EXIT, IDC_MAIN_UNFORMAT};

void EnableButtons(HWND mainDialog, bool enable)
{
    for (int id : kAttemptButtons)
        EnableWindow(GetDlgItem(mainDialog, id), enable);
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

// The worker has posted its final code and does nothing after it but return.
void JoinWorker()
{
    WaitForSingleObject(g_attempt.worker, INFINITE);
    CloseHandle(g_attempt.worker);
    g_attempt.worker = nullptr;
    KillTimer(g_app.mainDialog, kWorkerWatchTimer);
}

} // namespace

void CloseAttemptReader()
{
    g_keyLibGuard.call([] { g_keyLib.CloseReader(g_attempt.reader); });
}

void WatchWorker() { SetTimer(g_app.mainDialog, kWorkerWatchTimer, kWorkerWatchDelay, nullptr); }

void OnWorkerWatchTimer(HWND mainDialog)
{
    if (g_attempt.worker != nullptr && g_attempt.workerDone &&
        WaitForSingleObject(g_attempt.worker, 0) == WAIT_OBJECT_0)
        HandleStatusMessage(mainDialog, g_attempt.outcome);
}

void BeginAttempt(HWND mainDialog)
{
    g_attempt.busy = true;
    ForgetRejectedCredential();
    EnableButtons(mainDialog, false);
    // A disabled button that keeps the focus still takes Enter and Space. Where the platform
    // has taken the focus from it already, moving the focus again would only cost time
    // before the next window shows.
    HWND focus = GetFocus();
    if (focus != nullptr && focus != mainDialog && !IsWindowEnabled(focus))
        SetFocus(mainDialog);
    BlockShutdown(mainDialog);
}

void EndAttempt(HWND mainDialog)
{
    if (!g_attempt.busy)
        return;
    g_attempt.busy = false;
    // Whichever way the attempt ended, the credential it was given has no use any more.
    if (g_attempt.reachedSetUp)
        SecureZeroMemory(g_attempt.credential, sizeof g_attempt.credential);
    g_attempt.reachedSetUp = false;
    ForgetRejectedCredential();
    EnableButtons(mainDialog, true);
    HWND focus = GetFocus();
    if (focus == nullptr || focus == mainDialog)
        SendMessageA(mainDialog, WM_NEXTDLGCTL,
                     reinterpret_cast<WPARAM>(GetDlgItem(mainDialog, IDC_MAIN_FORMAT)), TRUE);
    UnblockShutdown(mainDialog);
}

void EndAttemptUnlessWorking(HWND mainDialog)
{
    if (g_attempt.worker == nullptr)
        EndAttempt(mainDialog);
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

void WaitForWorkerToEnd()
{
    if (g_attempt.worker == nullptr)
        return;
    // The worker waits for its stage codes to be handled: serve them meanwhile.
    while (MsgWaitForMultipleObjects(1, &g_attempt.worker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void WaitForWorker()
{
    if (g_attempt.worker == nullptr)
        return;
    WaitForWorkerToEnd();
    JoinWorker();
}
