// Template 120: the Admin PIN; this type of Key is only formatted with all its data cleared.
#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"
#include "text/text.h"

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
    ShowCredentialText(dialog, IDC_ADMIN_PIN_EDIT);
}

// While OK is greyed, the note under the box says why.
void OnClearAllClicked(HWND dialog)
{
    const bool ticked = IsBoxTicked(dialog, IDC_CLEAR_ALL);
    g_attempt.clearAll = ticked;
    EnableWindow(GetDlgItem(dialog, IDOK), ticked);
    const UINT note = ticked ? IDS_CLEAR_ALL_NOTE : IDS_ADMIN_CLEAR_ALL_REQUIRED;
    SetDlgItemTextA(dialog, IDC_CLEAR_ALL_NOTE, LoadText(note));
}

constexpr CredentialDialog kDialog{OnInit,  IDC_ADMIN_PIN_EDIT, kTextCredentialLimit, IDS_ENTER_ADMIN_PIN,
                                   IDS_ADMIN_PIN_NOT_SENT_AGAIN, nullptr, nullptr, OnClearAllClicked};

} // namespace

INT_PTR CALLBACK AdminPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
