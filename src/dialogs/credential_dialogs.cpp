#include "dialogs/credential_dialogs.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"
#include "text/message_box.h"

namespace {

struct DialogProcedure {
    int templateId;
    DLGPROC procedure;
};

constexpr DialogProcedure kProcedures[] = {
    {IDD_TRANSPORT_KEY, TransportKeyDialogProc}, {IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc},
    {IDD_PIN, PinDialogProc},                    {IDD_SO_PIN, SoPinDialogProc},
    {IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc}, {IDD_ADMIN_PIN, AdminPinDialogProc},
    {IDD_PASS_PHRASE, PassPhraseDialogProc},
};

} // namespace

bool AskInCredentialDialog(HWND owner, int templateId, const char* defaultText)
{
    for (const DialogProcedure& dialog : kProcedures) {
        if (dialog.templateId != templateId)
            continue;
        g_attempt.keepCredential = false;
        const bool ok = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(templateId), owner, dialog.procedure,
                                        reinterpret_cast<LPARAM>(defaultText)) == IDOK &&
                        TakeAcceptedOk();
        // Kept for the next Keys of this type in the series; never with "Clear all Key's
        // data", which each Key is asked for anew.
        if (ok && g_attempt.keepCredential && !g_attempt.clearAll)
            KeepCredential(g_attempt.cardType);
        return ok;
    }
    return false;
}
