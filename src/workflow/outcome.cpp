#include "workflow/workflow.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/card_types.h"
#include "dialogs/credential_dialogs.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "text/text.h"

#include <cstring>

namespace {

bool ShouldShow(RetryMessageWhen when)
{
    return when == RetryMessageWhen::Always || g_attempt.credential[0] != 0;
}

void SetTitle(HWND mainDialog, UINT textId) { SetWindowTextA(mainDialog, LoadText(textId)); }


// Where the Key's dialog offers "Clear all Key's data" and it was not chosen, the message
// says that it makes room.
UINT NoFreeSpaceMessage()
{
    return OffersClearAll(CardTypeOf(g_attempt.cardType)) && !g_attempt.clearAll ? IDS_NO_FREE_SPACE_CLEAR_ALL
                                                                                   : IDS_NO_FREE_SPACE;
}

// Advice to press Format again does not fit results shown in the window, where Key follows
// Key: there the Key is set aside.
UINT InWindow(UINT textId)
{
    constexpr UINT kSetAsideAdvice[][2] = {
        {IDS_KEY_REMOVED_FORMAT, IDS_SERIES_KEY_REMOVED},
        {IDS_NO_FREE_SPACE_CLEAR_ALL, IDS_SERIES_NO_FREE_SPACE},
        {IDS_PASS_PHRASE_BLOCKED, IDS_SERIES_PASS_PHRASE_BLOCKED},
    };
    for (const auto& advice : kSetAsideAdvice)
        if (advice[0] == textId)
            return advice[1];
    return textId;
}

// A credential kept from an earlier Key that this one refused: the user typed nothing, so the
// message says whose it was; it is not used again.
void TellKeptCredentialRefused(HWND owner, const CardType& type)
{
    char name[kSharedTextSize];
    char text[kSharedTextSize];
    LoadText(type.credentialName, name, sizeof name);
    ShowText(owner, FormatTextArg(IDS_SERIES_KEPT_REFUSED, name, text, sizeof text), MB_ICONERROR);
}

void RememberRejectedCredential()
{
    std::memcpy(g_attempt.rejected, g_attempt.credential, sizeof g_attempt.rejected);
    g_attempt.hasRejected = true;
}

} // namespace

UINT OperationFailedMessage()
{
    return g_attempt.operation == Operation::Format ? IDS_FORMAT_FAILED : IDS_UNFORMAT_FAILED;
}

void TellResult(HWND owner, UINT textId, UINT style, int exitCode)
{
    g_attempt.exitCode = exitCode;
    g_attempt.resultMessage = g_attempt.options.resultsInWindow ? InWindow(textId) : textId;
    if (!g_attempt.options.resultsInWindow && !g_attempt.quiet)
        ShowMessage(owner, textId, style);
}

// With results in the window the fault is told once the attempt's record is made, at its end.
void ShowFailure(HWND owner, UINT textId)
{
    TellResult(owner, textId, MB_ICONERROR, kExitFailed);
    if (!g_attempt.options.resultsInWindow)
        KeyLibraryUsable(owner);
}

bool KeyLibraryUsable(HWND owner)
{
    if (!g_keyLibGuard.faulted())
        return true;
    ShowMessage(owner, IDS_KEY_LIBRARY_STOPPED, MB_ICONERROR);
    g_attempt.stoppedTold = true;
    g_attempt.exitCode = kExitFailed;
    return false;
}

void ShowOutcome(HWND mainDialog, WPARAM code)
{
    // A stage title replaces the caption at once: it is set alone, so that the title is
    // drawn once while the worker waits for it.
    if (code != kStageFormatting && code != kStageUnformatting)
        SetWindowTextA(mainDialog, g_app.caption);
    switch (static_cast<unsigned>(code)) {
    case kFormatted:
    case kUnformatted:
        // The attempt ends once the message is gone: until then a queued Format or close
        // still finds the program busy.
        TellResult(mainDialog, IDS_SUCCESS, MB_OK, kExitSuccess);
        break;
    case kStageFormatting:
        SetTitle(mainDialog, IDS_STAGE_FORMATTING);
        break;
    case kStageUnformatting:
        SetTitle(mainDialog, IDS_STAGE_UNFORMATTING);
        break;
    case kUnformatFailed:
        ShowFailure(mainDialog, IDS_UNFORMAT_FAILED);
        break;
    case kFormatFailed:
        ShowFailure(mainDialog, IDS_FORMAT_FAILED);
        break;
    case kCredentialRejected:
        RetryCredential(mainDialog, g_attempt.cardType);
        break;
    case kNoFreeSpace:
        TellResult(mainDialog, NoFreeSpaceMessage(), MB_ICONERROR, kExitFailed);
        break;
    case kKeyRemoved:
        TellResult(mainDialog,
                   g_attempt.operation == Operation::Format ? IDS_KEY_REMOVED_FORMAT : IDS_KEY_REMOVED_UNFORMAT,
                   MB_ICONERROR, kExitFailed);
        break;
    case kCannotUnformat:
        TellResult(mainDialog, IDS_CANNOT_UNFORMAT, MB_ICONERROR, kExitFailed);
        break;
    case kCredentialBlocked:
        TellResult(mainDialog, CardTypeOf(g_attempt.cardType).blockedMessage, MB_ICONERROR, kExitBlocked);
        break;
    default:
        break;
    }
}

void RetryCredential(HWND owner, int cardType)
{
    const CardType& type = CardTypeOf(cardType);
    RememberRejectedCredential();
    // A credential kept for the next Keys is dropped as soon as a Key refuses it. A refused kept
    // one says the batch is not what the user thought: nothing stays kept, and the prompt does
    // not offer the refused value again.
    const bool keptRefused = g_attempt.usedKept;
    g_attempt.usedKept = false;
    ForgetKeptCredential(cardType);
    if (keptRefused) {
        ForgetKeptCredentials();
        SecureZeroMemory(g_attempt.credential, sizeof g_attempt.credential);
    }
    TellKeptDropped(owner);
    g_attempt.exitCode = kExitRejected;
    // A Key with no way to ask again has still refused the attempt: say that it failed.
    const UINT message = type.retryMessage != 0 ? type.retryMessage : OperationFailedMessage();
    g_attempt.resultMessage = message;
    const bool asksAgain = (type.retryPromptTemplate != 0 || type.retryRestarts) && !g_attempt.quiet;
    if (keptRefused && asksAgain)
        TellKeptCredentialRefused(owner, type);
    else if (ShouldShow(type.retryMessageWhen) && asksAgain)
        ShowMessage(owner, message, MB_ICONERROR);
    else if (ShouldShow(type.retryMessageWhen) || !asksAgain)
        TellResult(owner, message, MB_ICONERROR, kExitRejected);
    if (!asksAgain)
        return;
    if (type.retryPromptTemplate != 0 && !AskInCredentialDialog(owner, type.retryPromptTemplate))
        return;
    if (type.retryRestarts)
        StartOperation(owner, false);
}
