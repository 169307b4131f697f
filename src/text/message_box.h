#pragma once
#include <windows.h>

// Shows string `id` in a message box with the caption as title; returns the button pressed.
int ShowMessage(HWND owner, UINT id, UINT style);

// The same for a text that is already formatted.
int ShowText(HWND owner, const char* text, UINT style);
