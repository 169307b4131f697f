// What the seven credential dialogs have in common: how they open, how they answer their
// commands and how they move a typed secret between their edit and the credential buffer.
#pragma once
#include "common/wiped_buffer.h"
#include "core/key_contract.h"

#include <windows.h>

#include <cstddef>
#include <initializer_list>

// Longest PIN, SO PIN, Admin PIN, pass phrase or formatting password that can be typed.
constexpr int kTextCredentialLimit = 64;

class TypedSecret;

// One credential dialog's row: what makes it different from the others. OK reads the edit,
// runs the dialog's own rule, refuses an empty field where that is no answer and the text
// that the Key has just rejected, then stores the text as the credential.
struct CredentialDialog {
    void (*onInit)(HWND dialog, LPARAM creationParameter);
    int editId;
    int textLimit;
    UINT emptyMessage;   // shown for an empty field; 0 when an empty field is an answer too
    UINT notSentMessage; // shown for the text that the Key has just rejected
    // The dialog's own rule for the typed text, checked first; null when it has none. False
    // after telling the user why the text is refused.
    bool (*accepts)(HWND dialog, const TypedSecret& typed);
    // OK handled in a way of the dialog's own; null for the shared rule above.
    void (*onOk)(HWND dialog, const CredentialDialog& row);
    void (*onClearAllClicked)(HWND dialog); // null in the dialogs without the box
    // Where an empty field is an answer: shown for it when the Key has just refused the empty
    // credential that the program tried by itself, so that it is asked for, not sent again.
    UINT askMessage = 0;
};

// The procedure's body, shared: initialisation (the edit's limit, then `onInit`), OK, the
// clear-all box, and Cancel or the main dialog's close command, which end the dialog with 0.
INT_PTR DispatchCredentialDialog(const CredentialDialog& row, HWND dialog, UINT message, WPARAM wParam,
                                 LPARAM lParam);

// The shared OK rule of `row`; ends the dialog with 1 once the text is stored.
void AcceptTypedSecret(HWND dialog, const CredentialDialog& row);

// Ends the dialog with 1 for an OK that the dialog accepted. A dialog's loop that meets a
// quit message also ends with 1 (under Wine), so only this counts as OK.
void EndWithOk(HWND dialog);
// Whether the dialog that ended last was ended by EndWithOk; asking forgets it.
bool TakeAcceptedOk();

// A control whose text is taken from the string table when its dialog opens.
struct ControlText {
    int controlId;
    UINT stringId;
};

// Caption as title, OK and Cancel from the string table, then `texts`, then the class icon.
void InitCredentialDialog(HWND dialog, std::initializer_list<ControlText> texts);

// Sets the prompt of the transport key and formatting password dialogs: the sentence
// `sentenceId`, and when `defaultText` is given: ` <usualId> "<defaultText>".`
void ComposeSecretPrompt(HWND dialog, int promptId, UINT sentenceId, UINT usualId,
                         const char* defaultText);

// Shows `text` in edit `editId`, selected, so that typing replaces it.
void ShowSelectedText(HWND dialog, int editId, const char* text);

// Refuses what edit `editId` holds: shows `messageId`, then gives the edit the focus with its
// whole text selected, so that typing replaces it instead of adding to it.
void RefuseTyped(HWND dialog, int editId, UINT messageId);

// Shows the text held in the credential buffer in edit `editId`; an empty text shows nothing.
void ShowCredentialText(HWND dialog, int editId);

bool IsBoxTicked(HWND dialog, int boxId);

// When `credential` (`length` bytes) is exactly what the Key has just rejected, sending it
// again would only spend one of the Key's tries: shows `messageId`, selects the edit's text
// for typing over and returns true.
bool RefuseJustRejected(HWND dialog, int editId, UINT messageId, const void* credential,
                        size_t length);

// A typed secret on its way to the credential buffer, wiped when it goes out of scope.
class TypedSecret {
public:
    TypedSecret(HWND dialog, int editId);

    const char* text() const { return text_.data(); }
    int length() const { return length_; }
    bool empty() const { return length_ == 0; }
    // True when this text is what the Key has just rejected; see RefuseJustRejected.
    bool refusedAsJustRejected(UINT messageId) const;
    // RefuseTyped for the edit that this text came from.
    void refuse(UINT messageId) const { RefuseTyped(dialog_, editId_, messageId); }
    // Copies the text and its terminator; the bytes after them keep what they held.
    void storeAsCredential() const;

private:
    HWND dialog_;
    int editId_;
    WipedBuffer<char, kCredentialSize> text_;
    int length_;
};
