// Template 118: the SO PIN, with the choice to clear all the Key's data.
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

namespace {

// The flag and the box are left alone: the attempt starts with the flag clear, and the
// template's box is clear.
void OnInit(HWND dialog, LPARAM)
{
    InitCredentialDialog(dialog, {{IDC_SO_PIN_PROMPT, IDS_ENTER_SO_PIN},
                                  {IDC_CLEAR_ALL, IDS_CLEAR_ALL},
                                  {IDC_CLEAR_ALL_NOTE, IDS_CLEAR_ALL_NOTE},
                                  {IDC_SO_PIN_LABEL, IDS_SO_PIN_LABEL},
                                  {IDC_SO_PIN_HELP, IDS_SO_PIN_HELP}});
    SendDlgItemMessageA(dialog, IDC_SO_PIN_EDIT, EM_LIMITTEXT, kTextCredentialLimit, 0);
    ShowCredentialText(dialog, IDC_SO_PIN_EDIT);
}

// Clearing all data still needs the SO PIN, so the box plays no part here.
void OnOk(HWND dialog)
{
    const TypedSecret soPin(dialog, IDC_SO_PIN_EDIT);
    if (soPin.empty()) {
        ShowMessage(dialog, IDS_ENTER_SO_PIN, MB_ICONERROR);
        return;
    }
    if (soPin.refusedAsJustRejected(dialog, IDC_SO_PIN_EDIT, IDS_SO_PIN_NOT_SENT_AGAIN))
        return;
    soPin.storeAsCredential();
    EndDialog(dialog, 1);
}

void OnClearAllClicked(HWND dialog)
{
    g_attempt.clearAll = IsBoxTicked(dialog, IDC_CLEAR_ALL);
}

constexpr CredentialDialogHandlers kHandlers{OnInit, OnOk, OnClearAllClicked};

} // namespace

INT_PTR CALLBACK SoPinClearAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kHandlers, dialog, message, wParam, lParam);
}
