// Template 113: the SO PIN of the Key, asked again after the key library rejected it.
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog, LPARAM)
{
    InitCredentialDialog(dialog, {{IDC_SO_PIN_PROMPT, IDS_ENTER_SO_PIN}});
    SendDlgItemMessageA(dialog, IDC_SO_PIN_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ShowCredentialText(dialog, IDC_SO_PIN_EDIT);
}

// No check: whether an SO PIN (even an empty one) is right is the key library's call.
void OnOk(HWND dialog)
{
    const TypedSecret soPin(dialog, IDC_SO_PIN_EDIT);
    if (soPin.refusedAsJustRejected(dialog, IDC_SO_PIN_EDIT, IDS_SO_PIN_NOT_SENT_AGAIN))
        return;
    soPin.storeAsCredential();
    EndDialog(dialog, 1);
}

constexpr CredentialDialogHandlers kHandlers{OnInit, OnOk, nullptr};

} // namespace

INT_PTR CALLBACK SoPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kHandlers, dialog, message, wParam, lParam);
}
