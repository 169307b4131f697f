// Template 122: what a series will do to every Key, with the choice to reformat Keys that
// already hold the maker's data without asking each time.
#include "dialogs/series_confirm_dialog.h"

#include "core/app_context.h"
#include "res/resource.h"
#include "text/text.h"

namespace {

struct Confirmation {
    const char* reader;
    bool reformat;
};

void OnInit(HWND dialog, Confirmation* confirmation)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(confirmation));
    SetWindowTextA(dialog, g_app.caption);
    char text[kSharedTextSize];
    SetDlgItemTextA(dialog, IDC_SERIES_CONFIRM_TEXT, FormatTextArg(IDS_SERIES_CONFIRM, confirmation->reader, text, sizeof text));
    SetDlgItemTextA(dialog, IDC_SERIES_REFORMAT, LoadText(IDS_SERIES_REFORMAT));
    SetDlgItemTextA(dialog, IDYES, LoadText(IDS_SERIES_START));
    SetDlgItemTextA(dialog, IDNO, LoadText(IDS_CANCEL));
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDNO)), TRUE);
}

INT_PTR CALLBACK SeriesConfirmDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        OnInit(dialog, reinterpret_cast<Confirmation*>(lParam));
        return FALSE; // the focus is on No
    }
    if (message != WM_COMMAND)
        return FALSE;
    const int id = LOWORD(wParam);
    if (id == IDYES) {
        reinterpret_cast<Confirmation*>(GetWindowLongPtrA(dialog, DWLP_USER))->reformat =
            IsDlgButtonChecked(dialog, IDC_SERIES_REFORMAT) != 0;
        EndDialog(dialog, IDYES);
    } else if (id == IDNO || id == IDCANCEL || id == IDC_CLOSE_COMMAND) {
        EndDialog(dialog, IDNO);
    }
    return FALSE;
}

} // namespace

bool ConfirmSeries(HWND owner, const char* reader, bool* reformat)
{
    Confirmation confirmation{reader, false};
    const bool start = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_SERIES_CONFIRM), owner,
                                       SeriesConfirmDialogProc, reinterpret_cast<LPARAM>(&confirmation)) == IDYES;
    *reformat = start && confirmation.reformat;
    return start;
}
