#pragma once
#include <windows.h>

// Shows string `id` in a message box with the caption as title; returns the button pressed.
int ShowMessage(HWND owner, UINT id, UINT style);
