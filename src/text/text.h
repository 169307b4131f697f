// The program's texts: string-table lookups through the language library, and formatting.
#pragma once
#include <windows.h>

constexpr int kSharedTextSize = 1024;

// Loads "<baseName>_lang.dll"; without it the executable's own strings are used.
bool LoadLanguageLibrary(const char* baseName);

// Fetches string `id` into `buffer` (or the shared text buffer when null) of `size`
// characters (-1 = 1024). Never fails: a missing string gives the empty text.
char* LoadText(UINT id, char* buffer = nullptr, int size = -1);

// Fills the text arguments into format string `id`. A format whose conversions do not
// match the arguments (only %s is accepted, once per argument) is replaced by the
// executable's own string, else by the empty text. The result is cut to the target size.
char* FormatText(UINT id, char* target, int targetSize, const char* const* args, int argCount);

// FormatText for a message that quotes what it was given (a reader name from the command
// line): arguments too long for the target are shortened, each ending in an ellipsis, so
// that the message's own words always show whole.
char* FormatTextFitted(UINT id, char* target, int targetSize, const char* const* args, int argCount);

// Copies `text` into `target` of `size` bytes; a text too long for it is cut to end in an
// ellipsis, so that it reads as cut and names nothing that its first part names.
char* CopyShortened(char* target, size_t size, const char* text);

// FormatText with one text argument, for the messages with a single %s.
char* FormatTextArg(UINT id, const char* arg, char* target = nullptr, int targetSize = -1);

// Sets a window's text unless it shows that text already: on a visible window every new text
// is drawn at once, and each one costs time before a dialog shows.
void ReplaceText(HWND window, const char* text);

// ReplaceText on a dialog's control.
void ReplaceItemText(HWND dialog, int controlId, const char* text);
