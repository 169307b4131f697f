#include "dialogs/credential_dialogs.h"

#include "core/app_context.h"
#include "res/resource.h"

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
        if (dialog.templateId == templateId)
            return DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(templateId), owner, dialog.procedure,
                                   reinterpret_cast<LPARAM>(defaultText)) == IDOK;
    }
    return false;
}
