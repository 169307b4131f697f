// Template 113: the SO PIN of the Key, asked again after the key library rejected it.
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog)
{
    InitCredentialDialog(dialog, {{IDC_SO_PIN_PROMPT, IDS_ENTER_SO_PIN}});
    SendDlgItemMessageA(dialog, IDC_SO_PIN_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ShowCredentialText(dialog, IDC_SO_PIN_EDIT);
}

// No check: whether an SO PIN (even an empty one) is right is the key library's call.
void OnOk(HWND dialog)
{
    ReadCredentialText(dialog, IDC_SO_PIN_EDIT);
    EndDialog(dialog, 1);
}

} // namespace

INT_PTR CALLBACK SoPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
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
