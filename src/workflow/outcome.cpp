#include "workflow/workflow.h"

#include "app/app_context.h"
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"
#include "text/text.h"
#include "workflow/attempt_state.h"

namespace {

enum class When { Never, Always, IfCredentialTyped };

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
        return {0, When::Never, 0, nullptr, false};
    }
}

bool ShouldShow(When when)
{
    return when == When::Always || (when == When::IfCredentialTyped && g_attempt.credential[0] != 0);
}

void SetTitle(HWND mainDialog, UINT textId) { SetWindowTextA(mainDialog, LoadText(textId)); }

void ReportSuccess(HWND mainDialog)
{
    ShowMessage(mainDialog, IDS_SUCCESS, MB_OK);
    SendMessageA(mainDialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
}

} // namespace

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
        ShowMessage(mainDialog, IDS_UNFORMAT_FAILED, MB_ICONERROR);
        break;
    case kFormatFailed:
        ShowMessage(mainDialog, IDS_FORMAT_FAILED, MB_ICONERROR);
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
    default:
        break;
    }
}

void RetryCredential(HWND owner, int cardType)
{
    const RetryRule rule = RetryRuleFor(cardType);
    if (ShouldShow(rule.show))
        ShowMessage(owner, rule.message, MB_ICONERROR);
    if (rule.prompt != nullptr &&
        DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(rule.promptTemplate), owner, rule.prompt, 0) == 0)
        return;
    if (rule.restart)
        StartOperation(owner, false);
}
