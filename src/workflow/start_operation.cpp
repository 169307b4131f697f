#include "workflow/workflow.h"

#include "app/app_context.h"
#include "app/message_box.h"
#include "dialogs/credential_dialogs.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "workflow/attempt_state.h"

#include <cstring>

namespace {

bool IsRequestedReader(const char* name)
{
    return g_app.argumentCount <= 1 || std::strcmp(name, g_app.arguments[1]) == 0;
}

// Opens the first usable Key and gives its status; false when no reader holds one.
// A reader that opened but holds no usable Key is closed again at once.
bool OpenFirstUsableKey(int* keyStatus)
{
    for (int index = 0;; ++index) {
        const char* name = g_keyLib.EnumReaders(index);
        if (name == nullptr)
            return false;
        if (g_keyLib.GetReaderType(name) != kUsableReaderType || !IsRequestedReader(name))
            continue;
        g_attempt.reader = g_keyLib.InitReader(name);
        if (g_attempt.reader == kNoHandle)
            continue;
        *keyStatus = g_keyLib.InitCard(g_attempt.reader, 0);
        if (*keyStatus != kNoHandle)
            return true;
        g_keyLib.CloseReader(g_attempt.reader);
    }
}

bool OpenCredentialDialog(HWND owner, int templateId, DLGPROC procedure, const char* defaultText = nullptr)
{
    return DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(templateId), owner, procedure,
                           reinterpret_cast<LPARAM>(defaultText)) != 0;
}

// Warning 31: going on means clearing all the Key's data, with no confirmation after.
bool AcceptClearAll(HWND owner)
{
    if (ShowMessage(owner, IDS_WARN_DATA_DELETED, MB_OKCANCEL | MB_ICONWARNING) == IDCANCEL)
        return false;
    g_attempt.clearAll = true;
    return true;
}

// Asks for what this type of Key needs; false when the user cancelled.
bool CollectCredential(HWND owner, int keyStatus)
{
    switch (g_attempt.cardType) {
    case 1:
    case 2:
        return OpenCredentialDialog(owner, IDD_TRANSPORT_KEY, TransportKeyDialogProc);
    case 5:
        if (keyStatus == kKeyClearAllOnly)
            return AcceptClearAll(owner);
        return OpenCredentialDialog(owner, IDD_PASS_PHRASE, PassPhraseDialogProc);
    case 7:
    case 9:
    case 12:
        return AcceptClearAll(owner);
    case 8:
        return OpenCredentialDialog(owner, IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc);
    case 10:
        return OpenCredentialDialog(owner, IDD_ADMIN_PIN, AdminPinDialogProc);
    case 11:
        return OpenCredentialDialog(owner, IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc, "TRUVOSEK");
    case 13:
        return OpenCredentialDialog(owner, IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc, "MOLDIRA+");
    default:
        return true; // the library is tried with the buffer as it is
    }
}

bool IsFormattedStatus(int keyStatus)
{
    return (keyStatus >= 0 && keyStatus <= 3) || keyStatus == kKeyClearAllOnly;
}

bool Confirmed(HWND owner, UINT textId)
{
    return ShowMessage(owner, textId, MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool ConfirmDestructiveStep(HWND owner)
{
    if (g_attempt.operation == Operation::Format && !Confirmed(owner, IDS_CONFIRM_REFORMAT))
        return false;
    return Confirmed(owner, IDS_CONFIRM_DATA_LOSS);
}

void StartWorker(HWND owner, WorkerMode mode)
{
    HANDLE worker = CreateThread(nullptr, 0, FormatWorker, reinterpret_cast<LPVOID>(mode), 0, nullptr);
    if (worker != nullptr) {
        CloseHandle(worker); // nobody waits for it: it reports through the status message
        return;
    }
    // Without a worker nobody would close the reader.
    g_keyLib.CloseReader(g_attempt.reader);
    g_attempt.reader = kNoHandle;
    ShowMessage(owner, g_attempt.operation == Operation::Format ? IDS_FORMAT_FAILED : IDS_UNFORMAT_FAILED,
                MB_ICONERROR);
}

} // namespace

void StartOperation(HWND owner, bool firstAttempt)
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    g_attempt.clearAll = false;

    int keyStatus = 0;
    if (!OpenFirstUsableKey(&keyStatus)) {
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        ShowMessage(owner, IDS_KEY_NOT_FOUND, MB_ICONWARNING);
        return;
    }

    g_attempt.cardType = 0;
    g_keyLib.GetCardType(g_attempt.reader, &g_attempt.cardType);
    if (!CollectCredential(owner, keyStatus)) {
        g_keyLib.CloseReader(g_attempt.reader);
        return;
    }

    const bool unformat = g_attempt.operation == Operation::Unformat;
    if (keyStatus == kKeyNotFormatted) {
        StartWorker(owner, unformat ? kModeUnformat : kModeFormatUnformatted);
        return;
    }
    if (!IsFormattedStatus(keyStatus)) {
        ShowMessage(owner, IDS_INIT_KEY_FAILED, MB_ICONERROR);
        g_keyLib.CloseReader(g_attempt.reader);
        return;
    }
    if (firstAttempt && !g_attempt.clearAll && !ConfirmDestructiveStep(owner)) {
        g_keyLib.CloseReader(g_attempt.reader);
        return;
    }
    StartWorker(owner, unformat ? kModeUnformat : kModeFormat);
}
