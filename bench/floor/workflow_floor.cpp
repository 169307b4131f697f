// The floor of the attempt benchmark: one Format of the default simulated Key with the
// windows, thread, messages and key-library calls that the user's Format needs, and nothing
// of keyprep.exe's own: the connect prompt, the wait cursor and the reader walk, the SO PIN
// clear-all dialog, both confirmations, a worker that sends the stage codes (each sets the
// title once) and posts the outcome, the caption back and the success message. The buttons
// stay as they are. It carries keyprep.exe's resources, so every window has the same
// template and texts.
#include <windows.h>

#include "common/proc_cast.h"
#include "core/app_context.h"
#include "core/key_contract.h"
#include "res/resource.h"
#include "workflow/workflow.h"

namespace {

struct KeyLibrary {
    EnumReadersFn EnumReaders;
    GetReaderTypeFn GetReaderType;
    InitReaderFn InitReader;
    InitCardFn InitCard;
    GetCardTypeFn GetCardType;
    CloseReaderFn CloseReader;
    UnformatCardFn UnformatCard;
    FormatCardFn FormatCard;
};

KeyLibrary g_key;
HWND g_main;
char g_caption[kCaptionSize];
int g_reader;
int g_cardType;
unsigned char g_credential[kCredentialSize];

const char* Text(UINT id)
{
    static char text[1024];
    LoadStringA(nullptr, id, text, sizeof text);
    return text;
}

int Box(HWND owner, UINT id, UINT style) { return MessageBoxA(owner, Text(id), g_caption, style); }

bool Bind(HMODULE library)
{
    g_key = {ProcAs<EnumReadersFn>(library, "EnumReaders"),   ProcAs<GetReaderTypeFn>(library, "GetReaderType"),
             ProcAs<InitReaderFn>(library, "InitReader"),     ProcAs<InitCardFn>(library, "InitCard"),
             ProcAs<GetCardTypeFn>(library, "GetCardType"),   ProcAs<CloseReaderFn>(library, "CloseReader"),
             ProcAs<UnformatCardFn>(library, "UnformatCard"), ProcAs<FormatCardFn>(library, "FormatCard")};
    return g_key.EnumReaders && g_key.GetReaderType && g_key.InitReader && g_key.InitCard && g_key.GetCardType &&
           g_key.CloseReader && g_key.UnformatCard && g_key.FormatCard;
}

DWORD WINAPI Worker(LPVOID)
{
    DWORD spaceRequest = kDefaultSpaceRequest;
    SendMessageA(g_main, kStatusMessage, kStageUnformatting, 0);
    BOOL done = g_key.UnformatCard(g_reader, g_credential, kKeepOtherData);
    if (done) {
        SendMessageA(g_main, kStatusMessage, kStageFormatting, 0);
        done = g_key.FormatCard(g_reader, g_credential, "", &spaceRequest, kKeepOtherData);
    }
    g_key.CloseReader(g_reader);
    PostMessageA(g_main, kStatusMessage, done ? kFormatted : kFormatFailed, 0);
    return 0;
}

INT_PTR CALLBACK SoPinProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_COMMAND)
        return FALSE;
    if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextA(dialog, IDC_SO_PIN_EDIT, reinterpret_cast<char*>(g_credential), kCredentialSize);
        EndDialog(dialog, 1);
    } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
    }
    return FALSE;
}

// The default Key set: one reader, holding a formatted Key of card type 8. The walk goes to
// the end of the list, as it must to know whether there are Keys to choose from.
void StartFormat(HWND dialog)
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    g_reader = kNoHandle;
    for (int index = 0; const char* name = g_key.EnumReaders(index); ++index) {
        if (g_reader != kNoHandle || g_key.GetReaderType(name) != kUsableReaderType)
            continue;
        const int reader = g_key.InitReader(name);
        if (reader != kNoHandle && g_key.InitCard(reader, 0) != kNoHandle)
            g_reader = reader;
        else if (reader != kNoHandle)
            g_key.CloseReader(reader);
    }
    if (g_reader == kNoHandle)
        return;
    // No is the default of both questions, as in keyprep.exe.
    constexpr UINT kQuestion = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;
    if (g_key.GetCardType(g_reader, &g_cardType) != 0 ||
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SO_PIN_CLEAR_ALL), dialog, SoPinProc, 0) == 0 ||
        Box(dialog, IDS_CONFIRM_REFORMAT, kQuestion) != IDYES || Box(dialog, IDS_CONFIRM_DATA_LOSS, kQuestion) != IDYES ||
        !CloseHandle(CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr)))
        g_key.CloseReader(g_reader);
}

void OnStatus(HWND dialog, WPARAM code)
{
    if (code == kStageUnformatting || code == kStageFormatting) {
        SetWindowTextA(dialog, Text(code == kStageFormatting ? IDS_STAGE_FORMATTING : IDS_STAGE_UNFORMATTING));
        return;
    }
    SetWindowTextA(dialog, g_caption);
    if (code != kFormatted) {
        Box(dialog, IDS_FORMAT_FAILED, MB_ICONERROR);
        return;
    }
    Box(dialog, IDS_SUCCESS, MB_OK);
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK MainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        g_main = dialog;
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_MAIN_FORMAT && Box(dialog, IDS_CONNECT_KEY, MB_OKCANCEL) == IDOK)
            StartFormat(dialog);
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    case kStatusMessage:
        OnStatus(dialog, wParam);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HMODULE support = LoadLibraryA("plinth.dll");
    HMODULE keyLibrary = support ? LoadLibraryA("cardwyn32.dll") : nullptr;
    if (keyLibrary == nullptr || !Bind(keyLibrary))
        return 1; // the probe reports a floor that ends without a window
    LoadStringA(instance, IDS_CAPTION, g_caption, sizeof g_caption);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainProc, 0);
    FreeLibrary(keyLibrary);
    FreeLibrary(support);
    return 0;
}
