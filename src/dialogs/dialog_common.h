// What the seven credential dialogs have in common: how they open and how they move a
// typed secret between their edit and the credential buffer.
#pragma once
#include "keylib/key_contract.h"

#include <windows.h>

#include <initializer_list>

// Longest PIN, SO PIN, Admin PIN, pass phrase or formatting password that can be typed.
constexpr int kTextCredentialLimit = 64;

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

// Shows the text held in the credential buffer in edit `editId`; an empty text shows nothing.
void ShowCredentialText(HWND dialog, int editId);

// Reads edit `editId` straight into the credential buffer (bound: the buffer's size).
void ReadCredentialText(HWND dialog, int editId);

bool IsBoxTicked(HWND dialog, int boxId);

// A typed secret on its way to the credential buffer, wiped when it goes out of scope.
class TypedSecret {
public:
    TypedSecret(HWND dialog, int editId);
    ~TypedSecret();
    TypedSecret(const TypedSecret&) = delete;
    TypedSecret& operator=(const TypedSecret&) = delete;

    const char* text() const { return text_; }
    int length() const { return length_; }
    bool empty() const { return length_ == 0; }
    // Copies the text and its terminator; the bytes after them keep what they held.
    void storeAsCredential() const;

private:
    char text_[kCredentialSize];
    int length_;
};
