// Template 107: the 8-byte transport key, typed as 16 hexadecimal digits.
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "dialogs/hex.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kKeyBytes = 8;
constexpr int kKeyDigits = 2 * kKeyBytes;
constexpr int kEditLimit = 32;

// All-zero bytes count as no key, so a retry after a key of zeros starts empty.
bool KeyPresent()
{
    const unsigned char* key = g_attempt.credential;
    return std::any_of(key, key + kKeyBytes, [](unsigned char byte) { return byte != 0; });
}

void OnInit(HWND dialog, LPARAM defaultText)
{
    InitCredentialDialog(dialog, {});
    SendDlgItemMessageA(dialog, IDC_SECRET_EDIT, EM_LIMITTEXT, kEditLimit, 0);
    ComposeSecretPrompt(dialog, IDC_SECRET_PROMPT, IDS_ENTER_TRANSPORT_KEY,
                        IDS_USUAL_TRANSPORT_KEY, reinterpret_cast<const char*>(defaultText));
    if (KeyPresent()) {
        char digits[kKeyDigits + 1];
        BytesToHex(digits, g_attempt.credential, kKeyDigits);
        ShowSelectedText(dialog, IDC_SECRET_EDIT, digits);
        SecureZeroMemory(digits, sizeof digits);
    }
}

// Keys are printed in groups ("1122 3344 5566 7788"), so spaces are skipped. Anything else
// that is not a hexadecimal digit, or a count other than 16, is refused rather than sent:
// every wrong key costs one of the Key's tries.
bool ReadKeyDigits(const char* typed, char (&digits)[kKeyDigits + 1])
{
    int count = 0;
    for (const char* p = typed; *p; ++p) {
        if (*p == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(*p)) || count == kKeyDigits)
            return false;
        digits[count++] = *p;
    }
    digits[count] = '\0';
    return count == kKeyDigits;
}

void OnOk(HWND dialog)
{
    const TypedSecret typed(dialog, IDC_SECRET_EDIT);
    char digits[kKeyDigits + 1] = {};
    unsigned char key[kKeyBytes] = {};
    const bool wellFormed = ReadKeyDigits(typed.text(), digits);
    if (wellFormed)
        HexToBytes(key, digits, kKeyDigits);
    SecureZeroMemory(digits, sizeof digits);
    if (!wellFormed) {
        ShowMessage(dialog, IDS_TRANSPORT_KEY_TOO_SHORT, MB_ICONERROR);
        return;
    }
    if (!RefuseJustRejected(dialog, IDC_SECRET_EDIT, IDS_TRANSPORT_KEY_NOT_SENT_AGAIN, key, sizeof key)) {
        std::copy(key, key + kKeyBytes, g_attempt.credential);
        EndDialog(dialog, 1);
    }
    SecureZeroMemory(key, sizeof key);
}

constexpr CredentialDialogHandlers kHandlers{OnInit, OnOk, nullptr};

} // namespace

INT_PTR CALLBACK TransportKeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kHandlers, dialog, message, wParam, lParam);
}
