// What each type of Key needs, by the card type code that GetCardType reports: one row a
// type, so that a new type of Key is one more row.
#pragma once
#include <windows.h>

// How an attempt asks for the credential.
enum class CredentialStep : unsigned char {
    None,                    // nothing to ask: the key library gets the buffer as it is
    Dialog,                  // the credential dialog `dialogTemplate`
    DialogUnlessClearAllOnly, // that dialog, or warning 31 when InitCard said "clear all only"
    ClearAllWarning,         // warning 31: going on clears all the Key's data
};

// When the retry message shows after the Key rejected the credential.
enum class RetryMessageWhen : unsigned char { Always, IfCredentialTyped };

struct CardType {
    CredentialStep step;
    int dialogTemplate;         // the credential dialog of the step; 0 when there is none
    const char* defaultText;    // the usual password that the formatting password dialog names
    UINT retryMessage;          // 0: the operation's own failure message
    RetryMessageWhen retryMessageWhen;
    int retryPromptTemplate;    // the dialog that asks again after a rejection; 0 when none
    bool retryRestarts;         // a rejection is followed by a new attempt
    int pinMinimum;             // the shortest PIN that the PIN dialog accepts
    UINT blockedMessage;        // when the credential has no tries left
    UINT credentialName;        // what the user types, as the series panel names it; 0: nothing
    const char* name;           // the type's name in receipts, which stay English
};

// The row of card type `code`. Codes without a meaning (0, 3 and any unknown one) share the
// row that asks for nothing and ends a rejected attempt with the failure message.
const CardType& CardTypeOf(int code);

// True when the type's credential dialog offers the choice "Clear all Key's data".
bool OffersClearAll(const CardType& type);
