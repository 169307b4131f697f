#include "ui/series_panel.h"

#include "common/scaled_image.h"
#include "core/app_context.h"
#include "core/card_types.h"
#include "core/policy.h"
#include "res/resource.h"
#include "text/text.h"
#include "ui/version_info.h"
#include "workflow/series.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMostShownResults = 50;
constexpr int kPanelHeight = 170; // dialog units below the usual content

// A control of the series' part of the window, in dialog units.
void AddControl(HWND dialog, const char* className, DWORD style, int id, RECT place, UINT textId)
{
    MapDialogRect(dialog, &place);
    HWND control = CreateWindowExA(0, className, textId != 0 ? LoadText(textId) : "", WS_CHILD | WS_VISIBLE | style,
                                   place.left, place.top, place.right, place.bottom, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_app.instance, nullptr);
    SendMessageA(control, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
}

// The panel, made once: the window grows for it. The list has its label before it, which
// gives it its mnemonic and its name for a screen reader.
void CreatePanel(HWND dialog)
{
    RECT grow = {0, 0, 0, kPanelHeight};
    MapDialogRect(dialog, &grow);
    GrowWindow(dialog, grow.bottom);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_STATE, {8, 84, 236, 53}, 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_COUNT, {8, 139, 236, 9}, 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_KEPT, {8, 150, 236, 9}, 0);
    AddControl(dialog, "Static", SS_LEFT | SS_NOPREFIX, IDC_SERIES_RECEIPTS_NOTE, {8, 160, 236, 17}, 0);
    AddControl(dialog, "Static", SS_LEFT, IDC_SERIES_RESULTS_LABEL, {8, 179, 236, 8}, IDS_SERIES_RESULTS_LABEL);
    AddControl(dialog, "ListBox", WS_BORDER | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT,
               IDC_SERIES_RESULTS, {8, 188, 236, 40}, 0);
    AddControl(dialog, "Button", BS_PUSHBUTTON | WS_TABSTOP, IDC_SERIES_STOP, {8, 232, 72, 14}, IDS_SERIES_STOP);
    AddControl(dialog, "Button", BS_PUSHBUTTON | WS_TABSTOP, IDC_SERIES_SHOW_RECEIPTS, {86, 232, 90, 14},
               IDS_SERIES_SHOW_RECEIPTS);
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

// What the state line says in each phase.
UINT StateText(const SeriesStatus& status)
{
    switch (status.phase) {
    case SeriesPhase::Waiting:
        return IDS_SERIES_WAITING;
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
    return IDS_SERIES_STOPPED;
}

void ShowState(HWND dialog, const SeriesStatus& status)
{
    char text[kSharedTextSize * 2];
    const char* args[] = {status.reader, status.lastMessage};
    const UINT id = StateText(status);
    if (id == IDS_SERIES_STOPPED)
        LoadText(id, text, sizeof text);
    else
        FormatText(id, text, sizeof text, args, id == IDS_SERIES_FAILED_KEY ? 2 : 1);
    SetPanelText(dialog, IDC_SERIES_STATE, text);
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

// A control that went off takes the focus with it: it goes to Stop while the series runs,
// and back to Several Keys when it has ended.
void KeepFocus(HWND dialog, bool running)
{
    HWND focus = GetFocus();
    if (focus != nullptr && focus != dialog && IsWindowEnabled(focus))
        return;
    HWND target = GetDlgItem(dialog, running ? IDC_SERIES_STOP : IDC_MAIN_SERIES);
    if (IsWindowEnabled(target))
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

void UpdatePanel(HWND dialog, const SeriesStatus& status)
{
    ShowState(dialog, status);
    ShowCounts(dialog, status);
    ShowKept(dialog);
    ShowReceiptsNote(dialog, status.receipts);
    const bool running = status.phase != SeriesPhase::Off;
    EnableWindow(GetDlgItem(dialog, IDC_SERIES_STOP), running && status.phase != SeriesPhase::Stopping);
    for (int id : {IDC_MAIN_FORMAT, IDC_MAIN_UNFORMAT, IDC_MAIN_SERIES})
        EnableWindow(GetDlgItem(dialog, id), !running && !g_attempt.busy && PolicyAllowsButton(id));
    if (!g_attempt.busy)
        KeepFocus(dialog, running);
}

// The newest result first; the list scrolls sideways so that no message is cut.
void AddResult(HWND dialog, const char* line)
{
    HWND list = GetDlgItem(dialog, IDC_SERIES_RESULTS);
    SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageA(list, LB_DELETESTRING, kMostShownResults, 0);
    HDC dc = GetDC(list);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, line, static_cast<int>(std::strlen(line)), &size);
    SelectObject(dc, font);
    ReleaseDC(list, dc);
    const auto extent = static_cast<LONG>(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
    if (size.cx + 8 > extent)
        SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + 8), 0);
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

void OnSeriesCommand(HWND dialog, int id)
{
    if (id == IDC_MAIN_SERIES)
        Start(dialog);
    else if (id == IDC_SERIES_STOP)
        RequestSeriesStop(dialog, false);
    else if (id == IDC_SERIES_SHOW_RECEIPTS)
        ShowSeriesReceipts();
}
