#include "ui/series_panel.h"

#include "common/scaled_image.h"
#include "core/app_context.h"
#include "core/card_types.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"
#include "text/text.h"
#include "ui/version_info.h"
#include "workflow/series.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMostShownResults = 50;
constexpr int kPanelHeight = 212; // dialog units below the usual content
constexpr int kLeastResultsHeight = 20; // dialog units: two rows, on a screen too low for more

// A control of the series' part of the window, in dialog units.
HWND AddControl(HWND dialog, const char* className, DWORD style, int id, RECT place, UINT textId)
{
    MapDialogRect(dialog, &place);
    HWND control = CreateWindowExA(0, className, textId != 0 ? LoadText(textId) : "", WS_CHILD | WS_VISIBLE | style,
                                   place.left, place.top, place.right, place.bottom, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_app.instance, nullptr);
    SendMessageA(control, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
    return control;
}

WNDPROC g_listProcedure;

// Keys typed at the results list while the series waits may be the start of a credential for
// the Key about to be connected, and those that reach it as the Key's prompt comes belong to
// the prompt: neither goes to the list.
LRESULT CALLBACK ResultsListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CHAR && (TakeTypedWhileWaiting(static_cast<char>(wParam)) || KeepTypedForPrompt(wParam)))
        return 0;
    return CallWindowProcA(g_listProcedure, list, message, wParam, lParam);
}

// Where the grown window is taller than the screen's work area, the results list gives up
// rows, so that Stop and the policy note below it stay on the screen.
void FitResultsToScreen(HWND dialog)
{
    RECT least = {0, 0, 0, kLeastResultsHeight};
    MapDialogRect(dialog, &least);
    FitWindowToWorkArea(dialog, IDC_SERIES_RESULTS, least.bottom);
}

// The panel, made once: the window grows for it. The list has its label before it, which
// gives it its mnemonic and its name for a screen reader; it takes the focus while the series
// runs, for typing at it starts nothing. The selected result shows whole below it.
void CreatePanel(HWND dialog)
{
    RECT grow = {0, 0, 0, kPanelHeight};
    MapDialogRect(dialog, &grow);
    GrowWindow(dialog, grow.bottom);
    HWND icon = AddControl(dialog, "Static", SS_ICON, IDC_SERIES_ICON, {8, 84, 20, 20}, 0);
    SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_ERROR)), 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_STATE, {32, 84, 212, 56}, 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_COUNT, {8, 142, 236, 9}, 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_KEPT, {8, 153, 236, 9}, 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_RECEIPTS_NOTE, {8, 163, 236, 17}, 0);
    AddControl(dialog, "Static", SS_LEFT, IDC_SERIES_RESULTS_LABEL, {8, 182, 236, 8}, IDS_SERIES_RESULTS_LABEL);
    HWND list = AddControl(dialog, "ListBox",
                           WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                           IDC_SERIES_RESULTS, {8, 191, 236, 62}, 0);
    g_listProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ResultsListProc)));
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_RESULT_WHOLE, {8, 255, 236, 18}, 0);
    AddControl(dialog, "Button", BS_PUSHBUTTON | WS_TABSTOP, IDC_SERIES_STOP, {8, 274, 72, 14}, IDS_SERIES_STOP);
    AddControl(dialog, "Button", BS_PUSHBUTTON | WS_TABSTOP, IDC_SERIES_SHOW_RECEIPTS, {86, 274, 90, 14},
               IDS_SERIES_SHOW_RECEIPTS);
    FitResultsToScreen(dialog);
}

void ShowPanel(HWND dialog)
{
    if (GetDlgItem(dialog, IDC_SERIES_STATE) == nullptr)
        CreatePanel(dialog);
    SendDlgItemMessageA(dialog, IDC_SERIES_RESULTS, LB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(dialog, IDC_SERIES_RESULTS, LB_SETHORIZONTALEXTENT, 0, 0);
}

// Sets a text of the panel; a change of the state is announced to screen readers.
void SetPanelText(HWND dialog, int id, const char* text)
{
    HWND control = GetDlgItem(dialog, id);
    char shown[kSharedTextSize * 2];
    GetWindowTextA(control, shown, sizeof shown);
    if (std::strcmp(shown, text) == 0)
        return;
    SetWindowTextA(control, text);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

// What the state line says in each phase. A failed Key stays told until the next one comes.
UINT StateText(const SeriesStatus& status)
{
    switch (status.phase) {
    case SeriesPhase::Waiting:
        if (status.reader[0] == '\0')
            return IDS_SERIES_WAITING_FIRST;
        return status.lastFailed ? IDS_SERIES_FAILED_NEXT : IDS_SERIES_WAITING;
    case SeriesPhase::Working:
        return IDS_SERIES_WORKING;
    case SeriesPhase::RemoveKey:
        return status.lastDone ? IDS_SERIES_REMOVE_KEY : IDS_SERIES_REMOVE_UNCHANGED;
    case SeriesPhase::KeyFailed:
        return IDS_SERIES_FAILED_KEY;
    case SeriesPhase::Stopping:
        return IDS_SERIES_STOPPING;
    case SeriesPhase::Off:
        break;
    }
    return status.lastFailed ? IDS_SERIES_FAILED_ENDED : IDS_SERIES_STOPPED;
}

void ShowState(HWND dialog, const SeriesStatus& status)
{
    char text[kSharedTextSize * 2];
    const UINT id = StateText(status);
    const char* readerFirst[] = {status.reader, status.lastMessage};
    const char* messageFirst[] = {status.lastMessage, status.reader};
    const bool messageLeads = id == IDS_SERIES_FAILED_NEXT || id == IDS_SERIES_FAILED_ENDED;
    const int count = id == IDS_SERIES_FAILED_KEY || id == IDS_SERIES_FAILED_NEXT ? 2
                      : id == IDS_SERIES_FAILED_ENDED                              ? 1
                      : id == IDS_SERIES_STOPPED || id == IDS_SERIES_WAITING_FIRST ? 0
                                                                                   : 1;
    FormatText(id, text, sizeof text, messageLeads ? messageFirst : readerFirst, count);
    SetPanelText(dialog, IDC_SERIES_STATE, text);
    const bool failedShown = status.lastFailed && status.phase != SeriesPhase::Working &&
                             status.phase != SeriesPhase::Stopping;
    ShowWindow(GetDlgItem(dialog, IDC_SERIES_ICON), failedShown ? SW_SHOWNA : SW_HIDE);
}

void ShowCounts(HWND dialog, const SeriesStatus& status)
{
    char counts[3][16];
    std::snprintf(counts[0], sizeof counts[0], "%d", status.done);
    std::snprintf(counts[1], sizeof counts[1], "%d", status.failed);
    std::snprintf(counts[2], sizeof counts[2], "%d", status.notFormatted);
    const char* args[] = {counts[0], counts[1], counts[2]};
    char text[kSharedTextSize];
    SetPanelText(dialog, IDC_SERIES_COUNT, FormatText(IDS_SERIES_COUNT, text, sizeof text, args, 3));
}

// Which credentials the next Keys get without a question, by what the user typed.
void ShowKept(HWND dialog)
{
    char names[kSharedTextSize] = "";
    UINT named[kCardTypeCodes] = {};
    int count = 0;
    for (int code = 0; code < kCardTypeCodes; ++code) {
        const UINT name = CardTypeOf(code).credentialName;
        if (!HasKeptCredential(code) || name == 0 || std::find(named, named + count, name) != named + count)
            continue;
        named[count] = name;
        const size_t used = std::strlen(names);
        std::snprintf(names + used, sizeof names - used, "%s%s", count++ == 0 ? "" : ", ", LoadText(name));
    }
    char text[kSharedTextSize];
    SetPanelText(dialog, IDC_SERIES_KEPT,
                 count > 0 ? FormatTextArg(IDS_SERIES_KEPT, names, text, sizeof text) : LoadText(IDS_SERIES_NOTHING_KEPT));
}

// While the series runs the focus rests on the results, where plain keys and Enter start
// nothing; when it has ended, on Several Keys.
void KeepFocus(HWND dialog, bool running)
{
    HWND focus = GetFocus();
    HWND target = GetDlgItem(dialog, running ? IDC_SERIES_RESULTS : IDC_MAIN_SERIES);
    if (!running && focus != nullptr && focus != dialog && IsWindowEnabled(focus))
        return;
    if (!IsWindowEnabled(target))
        target = GetDlgItem(dialog, IDC_SERIES_RESULTS);
    if (target != focus)
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

// Whether receipts wait for the administrator's folder or reached it, and any queue bytes
// that were no receipt.
void ShowReceiptsNote(HWND dialog, const ReceiptsState& receipts)
{
    char note[kSharedTextSize] = "";
    if (receipts.waiting || receipts.delivered)
        LoadText(receipts.waiting ? IDS_SERIES_RECEIPTS_QUEUED : IDS_SERIES_RECEIPTS_DELIVERED, note, sizeof note);
    if (receipts.keptAside) {
        const char* name = std::strrchr(ReceiptsAsidePath(), '\\');
        std::strncat(note, note[0] != '\0' ? " " : "", sizeof note - std::strlen(note) - 1);
        std::strncat(note, FormatTextArg(IDS_SERIES_RECEIPTS_ASIDE, name != nullptr ? name + 1 : ReceiptsAsidePath()),
                     sizeof note - std::strlen(note) - 1);
    }
    SetPanelText(dialog, IDC_SERIES_RECEIPTS_NOTE, note);
}

// Stop, which while the Key is worked on turns into the way to take the stop back; closing
// the window cannot be taken back.
void ShowStopButton(HWND dialog, const SeriesStatus& status)
{
    const bool stopping = status.phase == SeriesPhase::Stopping;
    HWND stop = GetDlgItem(dialog, IDC_SERIES_STOP);
    ReplaceText(stop, LoadText(stopping && !status.closing ? IDS_SERIES_RESUME : IDS_SERIES_STOP));
    EnableWindow(stop, status.phase != SeriesPhase::Off && !status.closing);
}

void UpdatePanel(HWND dialog, const SeriesStatus& status)
{
    ShowState(dialog, status);
    ShowCounts(dialog, status);
    ShowKept(dialog);
    ShowReceiptsNote(dialog, status.receipts);
    ShowStopButton(dialog, status);
    if (!g_attempt.busy)
        KeepFocus(dialog, status.phase != SeriesPhase::Off);
}

// The selected result, whole, below the list.
void ShowSelectedResult(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_SERIES_RESULTS);
    const auto selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    char line[kSharedTextSize + 64] = "";
    if (selected >= 0 && SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(selected), 0) < LRESULT{sizeof line})
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(line));
    SetPanelText(dialog, IDC_SERIES_RESULT_WHOLE, line);
}

// The newest result first and selected; the list scrolls sideways, and the selected line shows
// whole below it. A failed Key is announced to screen readers at once.
void AddResult(HWND dialog, const char* line, bool failed)
{
    HWND list = GetDlgItem(dialog, IDC_SERIES_RESULTS);
    SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageA(list, LB_DELETESTRING, kMostShownResults, 0);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    ShowSelectedResult(dialog);
    HDC dc = GetDC(list);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, line, static_cast<int>(std::strlen(line)), &size);
    SelectObject(dc, font);
    ReleaseDC(list, dc);
    const auto extent = static_cast<LONG>(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
    if (size.cx + 8 > extent)
        SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + 8), 0);
    if (failed)
        NotifyWinEvent(EVENT_SYSTEM_ALERT, GetDlgItem(dialog, IDC_SERIES_STATE), OBJID_CLIENT, CHILDID_SELF);
}

constexpr SeriesPanel kPanel{ShowPanel, UpdatePanel, AddResult};

void Start(HWND dialog)
{
    char version[kVersionFieldSize] = {};
    char keyLibraryVersion[kVersionFieldSize] = {};
    ReadVersionRecord(g_app.instance, nullptr, nullptr, nullptr, nullptr, nullptr, version, nullptr);
    LoadedKeyLibraryVersion(keyLibraryVersion);
    StartSeries(dialog, kPanel, version, keyLibraryVersion);
}

} // namespace

const SeriesPanel& MainDialogSeriesPanel() { return kPanel; }

void OnSeriesCommand(HWND dialog, int id, int code)
{
    if (id == IDC_SERIES_RESULTS && code == LBN_SELCHANGE)
        ShowSelectedResult(dialog);
    else if (id == IDC_MAIN_SERIES)
        Start(dialog);
    else if (id == IDC_SERIES_STOP)
        PressSeriesStop(dialog);
    else if (id == IDC_SERIES_SHOW_RECEIPTS)
        ShowSeriesReceipts();
}
