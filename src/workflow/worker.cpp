#include "workflow/workflow.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "keylib/key_library.h"

namespace {

void SendStage(unsigned stage) { SendMessageA(g_app.mainDialog, kStatusMessage, stage, 0); }

// One UnformatCard or FormatCard call and what it left behind. `faulted` when an exception
// escaped the library, now or in an earlier call: the call counts as failed.
struct KeyCall {
    BOOL result;
    DWORD error;
    bool faulted;
};

KeyCall CallUnformatCard(int flags)
{
    KeyCall call{FALSE, 0, false};
    call.faulted = !g_keyLibGuard.call([&] {
        call.result = g_keyLib.UnformatCard(g_attempt.reader, g_attempt.credential, flags);
        call.error = GetLastError();
    });
    g_attempt.resultError = static_cast<unsigned char>(call.result) != 0 ? 0 : call.error;
    return call;
}

KeyCall CallFormatCard(const DWORD* spaceRequest, int flags)
{
    KeyCall call{FALSE, 0, false};
    call.faulted = !g_keyLibGuard.call([&] {
        call.result = g_keyLib.FormatCard(g_attempt.reader, g_attempt.credential, "", spaceRequest, flags);
        call.error = GetLastError();
    });
    g_attempt.resultError = static_cast<unsigned char>(call.result) != 0 ? 0 : call.error;
    return call;
}

// The key library's booleans count by their low byte.
bool Succeeded(const KeyCall& call) { return !call.faulted && static_cast<unsigned char>(call.result) != 0; }

bool KeyRemoved(const KeyCall& call)
{
    return !call.faulted && (call.error == kScardRemovedCard || call.error == kScardNoSmartcard);
}

DWORD FormatKey(DWORD spaceRequest, int flags)
{
    const DWORD* request = spaceRequest != 0 ? &spaceRequest : nullptr;
    const KeyCall first = CallFormatCard(request, flags);
    if (Succeeded(first))
        return FinishWork(kFormatted);
    if (KeyRemoved(first))
        return FinishWork(kKeyRemoved);
    if (!first.faulted && first.error == kScardInvalidChv)
        return FinishWork(kCredentialRejected);
    if (!first.faulted && first.error == kScardChvBlocked)
        return FinishWork(kCredentialBlocked);
    if (first.faulted || first.error != kScardNoMemory)
        return FinishWork(kFormatFailed);

    // Too little room for the usual size: let the maker's area take what is free.
    const KeyCall second = CallFormatCard(nullptr, flags);
    if (Succeeded(second))
        return FinishWork(kFormatted);
    if (KeyRemoved(second))
        return FinishWork(kKeyRemoved);
    return FinishWork(!second.faulted && second.error == kScardNoMemory ? kNoFreeSpace : kFormatFailed);
}

// Unformats, and for Format formats, the open Key; returns FinishWork's exit code.
DWORD Work(WorkerMode mode)
{
    const DWORD spaceRequest = g_attempt.occupyAll ? 0 : kDefaultSpaceRequest;
    const int flags = g_attempt.clearAll ? kClearAllData : kKeepOtherData;

    // The unformat step of a Format is part of formatting: its failure is the Format's.
    const unsigned failed = mode == kModeUnformat ? kUnformatFailed : kFormatFailed;
    SendStage(kStageUnformatting);
    const KeyCall unformat = CallUnformatCard(flags);
    if (unformat.faulted)
        return FinishWork(failed);
    if (KeyRemoved(unformat))
        return FinishWork(kKeyRemoved);
    if (!Succeeded(unformat)) {
        if (unformat.error == kScardInvalidChv)
            return FinishWork(kCredentialRejected);
        if (unformat.error == kScardChvBlocked)
            return FinishWork(kCredentialBlocked);
        if (unformat.error == kScardUnsupportedFeature)
            return FinishWork(kCannotUnformat);
        if (mode != kModeFormatUnformatted)
            return FinishWork(failed);
    }
    if (mode == kModeUnformat)
        return FinishWork(kUnformatted);

    SendStage(kStageFormatting);
    return FormatKey(spaceRequest, flags);
}

} // namespace

DWORD WINAPI FormatWorker(LPVOID parameter)
{
    const DWORD exitCode = Work(static_cast<WorkerMode>(reinterpret_cast<INT_PTR>(parameter)));
    // Ending the thread would call the key library's DllMain, which after a fault may wait for
    // a lock of its own for ever, and with it the loader: the thread stays until the process ends.
    while (g_keyLibGuard.faulted())
        Sleep(INFINITE);
    return exitCode;
}

DWORD FinishWork(unsigned outcome)
{
    CloseAttemptReader();
    g_attempt.reader = kNoHandle;
    g_attempt.outcome = outcome;
    g_attempt.workerDone = true;
    PostMessageA(g_app.mainDialog, kStatusMessage, outcome, 0);
    return outcome == kFormatted || outcome == kUnformatted ? 0 : static_cast<DWORD>(-1);
}
