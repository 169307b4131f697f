#include "workflow/workflow.h"

#include "app/app_context.h"
#include "common/fault_guard.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

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

FARPROC User32Function(const char* name)
{
    return GetProcAddress(GetModuleHandleA("user32.dll"), name);
}

// Tells the session why it should not end while a Key is being changed, where the platform
// has a way to say so.
void BlockShutdown(HWND mainDialog)
{
    auto create = reinterpret_cast<BlockReasonCreateFn>(
        reinterpret_cast<void*>(User32Function("ShutdownBlockReasonCreate")));
    wchar_t reason[kCaptionSize];
    if (create && MultiByteToWideChar(CP_ACP, 0, g_app.caption, -1, reason, kCaptionSize) > 0)
        create(mainDialog, reason);
}

void UnblockShutdown(HWND mainDialog)
{
    auto destroy = reinterpret_cast<BlockReasonDestroyFn>(
        reinterpret_cast<void*>(User32Function("ShutdownBlockReasonDestroy")));
    if (destroy)
        destroy(mainDialog);
}

bool IsStageCode(WPARAM code) { return code == kStageFormatting || code == kStageUnformatting; }

// The worker has posted its final code and does nothing after it but return.
void JoinWorker()
{
    WaitForSingleObject(g_attempt.worker, INFINITE);
    CloseHandle(g_attempt.worker);
    g_attempt.worker = nullptr;
}

} // namespace

void CloseAttemptReader()
{
    RunGuarded([](void*) { g_keyLib.CloseReader(g_attempt.reader); }, nullptr);
}

void BeginAttempt(HWND mainDialog)
{
    g_attempt.busy = true;
    ForgetRejectedCredential();
    EnableButtons(mainDialog, false);
    // A disabled button that keeps the focus still takes Enter and Space.
    SetFocus(mainDialog);
    BlockShutdown(mainDialog);
}

void EndAttempt(HWND mainDialog)
{
    if (!g_attempt.busy)
        return;
    g_attempt.busy = false;
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

void WaitForWorker()
{
    if (g_attempt.worker != nullptr)
        JoinWorker();
}
