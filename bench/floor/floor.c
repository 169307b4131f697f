// The floor of the start-up benchmark: the main dialog's template shown by the least code
// that can show it. Built with BENCH_LOAD_LIBRARIES it also loads both maker libraries.
#include <windows.h>

#include "resource.h"

static INT_PTR CALLBACK FloorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    (void)commandLine;
    (void)show;
#ifdef BENCH_LOAD_LIBRARIES
    // The same load order as keyprep.exe: the support library first, then the key library.
    HMODULE support = LoadLibraryA("plinth.dll");
    HMODULE keyLibrary = support ? LoadLibraryA("cardwyn32.dll") : NULL;
    if (keyLibrary == NULL)
        return 1; // the probe reports a floor that ends without a window
#endif
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, FloorDialogProc, 0);
#ifdef BENCH_LOAD_LIBRARIES
    FreeLibrary(keyLibrary);
    FreeLibrary(support);
#endif
    return 0;
}
