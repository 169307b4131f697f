// Template 107: the 8-byte transport key, typed as 16 hexadecimal digits.
#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "dialogs/dialog_common.h"
#include "dialogs/hex.h"
#include "res/resource.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kKeyBytes = 8;
constexpr int kKeyDigits = 2 * kKeyBytes;
constexpr int kEditLimit = 32;

using KeyDigits = WipedBuffer<char, kKeyDigits + 1>;

// All-zero bytes count as no key, so a retry after a key of zeros starts empty.
bool KeyPresent()
{
    const unsigned char* key = g_attempt.credential;
    return std::any_of(key, key + kKeyBytes, [](unsigned char byte) { return byte != 0; });
}

void OnInit(HWND dialog, LPARAM defaultText)
{
    InitCredentialDialog(dialog, {{IDC_SECRET_LABEL, IDS_TRANSPORT_KEY_LABEL}});
    ComposeSecretPrompt(dialog, IDC_SECRET_PROMPT, IDS_ENTER_TRANSPORT_KEY,
                        IDS_USUAL_TRANSPORT_KEY, reinterpret_cast<const char*>(defaultText));
    if (KeyPresent()) {
        KeyDigits digits;
        BytesToHex(digits.data(), g_attempt.credential, kKeyDigits);
        ShowSelectedText(dialog, IDC_SECRET_EDIT, digits.data());
    }
}

// Keys are printed in groups ("1122 3344 5566 7788"), so spaces are skipped. Anything else
// that is not a hexadecimal digit, or a count other than 16, is refused rather than sent:
// every wrong key costs one of the Key's tries.
bool ReadKeyDigits(const char* typed, KeyDigits& digits)
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

void OnOk(HWND dialog, const CredentialDialog& row)
{
    const TypedSecret typed(dialog, row.editId);
    KeyDigits digits;
    if (!ReadKeyDigits(typed.text(), digits)) {
        typed.refuse(IDS_TRANSPORT_KEY_TOO_SHORT);
        return;
    }
    WipedBuffer<unsigned char, kKeyBytes> key;
    HexToBytes(key.data(), digits.data(), kKeyDigits);
    if (RefuseJustRejected(dialog, row.editId, row.notSentMessage, key.data(), key.size()))
        return;
    std::copy(key.data(), key.data() + kKeyBytes, g_attempt.credential);
    EndWithOk(dialog);
}

constexpr CredentialDialog kDialog{OnInit,  IDC_SECRET_EDIT, kEditLimit, 0, IDS_TRANSPORT_KEY_NOT_SENT_AGAIN,
                                   nullptr, OnOk,            nullptr};

} // namespace

INT_PTR CALLBACK TransportKeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DispatchCredentialDialog(kDialog, dialog, message, wParam, lParam);
}
