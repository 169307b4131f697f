// Template 119: the formatting password, kept as text in the credential buffer.
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog, LPARAM defaultText)
{
    InitCredentialDialog(dialog, {});
    SendDlgItemMessageA(dialog, IDC_SECRET_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ComposeSecretPrompt(dialog, IDC_SECRET_PROMPT, IDS_ENTER_FORMATTING_PASSWORD,
                        IDS_USUAL_FORMATTING_PASSWORD, reinterpret_cast<const char*>(defaultText));
    ShowCredentialText(dialog, IDC_SECRET_EDIT);
}

// No check: an empty password is a valid answer for some Keys.
void OnOk(HWND dialog)
{
    const TypedSecret password(dialog, IDC_SECRET_EDIT);
    if (password.refusedAsJustRejected(dialog, IDC_SECRET_EDIT, IDS_FORMATTING_PASSWORD_NOT_SENT_AGAIN))
        return;
    password.storeAsCredential();
    EndDialog(dialog, 1);
}

constexpr CredentialDialogHandlers kHandlers{OnInit, OnOk, nullptr};

} // namespace

INT_PTR CALLBACK FormattingPasswordDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    return DispatchCredentialDialog(kHandlers, dialog, message, wParam, lParam);
}
