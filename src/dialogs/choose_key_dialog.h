// The choice between several readers that each hold a usable Key.
#pragma once
#include <windows.h>

// Lets the user choose one of the `count` readers named in `readerNames`, owned by `owner`,
// with prompt `promptId`; the index of the one chosen, or -1 after Cancel (or when the dialog
// could not open).
int ChooseKey(HWND owner, const char* const* readerNames, int count, UINT promptId);
