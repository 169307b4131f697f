// Template 121: which of the connected Keys the attempt is for. Nothing is chosen in advance,
// so that Enter alone never picks one.
#include "dialogs/choose_key_dialog.h"

#include "core/app_context.h"
#include "res/resource.h"
#include "text/text.h"

namespace {

struct Choice {
    const char* const* names;
    int count;
    UINT prompt;
    int chosen;
};

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_CHOOSE_KEY_LIST); }

void OnInit(HWND dialog, Choice* choice)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(choice));
    SetWindowTextA(dialog, g_app.caption);
    SetDlgItemTextA(dialog, IDC_CHOOSE_KEY_PROMPT, LoadText(choice->prompt));
    SetDlgItemTextA(dialog, IDC_CHOOSE_KEY_LABEL, LoadText(IDS_CHOOSE_KEY_LABEL));
    SetDlgItemTextA(dialog, IDOK, LoadText(IDS_OK));
    SetDlgItemTextA(dialog, IDCANCEL, LoadText(IDS_CANCEL));
    for (int i = 0; i < choice->count; ++i)
        SendMessageA(List(dialog), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice->names[i]));
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
}

void OnOk(HWND dialog)
{
    const auto selected = static_cast<int>(SendMessageA(List(dialog), LB_GETCURSEL, 0, 0));
    if (selected == LB_ERR)
        return;
    reinterpret_cast<Choice*>(GetWindowLongPtrA(dialog, DWLP_USER))->chosen = selected;
    EndDialog(dialog, IDOK);
}

void OnListNotification(HWND dialog, WORD notification)
{
    if (notification == LBN_SELCHANGE)
        EnableWindow(GetDlgItem(dialog, IDOK), SendMessageA(List(dialog), LB_GETCURSEL, 0, 0) != LB_ERR);
    else if (notification == LBN_DBLCLK)
        OnOk(dialog);
}

INT_PTR CALLBACK ChooseKeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        OnInit(dialog, reinterpret_cast<Choice*>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOk(dialog);
        break;
    case IDC_CHOOSE_KEY_LIST:
        OnListNotification(dialog, HIWORD(wParam));
        break;
    case IDCANCEL:
    case IDC_CLOSE_COMMAND:
        EndDialog(dialog, IDCANCEL);
        break;
    }
    return FALSE;
}

} // namespace

int ChooseKey(HWND owner, const char* const* readerNames, int count, UINT promptId)
{
    Choice choice{readerNames, count, promptId, -1};
    if (DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_CHOOSE_KEY), owner, ChooseKeyDialogProc,
                        reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return -1;
    return choice.chosen;
}
