#include "app/startup.h"

#include "app/command_line.h"
#include "app/verify_command.h"
#include "common/library_binding.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/policy.h"
#include "keylib/key_library.h"
#include "records/event_log.h"
#include "records/receipts.h"
#include "res/resource.h"
#include "support/support_library.h"
#include "text/message_box.h"
#include "text/text.h"
#include "ui/main_dialog.h"
#include "workflow/series.h"
#include "workflow/workflow.h"

#include <cstring>

namespace {

// How long the exit waits for the delivering thread to leave a share.
constexpr DWORD kDeliveryStopWait = 2000;

void FetchCaption()
{
    std::strncpy(g_app.caption, LoadText(IDS_CAPTION), kCaptionSize - 1);
    g_app.caption[kCaptionSize - 1] = '\0';
}

// A library that the program cannot do without is missing or incomplete: says which, and
// keeps the loader's last error.
void ReportLoadFailure(const char* file, UINT style)
{
    const DWORD error = GetLastError();
    ShowText(nullptr, FormatTextArg(IDS_LOAD_FAILED, file), style);
    SetLastError(error);
}

bool IsKnownOperation()
{
    return g_app.argumentCount == 0 || ArgumentIs(0, kFormatWord) || ArgumentIs(0, kUnformatWord) ||
           ArgumentIs(0, kSeriesWord);
}

// How long the end waits for the events still queued for the log.
constexpr DWORD kEventLogFlushWait = 500;

// A script that starts the program learns how the work ended; a user gets 0 as always.
int ExitCodeOf(bool commandLineStart, int code) { return commandLineStart ? code : kExitSuccess; }

} // namespace

bool LoadKeyLibrary(HMODULE* library)
{
    if (BindKeyLibrary(library))
        return true;
    ReportLoadFailure(kKeyLibraryFile, MB_ICONERROR);
    return false;
}

int RunProgram(HINSTANCE instance, char* commandLine)
{
    const bool commandLineStart = commandLine != nullptr && commandLine[std::strspn(commandLine, " ")] != '\0';
    RestrictLibrarySearch();
    g_app.instance = instance;
    LoadLanguageLibrary("keyprep");
    FetchCaption();
    if (IsVerifyCommand(commandLine))
        return RunVerifyCommand(commandLine);
    ReadPolicy();
    StartEventLog();
    if (PolicyReceiptsFolder() != nullptr)
        StartDeliveringReceipts(PolicyReceiptsFolder());
    g_app.argumentCount = 0;

    if (!BindSupportLibrary(&g_app.supportLibrary)) {
        ReportLoadFailure(kSupportLibraryFile, MB_OK);
        return ExitCodeOf(commandLineStart, kExitFailed);
    }
    if (!LoadKeyLibrary(&g_app.keyLibrary)) {
        FreeLibrary(g_app.supportLibrary);
        return ExitCodeOf(commandLineStart, kExitFailed);
    }

    g_app.argumentCount = SplitCommandLine(kArgumentSlots, g_app.arguments, commandLine);
    // Closed before any attempt ended, the program was cancelled.
    g_app.exitCode = kExitCancelled;
    if (IsKnownOperation())
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    else
        ShowText(nullptr, kUsageText, MB_OK);
    // A worker may outlive the dialog (a WM_QUIT ends its loop): let it finish with the Key
    // before the key library goes. A series ended that way still records that Key and ends.
    WaitForWorkerToEnd(INFINITE);
    EndSeriesQuietly(g_app.mainDialog);
    WaitForWorker();
    const int exitCode = ExitCodeOf(commandLineStart, IsKnownOperation() ? g_app.exitCode : kExitUsage);
    // The last credential typed has no use any more.
    SecureZeroMemory(g_attempt.credential, sizeof g_attempt.credential);
    ForgetRejectedCredential();
    FlushEventLog(kEventLogFlushWait);
    // A library that faulted may wait in its detach code for a lock that it left taken: the
    // process ends without calling it. So it does when a share holds the delivering thread:
    // its lines stay queued for the next start.
    const bool delivered = StopDeliveringReceipts(kDeliveryStopWait);
    if (g_keyLibGuard.faulted() || g_supportLibGuard.faulted() || !delivered)
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    // The language library stays loaded until the process ends.
    FreeLibrary(g_app.keyLibrary);
    FreeLibrary(g_app.supportLibrary);
    return exitCode;
}
