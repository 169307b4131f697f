// Template 113: the SO PIN of the Key, asked again after the key library rejected it.
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog, LPARAM)
{
    InitCredentialDialog(dialog, {{IDC_SO_PIN_PROMPT, IDS_ENTER_SO_PIN}});
    ShowCredentialText(dialog, IDC_SO_PIN_EDIT);
}

// No rule of its own: whether an SO PIN (even an empty one) is right is the key library's call.
constexpr CredentialDialog kDialog{OnInit, IDC_SO_PIN_EDIT, kTextCredentialLimit, 0, IDS_SO_PIN_NOT_SENT_AGAIN,
                                   nullptr, nullptr, nullptr, IDS_ENTER_SO_PIN};

} // namespace

INT_PTR CALLBACK SoPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
