// Template 120: the Admin PIN; this type of Key is only formatted with all its data cleared.
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

namespace {

// Clearing all data is required here: the box starts ticked and OK lives only while it is.
void OnInit(HWND dialog, LPARAM)
{
    g_attempt.clearAll = true;
    CheckDlgButton(dialog, IDC_CLEAR_ALL, BST_CHECKED);
    InitCredentialDialog(dialog, {{IDC_ADMIN_PIN_PROMPT, IDS_ENTER_ADMIN_PIN},
                                  {IDC_CLEAR_ALL, IDS_CLEAR_ALL},
                                  {IDC_CLEAR_ALL_NOTE, IDS_CLEAR_ALL_NOTE},
                                  {IDC_ADMIN_PIN_LABEL, IDS_ADMIN_PIN_LABEL},
                                  {IDC_ADMIN_PIN_HELP, IDS_ADMIN_PIN_HELP}});
    SendDlgItemMessageA(dialog, IDC_ADMIN_PIN_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ShowCredentialText(dialog, IDC_ADMIN_PIN_EDIT);
}

void OnOk(HWND dialog)
{
    const TypedSecret adminPin(dialog, IDC_ADMIN_PIN_EDIT);
    if (adminPin.empty()) {
        ShowMessage(dialog, IDS_ENTER_ADMIN_PIN, MB_ICONERROR);
        return;
    }
    if (adminPin.refusedAsJustRejected(dialog, IDC_ADMIN_PIN_EDIT, IDS_ADMIN_PIN_NOT_SENT_AGAIN))
        return;
    adminPin.storeAsCredential();
    EndDialog(dialog, 1);
}

void OnClearAllClicked(HWND dialog)
{
    const bool ticked = IsBoxTicked(dialog, IDC_CLEAR_ALL);
    g_attempt.clearAll = ticked;
    EnableWindow(GetDlgItem(dialog, IDOK), ticked);
}

constexpr CredentialDialogHandlers kHandlers{OnInit, OnOk, OnClearAllClicked};

} // namespace

INT_PTR CALLBACK AdminPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kHandlers, dialog, message, wParam, lParam);
}
