#include "workflow/workflow.h"

#include "app/app_context.h"
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "text/text.h"
#include "workflow/attempt_state.h"

#include <cstring>

namespace {

enum class When { Always, IfCredentialTyped };

// What a rejected credential leads to, by card type code.
struct RetryRule {
    UINT message;
    When show;
    int promptTemplate; // 0 = no prompt
    DLGPROC prompt;
    bool restart;
};

RetryRule RetryRuleFor(int cardType)
{
    switch (cardType) {
    case 1:
    case 2:
        return {IDS_WRONG_FORMATTING_PASSWORD, When::Always, 0, nullptr, true};
    case 4:
        return {IDS_WRONG_PIN, When::IfCredentialTyped, IDD_PIN, PinDialogProc, true};
    case 5:
        return {IDS_WRONG_PASS_PHRASE, When::Always, 0, nullptr, true};
    case 6:
        return {IDS_WRONG_SO_PIN, When::IfCredentialTyped, IDD_SO_PIN, SoPinDialogProc, true};
    case 7:
        return {IDS_SERIOUS_ERROR, When::Always, 0, nullptr, false};
    case 8:
        return {IDS_WRONG_SO_PIN, When::IfCredentialTyped, 0, nullptr, true};
    case 9:
        return {IDS_WRONG_FORMATTING_PASSWORD, When::IfCredentialTyped, IDD_FORMATTING_PASSWORD,
                FormattingPasswordDialogProc, true};
    case 10:
        return {IDS_WRONG_ADMIN_PIN, When::Always, 0, nullptr, true};
    case 11:
    case 13:
        return {IDS_WRONG_FORMATTING_PASSWORD, When::Always, 0, nullptr, true};
    case 12:
        return {IDS_WRONG_FORMATTING_PASSWORD, When::IfCredentialTyped, IDD_TRANSPORT_KEY,
                TransportKeyDialogProc, true};
    default: // 3, 0 and the codes without meaning: nothing to ask
        return {OperationFailedMessage(), When::Always, 0, nullptr, false};
    }
}

bool ShouldShow(When when)
{
    return when == When::Always || (when == When::IfCredentialTyped && g_attempt.credential[0] != 0);
}

// A pass-phrase Key (card type 5) can still be formatted with "Clear all Key's data", which
// needs no pass phrase; the other Keys need support.
UINT BlockedMessageFor(int cardType)
{
    return cardType == 5 ? IDS_PASS_PHRASE_BLOCKED : IDS_CREDENTIAL_BLOCKED;
}

void SetTitle(HWND mainDialog, UINT textId) { SetWindowTextA(mainDialog, LoadText(textId)); }

// The attempt ends only once the message is gone: until then a queued Format or close
// must still find the program busy.
void ReportSuccess(HWND mainDialog)
{
    ShowMessage(mainDialog, IDS_SUCCESS, MB_OK);
    EndAttempt(mainDialog);
    SendMessageA(mainDialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
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

void ShowFailure(HWND owner, UINT textId)
{
    ShowMessage(owner, textId, MB_ICONERROR);
    KeyLibraryUsable(owner);
}

bool KeyLibraryUsable(HWND owner)
{
    if (!g_keyLibGuard.faulted())
        return true;
    ShowMessage(owner, IDS_KEY_LIBRARY_STOPPED, MB_ICONERROR);
    return false;
}

void ShowOutcome(HWND mainDialog, WPARAM code)
{
    SetWindowTextA(mainDialog, g_app.caption);
    switch (static_cast<unsigned>(code)) {
    case kFormatted:
    case kUnformatted:
        ReportSuccess(mainDialog);
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
        ShowMessage(mainDialog, IDS_NO_FREE_SPACE, MB_ICONERROR);
        break;
    case kCannotUnformat:
        ShowMessage(mainDialog, IDS_CANNOT_UNFORMAT, MB_ICONERROR);
        break;
    case kCredentialBlocked:
        ShowMessage(mainDialog, BlockedMessageFor(g_attempt.cardType), MB_ICONERROR);
        break;
    default:
        break;
    }
}

void RetryCredential(HWND owner, int cardType)
{
    const RetryRule rule = RetryRuleFor(cardType);
    RememberRejectedCredential();
    if (ShouldShow(rule.show))
        ShowMessage(owner, rule.message, MB_ICONERROR);
    // Only an explicit OK goes on; a dialog that failed to open ends the attempt too.
    if (rule.prompt != nullptr &&
        DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(rule.promptTemplate), owner, rule.prompt, 0) != IDOK)
        return;
    if (rule.restart)
        StartOperation(owner, false);
}
