// Not a test: opens one window of the program on its own, as the workflow would, in the
// language of a keyprep_lang.dll beside it, so that it can be looked at and photographed.
//   show_dialog.exe transport-key|formatting-password|pin|so-pin|so-pin-clear-all|
//                   admin-pin|pass-phrase [default text] [--credential TEXT]
//   show_dialog.exe choose-key | about | message ID
//   show_dialog.exe series waiting|working|done|skipped|failed|stopping|ended
//   A credential dialog with --series shows the box that keeps its credential for a series.
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "dialogs/choose_key_dialog.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"
#include "support/support_library.h"
#include "text/message_box.h"
#include "text/text.h"
#include "ui/main_dialog.h"
#include "ui/series_panel.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

const struct {
    const char* name;
    int templateId;
    DLGPROC procedure;
} kDialogs[] = {
    {"transport-key", IDD_TRANSPORT_KEY, TransportKeyDialogProc},
    {"formatting-password", IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc},
    {"pin", IDD_PIN, PinDialogProc},
    {"so-pin", IDD_SO_PIN, SoPinDialogProc},
    {"so-pin-clear-all", IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc},
    {"admin-pin", IDD_ADMIN_PIN, AdminPinDialogProc},
    {"pass-phrase", IDD_PASS_PHRASE, PassPhraseDialogProc},
};

const char* const kReaders[] = {"Simulated Reader 0", "Simulated Reader 1"};

// The main dialog with a series in the state `state`, drawn by the program's own panel.
int ShowSeries(const char* state)
{
    const struct {
        const char* name;
        SeriesPhase phase;
        bool lastDone;
        UINT lastMessage;
    } kStates[] = {
        {"waiting", SeriesPhase::Waiting, true, IDS_SUCCESS},
        {"working", SeriesPhase::Working, true, IDS_SUCCESS},
        {"done", SeriesPhase::RemoveKey, true, IDS_SUCCESS},
        {"skipped", SeriesPhase::RemoveKey, false, IDS_SERIES_SKIPPED},
        {"failed", SeriesPhase::KeyFailed, false, IDS_SERIES_NO_FREE_SPACE},
        {"failed-gone", SeriesPhase::Waiting, false, IDS_SERIES_NO_FREE_SPACE},
        {"stopping", SeriesPhase::Stopping, true, IDS_SUCCESS},
        {"ended", SeriesPhase::Off, true, IDS_SUCCESS},
    };
    HWND dialog = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    const SeriesPanel& panel = MainDialogSeriesPanel();
    panel.show(dialog);
    for (const UINT message : {IDS_SUCCESS, IDS_SERIES_SKIPPED, IDS_SERIES_NO_FREE_SPACE, IDS_SUCCESS})
        panel.addResult(dialog, LoadText(message), message == IDS_SERIES_NO_FREE_SPACE);
    g_attempt.kept[8].kept = true;
    for (const auto& shown : kStates) {
        if (std::strcmp(shown.name, state != nullptr ? state : "") != 0)
            continue;
        SeriesStatus status{};
        status.phase = shown.phase;
        std::strcpy(status.reader, "Simulated Reader 0");
        status.done = 2;
        status.failed = status.notFormatted = 1;
        status.lastDone = shown.lastDone;
        status.lastFailed = shown.lastMessage == IDS_SERIES_NO_FREE_SPACE;
        status.receipts.waiting = shown.phase == SeriesPhase::Waiting; // with receipts waiting for the share
        LoadText(shown.lastMessage, status.lastMessage, sizeof status.lastMessage);
        panel.update(dialog, status);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    return 0;
}

// The other windows: the choice between Keys, the support library's About box, a message.
int ShowOther(const char* name, const char* argument)
{
    if (std::strcmp(name, "series") == 0)
        return ShowSeries(argument);
    if (std::strcmp(name, "choose-key") == 0)
        return ChooseKey(nullptr, kReaders, 2, IDS_CHOOSE_KEY_TO_FORMAT);
    if (std::strcmp(name, "about") == 0 && BindSupportLibrary(&g_app.supportLibrary))
        return ShowAbout(g_app.instance, g_app.languageModule, nullptr, IDI_KEYPREP, kComponentFiles, nullptr, 0,
                         kWebHost, kSupportEmail, IDB_ABOUT, 255, 0, kCompanyWord, 1);
    if (std::strcmp(name, "clear-all-question") == 0)
        return ShowText(nullptr, FormatTextArg(IDS_CONFIRM_CLEAR_ALL_KEY, kReaders[0]),
                        MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (std::strcmp(name, "message") == 0 && argument != nullptr)
        return ShowMessage(nullptr, static_cast<UINT>(std::atoi(argument)), MB_ICONERROR);
    MessageBoxA(nullptr, "Usage: show_dialog <window name> [default text] [--credential TEXT]",
                g_app.caption, MB_ICONINFORMATION);
    return -1;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_app.instance = instance;
    LoadLanguageLibrary("keyprep");
    LoadText(IDS_CAPTION, g_app.caption, kCaptionSize);
    ResetAttemptState();

    const char* name = __argc > 1 ? __argv[1] : "";
    const char* defaultText = nullptr;
    for (int i = 2; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "--credential") == 0 && i + 1 < __argc)
            lstrcpynA(CredentialText(), __argv[++i], kCredentialSize);
        else if (std::strcmp(__argv[i], "--series") == 0)
            g_attempt.options.offerKeep = true;
        else
            defaultText = __argv[i];
    }
    for (const auto& dialog : kDialogs) {
        if (std::strcmp(dialog.name, name) == 0) {
            const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(dialog.templateId),
                                                   nullptr, dialog.procedure,
                                                   reinterpret_cast<LPARAM>(defaultText));
            return static_cast<int>(result);
        }
    }
    return ShowOther(name, defaultText);
}
