// The main dialog: the program's only top-level window.
#pragma once
#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Sets up the dialog once, from WM_INITDIALOG: icon, images, fonts, versions and texts.
void InitMainDialog(HWND dialog);
