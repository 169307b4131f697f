// Template 119: the formatting password, kept as text in the credential buffer.
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog, LPARAM defaultText)
{
    InitCredentialDialog(dialog, {});
    ComposeSecretPrompt(dialog, IDC_SECRET_PROMPT, IDS_ENTER_FORMATTING_PASSWORD,
                        IDS_USUAL_FORMATTING_PASSWORD, reinterpret_cast<const char*>(defaultText));
    ShowCredentialText(dialog, IDC_SECRET_EDIT);
}

// No rule of its own: an empty password is a valid answer for some Keys.
constexpr CredentialDialog kDialog{OnInit,  IDC_SECRET_EDIT, kTextCredentialLimit, 0,
                                   IDS_FORMATTING_PASSWORD_NOT_SENT_AGAIN, nullptr, nullptr, nullptr, IDS_ENTER_FORMATTING_PASSWORD};

} // namespace

INT_PTR CALLBACK FormattingPasswordDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
