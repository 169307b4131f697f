#include "workflow/workflow.h"

#include "app/app_context.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

namespace {

// The buttons that could start another attempt or end the program, in this order.
constexpr int kWorkerButtons[] = {IDC_MAIN_FORMAT, IDC_MAIN_EXIT, IDC_MAIN_UNFORMAT};

void EnableButtons(bool enable)
{
    for (int id : kWorkerButtons)
        EnableWindow(GetDlgItem(g_app.mainDialog, id), enable);
}

void SendStage(unsigned stage) { SendMessageA(g_app.mainDialog, kStatusMessage, stage, 0); }

// The key library's booleans count by their low byte.
bool Succeeded(BOOL result) { return static_cast<unsigned char>(result) != 0; }

DWORD FormatKey(DWORD spaceRequest, int flags)
{
    const DWORD* request = spaceRequest != 0 ? &spaceRequest : nullptr;
    if (Succeeded(g_keyLib.FormatCard(g_attempt.reader, g_attempt.credential, "", request, flags)))
        return FinishWork(kFormatted);
    const DWORD error = GetLastError();
    if (error == kScardInvalidChv)
        return FinishWork(kCredentialRejected);
    if (error != kScardNoMemory)
        return FinishWork(kFormatFailed);

    // Too little room for the usual size: let the maker's area take what is free.
    if (Succeeded(g_keyLib.FormatCard(g_attempt.reader, g_attempt.credential, "", nullptr, flags)))
        return FinishWork(kFormatted);
    return FinishWork(GetLastError() == kScardNoMemory ? kNoFreeSpace : kFormatFailed);
}

} // namespace

DWORD WINAPI FormatWorker(LPVOID parameter)
{
    const auto mode = static_cast<WorkerMode>(reinterpret_cast<INT_PTR>(parameter));
    EnableButtons(false);
    g_attempt.busy = true;

    const DWORD spaceRequest = ArgumentIs(2, kOccupyAllWord) ? 0 : kDefaultSpaceRequest;
    const int flags = g_attempt.clearAll ? kClearAllData : kKeepOtherData;

    SendStage(kStageUnformatting);
    if (!Succeeded(g_keyLib.UnformatCard(g_attempt.reader, g_attempt.credential, flags))) {
        const DWORD error = GetLastError();
        if (error == kScardInvalidChv)
            return FinishWork(kCredentialRejected);
        if (error == kScardUnsupportedFeature)
            return FinishWork(kCannotUnformat);
        if (mode != kModeFormatUnformatted)
            return FinishWork(kUnformatFailed);
    }
    if (mode == kModeUnformat)
        return FinishWork(kUnformatted);

    SendStage(kStageFormatting);
    return FormatKey(spaceRequest, flags);
}

DWORD FinishWork(unsigned outcome)
{
    g_keyLib.CloseReader(g_attempt.reader);
    g_attempt.reader = kNoHandle;
    g_attempt.busy = false;
    EnableButtons(true);
    PostMessageA(g_app.mainDialog, kStatusMessage, outcome, 0);
    return outcome == kFormatted || outcome == kUnformatted ? 0 : static_cast<DWORD>(-1);
}
