#include "ui/main_dialog.h"

#include "app/app_context.h"

// Minimal start: shows template 101 and lets it be closed. Commands come later.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        g_app.mainDialog = dialog;
        SetWindowTextA(dialog, g_app.caption);
        ShowWindow(dialog, SW_SHOW);
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return FALSE;
    }
    return FALSE;
}
