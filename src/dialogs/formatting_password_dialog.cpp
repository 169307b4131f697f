// Template 119: the formatting password, kept as text in the credential buffer.
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog, const char* defaultText)
{
    InitCredentialDialog(dialog, {});
    SendDlgItemMessageA(dialog, IDC_SECRET_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ComposeSecretPrompt(dialog, IDC_SECRET_PROMPT, IDS_ENTER_FORMATTING_PASSWORD,
                        IDS_USUAL_FORMATTING_PASSWORD, defaultText);
    ShowCredentialText(dialog, IDC_SECRET_EDIT);
}

// No check: an empty password is a valid answer for some Keys.
void OnOk(HWND dialog)
{
    ReadCredentialText(dialog, IDC_SECRET_EDIT);
    EndDialog(dialog, 1);
}

} // namespace

INT_PTR CALLBACK FormattingPasswordDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, reinterpret_cast<const char*>(lParam));
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            break;
        case IDCANCEL:
        case IDC_CLOSE_COMMAND:
            EndDialog(dialog, 0);
            break;
        }
        break;
    }
    return FALSE;
}
