#include "ui/policy_note.h"

#include "common/scaled_image.h"
#include "core/app_context.h"
#include "core/policy.h"
#include "res/resource.h"
#include "text/text.h"

#include <cstring>

namespace {

constexpr int kPolicyNoteMargin = 6; // dialog units below the note
constexpr int kPolicyNoteGap = 2;    // dialog units above the note, beyond the template's margin

} // namespace

// The administrator's values in a line under the buttons, so that a technician sees why
// Unformat is off; the dialog grows for it. Only while some policy is set.
void AddPolicyNote(HWND dialog)
{
    if (!AnyPolicySet())
        return;
    char note[kSharedTextSize];
    LoadText(IDS_POLICY_SET, note, sizeof note);
    const auto add = [&note](const char* part) {
        std::strncat(note, " ", sizeof note - std::strlen(note) - 1);
        std::strncat(note, part, sizeof note - std::strlen(note) - 1);
    };
    if (PolicySet(kPolicyAllowUnformat))
        add(LoadText(UnformatAllowed() ? IDS_POLICY_UNFORMAT_ON : IDS_POLICY_UNFORMAT_OFF));
    if (PolicySet(kPolicyAllowKeptCredentials))
        add(LoadText(KeptCredentialsAllowed() ? IDS_POLICY_KEEP_ON : IDS_POLICY_KEEP_OFF));
    char reason[kSharedTextSize];
    char folderLine[kSharedTextSize];
    const char* folderArgs[] = {PolicyReceiptsFolderAsSet(), LoadText(PolicyReceiptsFolderProblem(), reason, sizeof reason)};
    if (PolicySet(kPolicyReceiptsFolder))
        add(PolicyReceiptsFolderProblem() != 0 ? FormatText(IDS_POLICY_RECEIPTS_UNUSABLE, folderLine, sizeof folderLine, folderArgs, 2)
                                               : FormatTextArg(IDS_POLICY_RECEIPTS, PolicyReceiptsFolder()));

    // As wide as the window's content; as high as the text wraps at this font and DPI. A long
    // folder name without spaces breaks where the line ends.
    RECT place = {8, kPolicyNoteGap, 236, kPolicyNoteMargin};
    MapDialogRect(dialog, &place);
    const auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    RECT text = {0, 0, place.right, 0};
    {
        const WindowDc dc(dialog);
        const HGDIOBJ old = SelectObject(dc.get(), font);
        DrawTextA(dc.get(), note, -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        SelectObject(dc.get(), old);
    }
    HWND control = CreateWindowExA(0, "Static", note, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL,
                                   place.left, 0, place.right, text.bottom, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_POLICY_NOTE)),
                                   g_app.instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The resize places the note (WM_SIZE).
    GrowWindow(dialog, place.top + text.bottom + place.bottom);
}

void PlacePolicyNote(HWND dialog)
{
    HWND note = GetDlgItem(dialog, IDC_MAIN_POLICY_NOTE);
    if (note == nullptr)
        return;
    RECT margin = {0, 0, 0, kPolicyNoteMargin};
    MapDialogRect(dialog, &margin);
    RECT client;
    GetClientRect(dialog, &client);
    RECT place;
    GetWindowRect(note, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    // Moved without its old pixels: under Wine they were copied before the note had been drawn
    // there, and the note stayed blank.
    SetWindowPos(note, nullptr, place.left, client.bottom - margin.bottom - (place.bottom - place.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}

