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

void OnInit(HWND dialog, LPARAM)
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
    if (pin.refusedAsJustRejected(dialog, IDC_PIN_EDIT, IDS_PIN_NOT_SENT_AGAIN))
        return;
    pin.storeAsCredential();
    EndDialog(dialog, 1);
}

constexpr CredentialDialogHandlers kHandlers{OnInit, OnOk, nullptr};

} // namespace

INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kHandlers, dialog, message, wParam, lParam);
}
