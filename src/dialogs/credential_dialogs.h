// The seven credential dialogs. Each is opened with DialogBoxParamA, owned by the main
// dialog, and ends with 1 after an accepted OK, 0 after Cancel or the close command.
// The transport key and formatting password dialogs take a default text (or null) as
// creation parameter; the others take null.
#pragma once
#include <windows.h>

INT_PTR CALLBACK TransportKeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FormattingPasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SoPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SoPinClearAllDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AdminPinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PassPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the credential dialog of template `templateId`, owned by `owner`, with `defaultText`
// as creation parameter. True only after an accepted OK: Cancel, the close command and a
// dialog that failed to open (or an unknown template) all end the step.
bool AskInCredentialDialog(HWND owner, int templateId, const char* defaultText = nullptr);

// A character that reached the main window while a credential prompt is about to show or
// shows (the keyboard's focus was elsewhere when it was typed): it goes to the prompt's field,
// or is kept for it. False when no prompt is near, and the character is the window's.
bool KeepTypedForPrompt(WPARAM character);
