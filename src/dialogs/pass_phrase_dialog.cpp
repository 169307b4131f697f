// Template 108: the pass phrase, or the choice to clear all the Key's data without it.
#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

#include <cstring>

namespace {

// Unlike the PIN dialogs this one never shows the last entry: the buffer is wiped at every
// start, so even a cancelled dialog leaves an empty pass phrase behind. The box shows the
// choice that the attempt carries: clear on a first attempt, as left on a retry.
void OnInit(HWND dialog, LPARAM)
{
    InitCredentialDialog(dialog, {{IDC_PASS_PHRASE_TITLE, IDS_ENTER_PASS_PHRASE},
                                  {IDC_CLEAR_ALL, IDS_CLEAR_ALL},
                                  {IDC_PASS_PHRASE_LABEL, IDS_PASS_PHRASE_LABEL},
                                  {IDC_PASS_PHRASE_HELP, IDS_PASS_PHRASE_HELP},
                                  {IDC_CLEAR_ALL_NOTE, IDS_CLEAR_ALL_NOTE}});
    std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
}

// With the box ticked the pass phrase is not needed: the buffer stays empty, and nothing
// that the Key could refuse is sent.
void OnOk(HWND dialog, const CredentialDialog& row)
{
    if (g_attempt.clearAll)
        EndWithOk(dialog);
    else
        AcceptTypedSecret(dialog, row);
}

// The text stays in the disabled edit, so unticking brings back what was typed.
void OnClearAllClicked(HWND dialog)
{
    const bool ticked = IsBoxTicked(dialog, IDC_CLEAR_ALL);
    g_attempt.clearAll = ticked;
    EnableWindow(GetDlgItem(dialog, IDC_PASS_PHRASE_EDIT), !ticked);
}

constexpr CredentialDialog kDialog{OnInit, IDC_PASS_PHRASE_EDIT, kTextCredentialLimit, 0,
                                   IDS_PASS_PHRASE_NOT_SENT_AGAIN, nullptr, OnOk, OnClearAllClicked};

} // namespace

INT_PTR CALLBACK PassPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
