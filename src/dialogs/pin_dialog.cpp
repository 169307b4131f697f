// Template 112: the PIN of the Key, asked again after the key library rejected it.
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

namespace {

// Only this card type has a minimum PIN length; the others take any text, even none.
constexpr int kCardTypeWithPinMinimum = 4;
constexpr int kPinMinimum = 4;

void OnInit(HWND dialog)
{
    InitCredentialDialog(dialog, {{IDC_PIN_PROMPT, IDS_ENTER_PIN}});
    SendDlgItemMessageA(dialog, IDC_PIN_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ShowCredentialText(dialog, IDC_PIN_EDIT);
}

void OnOk(HWND dialog)
{
    const TypedSecret pin(dialog, IDC_PIN_EDIT);
    if (g_attempt.cardType == kCardTypeWithPinMinimum && pin.length() < kPinMinimum) {
        ShowMessage(dialog, IDS_PIN_TOO_SHORT, MB_ICONERROR);
        return;
    }
    pin.storeAsCredential();
    EndDialog(dialog, 1);
}

} // namespace

INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
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
