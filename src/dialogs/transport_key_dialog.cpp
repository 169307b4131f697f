// Template 107: the 8-byte transport key, typed as 16 hexadecimal digits.
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "dialogs/hex.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

#include <algorithm>

namespace {

constexpr int kKeyBytes = 8;
constexpr int kKeyDigits = 2 * kKeyBytes;
constexpr int kEditLimit = 32;

// All-zero bytes count as no key, so a retry after sixteen spaces starts empty.
bool KeyPresent()
{
    const unsigned char* key = g_attempt.credential;
    return std::any_of(key, key + kKeyBytes, [](unsigned char byte) { return byte != 0; });
}

void OnInit(HWND dialog, const char* defaultText)
{
    InitCredentialDialog(dialog, {});
    SendDlgItemMessageA(dialog, IDC_SECRET_EDIT, EM_LIMITTEXT, kEditLimit, 0);
    ComposeSecretPrompt(dialog, IDC_SECRET_PROMPT, IDS_ENTER_TRANSPORT_KEY,
                        IDS_USUAL_TRANSPORT_KEY, defaultText);
    if (KeyPresent()) {
        char digits[kKeyDigits + 1];
        BytesToHex(digits, g_attempt.credential, kKeyDigits);
        SetDlgItemTextA(dialog, IDC_SECRET_EDIT, digits);
        SecureZeroMemory(digits, sizeof digits);
    }
}

// Only the first 16 characters count; they are not checked for being hexadecimal, a wrong
// key is for the key library to reject.
void OnOk(HWND dialog)
{
    const TypedSecret typed(dialog, IDC_SECRET_EDIT);
    if (typed.length() < kKeyDigits) {
        ShowMessage(dialog, IDS_TRANSPORT_KEY_TOO_SHORT, MB_ICONERROR);
        return;
    }
    HexToBytes(g_attempt.credential, typed.text(), kKeyDigits);
    EndDialog(dialog, 1);
}

} // namespace

INT_PTR CALLBACK TransportKeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, reinterpret_cast<const char*>(lParam));
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
