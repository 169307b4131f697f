#include "ui/main_dialog.h"

#include "common/fault_guard.h"
#include "common/scaled_image.h"
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "core/policy.h"
#include "records/event_log.h"
#include "res/resource.h"
#include "support/support_library.h"
#include "text/message_box.h"
#include "text/text.h"
#include "ui/help.h"
#include "ui/policy_note.h"
#include "ui/series_panel.h"
#include "ui/version_info.h"
#include "workflow/series.h"
#include "workflow/workflow.h"

#include <cstring>

namespace {

constexpr UINT kHelpTimerDelay = 500;
constexpr DWORD kSessionEndWait = 5000;
constexpr int kLinkControls[] = {IDC_MAIN_WEB_LINK, IDC_MAIN_SUPPORT_LINK};
constexpr int kHeaderSize = 49; // pixels at 96 DPI
// Posted once the system has laid the dialog out for a new DPI.
constexpr UINT kRescaleImageMessage = WM_APP + 2; // WM_APP + 1 is the series probe

HFONT g_linkFont;
UINT_PTR g_helpTimer; // 0 while no help timer runs
HBITMAP g_headerImage; // as made for the window's DPI

// The dialog is already visible when its texts are set: a text that the template already
// shows is left as it is, so that the window is drawn once, when it first paints.
void SetItemText(HWND dialog, int id, UINT textId) { ReplaceItemText(dialog, id, LoadText(textId)); }

HBITMAP LoadBitmapResource(int id)
{
    return static_cast<HBITMAP>(LoadImageA(g_app.instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

// The header image at the window's scale: at 96 DPI bitmap 5009 as it is, else drawn anew
// at its size, smoothly, so that the image is neither stretched coarsely nor left tiny.
void SetHeaderImage(HWND dialog)
{
    const int size = MulDiv(kHeaderSize, WindowDpi(dialog), kBaseDpi);
    HBITMAP image = LoadBitmapResource(IDB_HEADER);
    if (size != kHeaderSize) {
        HBITMAP original = image;
        image = ScaledBitmap(original, size, size);
        DeleteObject(original);
    }
    SendDlgItemMessageA(dialog, IDC_MAIN_IMAGE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
    DeleteObject(g_headerImage);
    g_headerImage = image;
}

// Sets the cursor of the link controls' window class, so every window of it shows the hand.
void SetHandCursor(HWND dialog)
{
    HCURSOR hand = LoadCursorA(g_app.instance, MAKEINTRESOURCEA(IDC_HAND1));
    for (int id : kLinkControls)
        SetClassLongA(GetDlgItem(dialog, id), GCL_HCURSOR, static_cast<LONG>(reinterpret_cast<LONG_PTR>(hand)));
}

void SetLinkFont(HWND dialog)
{
    const int height = -MulDiv(8, GetDeviceCaps(WindowDc(dialog).get(), LOGPIXELSY), 72);
    g_linkFont = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             VARIABLE_PITCH | FF_SWISS, "Arial");
    for (int id : kLinkControls)
        SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(g_linkFont), TRUE);
}

void SetVersionTexts(HWND dialog)
{
    char version[kVersionFieldSize] = {};
    char keyLibraryVersion[kVersionFieldSize] = {};
    ReadVersionRecord(g_app.instance, nullptr, nullptr, nullptr, nullptr, nullptr, version, nullptr);
    SetDlgItemTextA(dialog, IDC_MAIN_PRODUCT_VERSION, version);
    // The product version must not stand in for a missing one.
    LoadedKeyLibraryVersion(keyLibraryVersion);
    SetDlgItemTextA(dialog, IDC_MAIN_KEYLIB_VERSION, keyLibraryVersion);
    SetEventLogVersions(version, keyLibraryVersion);
}

// The administrator forbids Unformat: however the command came (a command line, another
// program), it is refused with the reason, and a script learns it from the exit code.
void RefuseUnformat(HWND dialog)
{
    static bool telling; // a command posted again while the box shows adds no second box
    if (telling || g_attempt.busy)
        return;
    telling = true;
    g_app.exitCode = kExitNotAllowed;
    ShowMessage(dialog, IDS_UNFORMAT_NOT_ALLOWED, MB_ICONWARNING);
    telling = false;
}

// A command-line start looks only in the reader it names. While a series runs, it alone
// starts attempts.
void StartAttempt(HWND dialog, Operation operation, int button)
{
    if (SeriesRunning())
        return;
    if (operation == Operation::Unformat && !UnformatAllowed()) {
        RefuseUnformat(dialog);
        return;
    }
    const char* reader = g_app.argumentCount > 1 ? g_app.arguments[1] : nullptr;
    RunAttempt(dialog, {operation, reader, g_app.argumentCount == 0, button, ArgumentIs(2, kOccupyAllWord),
                        AttemptOptions{}, &kSingleAttempt, nullptr});
}

// A support library that faulted is not called again; the user learns why About is gone.
// While an attempt runs the image does nothing, as the buttons do.
void OnAbout(HWND dialog)
{
    if (g_attempt.busy)
        return;
    // What the box's own loop held back waits until the user has read why it went.
    const MessageHold hold;
    const bool shown = g_supportLibGuard.call([dialog] {
        ShowAbout(g_app.instance, g_app.languageModule, dialog, IDI_KEYPREP, kComponentFiles, nullptr, 0,
                  kWebHost, kSupportEmail, IDB_ABOUT, 255, 0, kCompanyWord, 1);
    });
    if (!shown)
        ShowMessage(dialog, IDS_ABOUT_UNAVAILABLE, MB_ICONERROR);
}

void OnExit(HWND dialog)
{
    // Never leave a Key half-formatted: while an attempt runs, closing is refused; in a series
    // it ends the series after this Key, then closes. A series waiting for its next Key ends first.
    if (g_attempt.busy) {
        RequestSeriesStop(dialog, true);
        return;
    }
    RequestSeriesStop(dialog, false);
    EndDialog(dialog, 0);
}

void OnCommand(HWND dialog, int id, int code)
{
    switch (id) {
    case IDC_MAIN_FORMAT:
        StartAttempt(dialog, Operation::Format, id);
        break;
    case IDC_MAIN_UNFORMAT:
        StartAttempt(dialog, Operation::Unformat, id);
        break;
    case IDC_MAIN_IMAGE:
    case IDC_MAIN_ABOUT:
        OnAbout(dialog);
        break;
    case IDC_MAIN_HELP:
        ShowHelp(dialog);
        break;
    case IDC_MAIN_EXIT:
        OnExit(dialog);
        break;
    default:
        OnSeriesCommand(dialog, id, code);
        break;
    }
}

void StartCommandLineOperation(HWND dialog)
{
    if (ArgumentIs(0, kFormatWord))
        PostMessageA(dialog, WM_COMMAND, IDC_MAIN_FORMAT, 0);
    else if (ArgumentIs(0, kUnformatWord))
        PostMessageA(dialog, WM_COMMAND, IDC_MAIN_UNFORMAT, 0);
    else if (ArgumentIs(0, kSeriesWord))
        PostMessageA(dialog, WM_COMMAND, IDC_MAIN_SERIES, 0);
}

// In context help mode the first mouse move opens the help, then further requests are
// dropped for half a second.
BOOL OnMouseMove(HWND dialog)
{
    if (GetCursor() != LoadCursorA(nullptr, IDC_HELP))
        return FALSE;
    SendMessageA(dialog, WM_HELP, 0, 0);
    if (g_helpTimer == 0)
        g_helpTimer = SetTimer(dialog, 1, kHelpTimerDelay, nullptr);
    return TRUE;
}

void OnTimer(HWND dialog, UINT_PTR timer)
{
    if (timer == kWorkerWatchTimer) {
        OnWorkerWatchTimer(dialog);
        return;
    }
    if (timer == kSeriesWatchTimer) {
        OnSeriesWatchTimer(dialog);
        return;
    }
    if (timer == kButtonsOffTimer) {
        TurnButtonsOff(dialog);
        return;
    }
    KillTimer(dialog, g_helpTimer);
    g_helpTimer = 0;
}

INT_PTR RefuseEndSessionWhileBusy(HWND dialog)
{
    if (!g_attempt.busy)
        return FALSE;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FALSE);
    return TRUE;
}

// Template 101 has six controls, yet the texts, fonts and cursors of more are set: the same
// procedure serves a richer main template, with version texts, links and Exit, as a build of
// the program may carry it. Setting a control that the template lacks does nothing.
void InitMainDialog(HWND dialog)
{
    g_app.mainDialog = dialog;
    SetClassLongA(dialog, GCL_HICON, static_cast<LONG>(reinterpret_cast<LONG_PTR>(
                                         LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_CREDENTIAL_DIALOG)))));
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_KEYPREP))));
    SetHeaderImage(dialog);
    SetHandCursor(dialog);
    SetLinkFont(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_MAIN_UNFORMAT), PolicyAllowsButton(IDC_MAIN_UNFORMAT));
    AddPolicyNote(dialog);
    ShowWindow(dialog, SW_SHOW);
    SetVersionTexts(dialog);
    ReplaceText(dialog, g_app.caption);
    SetItemText(dialog, IDC_MAIN_FORMAT, IDS_FORMAT);
    SetItemText(dialog, IDC_MAIN_UNFORMAT, IDS_UNFORMAT);
    SetItemText(dialog, IDC_MAIN_SERIES, IDS_SERIES);
    SetItemText(dialog, IDC_MAIN_EXIT, IDS_EXIT);
    SetItemText(dialog, IDC_MAIN_HELP, IDS_HELP);
    SetItemText(dialog, IDC_MAIN_ABOUT, IDS_ABOUT);
    SetItemText(dialog, IDC_MAIN_DESCRIPTION, IDS_DESCRIPTION);
    SetItemText(dialog, IDC_MAIN_PRODUCT_LABEL, IDS_PRODUCT_VERSION);
    SetItemText(dialog, IDC_MAIN_KEYLIB_LABEL, IDS_KEYLIB_VERSION);
}

// Work that must wait while a library call (or the session-end wait) is on this thread's
// stack: a modal loop in there dispatches these messages too.
bool IsHeldWork(UINT message)
{
    return message == WM_COMMAND || message == WM_CLOSE || message == WM_HELP || message == WM_TIMER ||
           message == kStatusMessage || message == kSeriesProbeMessage;
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // WM_HELP's information lives only as long as the message is being sent.
    if (IsHeldWork(message) && HoldBack(dialog, message, wParam, message == WM_HELP ? 0 : lParam))
        return message == WM_HELP;
    switch (message) {
    case WM_INITDIALOG:
        InitMainDialog(dialog);
        if (g_app.argumentCount > 0)
            StartCommandLineOperation(dialog);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_CLOSE:
        SendMessageA(dialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
        return FALSE;
    case WM_DESTROY:
        DeleteObject(g_linkFont);
        g_linkFont = nullptr;
        DeleteObject(g_headerImage);
        g_headerImage = nullptr;
        return FALSE;
    case WM_DPICHANGED:
        // The system lays the dialog out for the new DPI when this returns; the image follows.
        PostMessageA(dialog, kRescaleImageMessage, 0, 0);
        return FALSE;
    case WM_SIZE:
        PlacePolicyNote(dialog);
        return FALSE;
    case kRescaleImageMessage:
        SetHeaderImage(dialog);
        return FALSE;
    case WM_HELP:
        if (g_helpTimer == 0)
            ShowHelp(dialog);
        return TRUE;
    case WM_MOUSEMOVE:
        return !HoldingMessages() && OnMouseMove(dialog);
    case WM_TIMER:
        OnTimer(dialog, wParam);
        return FALSE;
    case WM_QUERYENDSESSION:
        return RefuseEndSessionWhileBusy(dialog);
    case WM_ENDSESSION:
        // The session ends anyway: the process may go once the Key is no longer being changed,
        // but a worker that does not finish must not hold the session up. A series records its
        // Key in hand and ends before the process can go.
        if (wParam) {
            WaitForWorkerToEnd(kSessionEndWait);
            EndSeriesQuietly(dialog);
        }
        return FALSE;
    case kStatusMessage:
        HandleStatusMessage(dialog, wParam);
        return FALSE;
    case kSeriesProbeMessage:
        OnSeriesProbe(dialog, wParam);
        return FALSE;
    case WM_CHAR:
        return KeepTypedForPrompt(wParam);
    }
    return FALSE;
}
