#include "dialogs/dialog_common.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "common/queued_input.h"
#include "core/policy.h"
#include "res/resource.h"
#include "text/message_box.h"
#include "text/text.h"

#include <cstring>

namespace {

constexpr int kPromptSize = 1024;

bool g_acceptedOk; // the last credential dialog ended through EndWithOk
HWND g_field;      // the field of the credential dialog that has shown, while it is open

// Bounded like every other step of the prompt: a long translation is cut, never overrun.
void AppendText(char* buffer, size_t size, const char* text)
{
    const size_t length = std::strlen(buffer);
    std::strncat(buffer, text, size - length - 1);
}

} // namespace

void InitCredentialDialog(HWND dialog, std::initializer_list<ControlText> texts)
{
    // Only what differs from the template is set: the dialog is not shown until this is done.
    ReplaceText(dialog, g_app.caption);
    ReplaceItemText(dialog, IDOK, LoadText(IDS_OK));
    ReplaceItemText(dialog, IDCANCEL, LoadText(IDS_CANCEL));
    for (const ControlText& text : texts)
        ReplaceItemText(dialog, text.controlId, LoadText(text.stringId));
    // There is no icon 105 among the resources, so this installs none: the credential
    // dialogs show no icon, whatever the dialog class carried before.
    HICON icon = LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_CREDENTIAL_DIALOG));
    SetClassLongA(dialog, GCL_HICON, static_cast<LONG>(reinterpret_cast<LONG_PTR>(icon)));
}

void ComposeSecretPrompt(HWND dialog, int promptId, UINT sentenceId, UINT usualId,
                         const char* defaultText)
{
    char prompt[kPromptSize] = {};
    LoadText(sentenceId, prompt, sizeof prompt);
    if (defaultText != nullptr) {
        AppendText(prompt, sizeof prompt, " ");
        const size_t length = std::strlen(prompt);
        LoadText(usualId, prompt + length, static_cast<int>(sizeof prompt - length));
        AppendText(prompt, sizeof prompt, " \"");
        AppendText(prompt, sizeof prompt, defaultText);
        AppendText(prompt, sizeof prompt, "\".");
    }
    ReplaceItemText(dialog, promptId, prompt);
}

namespace {

// A retry shows "Clear all Key's data" as the user left it, and sends that choice again.
void ShowClearAllChoice(HWND dialog, const CredentialDialog& row)
{
    if (row.onClearAllClicked == nullptr)
        return;
    CheckDlgButton(dialog, IDC_CLEAR_ALL, g_attempt.clearAll ? BST_CHECKED : BST_UNCHECKED);
    row.onClearAllClicked(dialog);
}

// How the field is to be focused when the dialog is first activated (DWLP_USER).
enum FieldFocus : LONG_PTR { kFocused, kSelectAll, kCaretAtEnd };

// What the user typed while the Key was looked for goes into the field, whole and in order;
// false when nothing was typed.
bool InsertTypedAhead(HWND dialog, int editId)
{
    if (g_attempt.typedAhead[0] == '\0')
        return false;
    SetDlgItemTextA(dialog, editId, g_attempt.typedAhead);
    ForgetTypedAhead();
    return true;
}

// The dialog opens with the field ready for typing: its text (a retry's last entry) selected,
// or the caret behind what was typed ahead so that typing goes on where it stopped. Where the
// box has disabled the field, the first control that takes the focus gets it. This is done
// when the dialog is first activated, just after it shows: giving the focus to a dialog that
// is not shown yet activates it early and makes it appear later.
void FocusField(HWND dialog, int editId, FieldFocus how)
{
    HWND edit = GetDlgItem(dialog, editId);
    const bool enabled = IsWindowEnabled(edit) != FALSE;
    SendMessageA(dialog, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(enabled ? edit : GetNextDlgTabItem(dialog, nullptr, FALSE)), TRUE);
    if (enabled && how == kCaretAtEnd) {
        const auto end = static_cast<WPARAM>(GetWindowTextLengthA(edit));
        SendMessageA(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
}

// Keys typed while the dialog was made and shown come to the field before any that follow,
// after what it shows already when that was typed ahead too; all of them or none.
bool TakeKeysTypedWhileShowing(HWND dialog, int editId, bool afterField)
{
    WipedBuffer<char, kTypedAheadSize> shown;
    WipedBuffer<char, kTypedAheadSize> typed;
    if (afterField)
        GetDlgItemTextA(dialog, editId, shown.data(), kTypedAheadSize);
    std::memcpy(typed.data(), shown.data(), kTypedAheadSize);
    // What reached the main window meanwhile comes first, then what still waits in the queue.
    const size_t length = std::strlen(typed.data());
    lstrcpynA(typed.data() + length, g_attempt.typedAhead, static_cast<int>(kTypedAheadSize - length));
    const bool whole = !g_attempt.typedAheadLost &&
                       length + std::strlen(g_attempt.typedAhead) < kTypedAheadSize &&
                       TakeTypedAhead(typed.data(), kTypedAheadSize);
    ForgetTypedAhead();
    if (!whole)
        typed.data()[0] = '\0';
    const bool changed = std::strcmp(typed.data(), shown.data()) != 0;
    if (changed)
        SetDlgItemTextA(dialog, editId, typed.data());
    return changed && whole;
}

// The focus that the first activation is to give, once.
FieldFocus TakeFieldFocus(HWND dialog, WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE)
        return kFocused;
    const auto how = static_cast<FieldFocus>(GetWindowLongPtrA(dialog, DWLP_USER));
    SetWindowLongPtrA(dialog, DWLP_USER, kFocused);
    return how;
}

// A control below the buttons, for which the dialog grows, as wide as the dialog; its text
// takes as many lines as it needs. The dialog is not shown yet: growing it must not activate
// it, or the focus lands on its first control instead of the field.
void AddBelow(HWND dialog, DWORD style, int id, UINT textId, int height)
{
    RECT client;
    GetClientRect(dialog, &client);
    RECT place = {7, 4, 7, height}; // left, gap, right margin, height in dialog units
    MapDialogRect(dialog, &place);
    const int width = client.right - place.left - place.right;
    RECT window;
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top + place.top * 2 + place.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND control = CreateWindowExA(0, (style & BS_AUTOCHECKBOX) != 0 ? "Button" : "Static", LoadText(textId),
                                   WS_CHILD | WS_VISIBLE | style, place.left, client.bottom + place.top, width,
                                   place.bottom, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   g_app.instance, nullptr);
    SendMessageA(control, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
}

// Where Key follows Key the dialog offers to keep what is typed for the next Keys of its type.
// Its text says what keeping costs.
void AddKeepBox(HWND dialog)
{
    if (g_attempt.options.offerKeep && KeptCredentialsAllowed())
        AddBelow(dialog, WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE | BS_TOP, IDC_KEEP_FOR_SERIES,
                 IDS_KEEP_FOR_SERIES, 26);
}

// Keys typed before the dialog showed went partly elsewhere: none of them is in the field, and
// the dialog says so, in place of a box that the next keys would answer.
void AddTypedAheadNote(HWND dialog)
{
    // The loss stands until the dialog shows: nothing typed before then goes into the field.
    if (!g_attempt.typedAheadLost)
        return;
    AddBelow(dialog, SS_LEFT | SS_NOPREFIX, IDC_TYPED_AHEAD_NOTE, IDS_TYPED_AHEAD_LOST, 18);
}

// Keys typed after the walk, while the dialog was made, join what was typed during it.
void TakeLateTypedAhead()
{
    if (g_attempt.typedAheadLost)
        return;
    if (!TakeTypedAhead(g_attempt.typedAhead, sizeof g_attempt.typedAhead)) {
        ForgetTypedAhead();
        g_attempt.typedAheadLost = true;
    }
}

} // namespace

INT_PTR DispatchCredentialDialog(const CredentialDialog& row, HWND dialog, UINT message, WPARAM wParam,
                                 LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        TakeAcceptedOk();
        SendDlgItemMessageA(dialog, row.editId, EM_LIMITTEXT, row.textLimit, 0);
        row.onInit(dialog, lParam);
        ShowClearAllChoice(dialog, row);
        AddKeepBox(dialog);
        TakeLateTypedAhead();
        AddTypedAheadNote(dialog);
        SetWindowLongPtrA(dialog, DWLP_USER, InsertTypedAhead(dialog, row.editId) ? kCaretAtEnd : kSelectAll);
    } else if (message == WM_ACTIVATE) {
        FieldFocus how = TakeFieldFocus(dialog, wParam);
        if (how == kFocused)
            return FALSE;
        if (TakeKeysTypedWhileShowing(dialog, row.editId, how == kCaretAtEnd))
            how = kCaretAtEnd;
        FocusField(dialog, row.editId, how);
        g_field = GetDlgItem(dialog, row.editId);
        // Handled: the dialog manager would otherwise give the focus to its first control.
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
    } else if (message == WM_DESTROY) {
        g_field = nullptr;
    } else if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDOK:
            if (row.onOk != nullptr)
                row.onOk(dialog, row);
            else
                AcceptTypedSecret(dialog, row);
            break;
        case IDC_CLEAR_ALL:
            if (row.onClearAllClicked != nullptr)
                row.onClearAllClicked(dialog);
            break;
        case IDC_KEEP_FOR_SERIES:
            g_attempt.keepCredential = IsBoxTicked(dialog, IDC_KEEP_FOR_SERIES);
            break;
        case IDCANCEL:
        case IDC_CLOSE_COMMAND:
            EndDialog(dialog, 0);
            break;
        }
    }
    return FALSE;
}

bool KeepTypedForPrompt(WPARAM character)
{
    if (g_field != nullptr && IsWindowEnabled(g_field)) {
        SendMessageA(g_field, WM_CHAR, character, 0);
        return true;
    }
    if (!g_attempt.settingUp)
        return false;
    if (!AddTypedCharacter(g_attempt.typedAhead, sizeof g_attempt.typedAhead, character))
        g_attempt.typedAheadLost = true;
    return true;
}

void AcceptTypedSecret(HWND dialog, const CredentialDialog& row)
{
    const TypedSecret typed(dialog, row.editId);
    if (row.accepts != nullptr && !row.accepts(dialog, typed))
        return;
    const bool emptyRejected = g_attempt.hasRejected && g_attempt.rejected[0] == 0;
    if (typed.empty() && (row.emptyMessage != 0 || (emptyRejected && row.askMessage != 0))) {
        typed.refuse(row.emptyMessage != 0 ? row.emptyMessage : row.askMessage);
        return;
    }
    if (typed.refusedAsJustRejected(row.notSentMessage))
        return;
    typed.storeAsCredential();
    EndWithOk(dialog);
}

void EndWithOk(HWND dialog)
{
    g_acceptedOk = true;
    EndDialog(dialog, 1);
}

bool TakeAcceptedOk()
{
    const bool accepted = g_acceptedOk;
    g_acceptedOk = false;
    return accepted;
}

void ShowSelectedText(HWND dialog, int editId, const char* text)
{
    SetDlgItemTextA(dialog, editId, text);
    SendDlgItemMessageA(dialog, editId, EM_SETSEL, 0, -1);
}

void ShowCredentialText(HWND dialog, int editId)
{
    if (g_attempt.credential[0] == 0)
        return;
    // A bounded copy, so that even a buffer without terminator cannot be read past its end.
    WipedBuffer<char, kCredentialSize> shown;
    const size_t length = strnlen(CredentialText(), shown.size() - 1);
    std::memcpy(shown.data(), CredentialText(), length);
    ShowSelectedText(dialog, editId, shown.data());
}

void RefuseTyped(HWND dialog, int editId, UINT messageId)
{
    ShowMessage(dialog, messageId, MB_ICONERROR);
    // Moving the focus to an edit through the dialog manager selects all its text.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, editId)), TRUE);
    SendDlgItemMessageA(dialog, editId, EM_SETSEL, 0, -1);
}

bool RefuseJustRejected(HWND dialog, int editId, UINT messageId, const void* credential,
                        size_t length)
{
    if (!g_attempt.hasRejected || length > sizeof g_attempt.rejected ||
        std::memcmp(credential, g_attempt.rejected, length) != 0)
        return false;
    RefuseTyped(dialog, editId, messageId);
    return true;
}

bool IsBoxTicked(HWND dialog, int boxId)
{
    return IsDlgButtonChecked(dialog, boxId) != 0;
}

TypedSecret::TypedSecret(HWND dialog, int editId) : dialog_(dialog), editId_(editId)
{
    GetDlgItemTextA(dialog, editId, text_.data(), static_cast<int>(text_.size()));
    length_ = static_cast<int>(strnlen(text_.data(), text_.size() - 1));
    text_[length_] = '\0';
}

bool TypedSecret::refusedAsJustRejected(UINT messageId) const
{
    return RefuseJustRejected(dialog_, editId_, messageId, text_.data(), static_cast<size_t>(length_) + 1);
}

void TypedSecret::storeAsCredential() const
{
    std::memcpy(g_attempt.credential, text_.data(), static_cast<size_t>(length_) + 1);
}
