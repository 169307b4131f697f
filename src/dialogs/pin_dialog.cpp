// Template 112: the PIN of the Key, asked again after the key library rejected it.
#include "core/attempt_state.h"
#include "core/card_types.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "res/resource.h"

namespace {

void OnInit(HWND dialog, LPARAM)
{
    InitCredentialDialog(dialog, {{IDC_PIN_PROMPT, IDS_ENTER_PIN}});
    ShowCredentialText(dialog, IDC_PIN_EDIT);
}

// Some types of Key have a shortest PIN; the others take any text, even none.
bool LongEnough(HWND, const TypedSecret& pin)
{
    if (pin.length() >= CardTypeOf(g_attempt.cardType).pinMinimum)
        return true;
    pin.refuse(IDS_PIN_TOO_SHORT);
    return false;
}

constexpr CredentialDialog kDialog{OnInit, IDC_PIN_EDIT, kTextCredentialLimit, 0, IDS_PIN_NOT_SENT_AGAIN,
                                   LongEnough, nullptr, nullptr, IDS_ENTER_PIN};

} // namespace

INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
