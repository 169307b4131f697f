// Template 118: the SO PIN, with the choice to clear all the Key's data.
#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

// The box shows the choice that the attempt carries: clear on a first attempt, as the user
// left it on a retry.
void OnInit(HWND dialog, LPARAM)
{
    InitCredentialDialog(dialog, {{IDC_SO_PIN_PROMPT, IDS_ENTER_SO_PIN},
                                  {IDC_CLEAR_ALL, IDS_CLEAR_ALL},
                                  {IDC_CLEAR_ALL_NOTE, IDS_CLEAR_ALL_NOTE},
                                  {IDC_SO_PIN_LABEL, IDS_SO_PIN_LABEL},
                                  {IDC_SO_PIN_HELP, IDS_SO_PIN_HELP}});
    ShowCredentialText(dialog, IDC_SO_PIN_EDIT);
}

void OnClearAllClicked(HWND dialog)
{
    g_attempt.clearAll = IsBoxTicked(dialog, IDC_CLEAR_ALL);
}

// Clearing all data still needs the SO PIN, so the box plays no part in OK.
constexpr CredentialDialog kDialog{OnInit,   IDC_SO_PIN_EDIT, kTextCredentialLimit, IDS_ENTER_SO_PIN,
                                   IDS_SO_PIN_NOT_SENT_AGAIN, nullptr, nullptr, OnClearAllClicked};

} // namespace

INT_PTR CALLBACK SoPinClearAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
