#include "credential_dialog_fixture.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "support/program_state.h"
#include "support/test_paths.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kOwnerClass[] = "KeyprepTestOwner";
constexpr UINT kWatchdogMilliseconds = 15000;
constexpr UINT kFollowUpPollMilliseconds = 10;
bool g_timedOut = false;

BOOL CALLBACK CancelDialog(HWND window, LPARAM)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

// A script that left a dialog waiting would hang until ctest's timeout: cancel instead.
void CALLBACK OnWatchdog(HWND, UINT, UINT_PTR, DWORD)
{
    g_timedOut = true;
    EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
}

struct FollowUp {
    HWND box = nullptr;
    HWND dialog = nullptr;
    std::function<void(HWND)> act;
} g_followUp;

// Runs in the dialog's modal loop once the message box has gone.
void CALLBACK OnFollowUp(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (IsWindow(g_followUp.box))
        return;
    KillTimer(nullptr, timer);
    FollowUp followUp = std::move(g_followUp);
    g_followUp = {};
    if (IsWindow(followUp.dialog) && followUp.act)
        followUp.act(followUp.dialog);
}

} // namespace

void CredentialDialogTest::SetUp()
{
    ResetProgramState();
    ResetAttemptState();
    lstrcpynA(g_app.caption, kTestCaption, kCaptionSize);

    WNDCLASSA ownerClass{};
    ownerClass.lpfnWndProc = DefWindowProcA;
    ownerClass.hInstance = GetModuleHandleA(nullptr);
    ownerClass.lpszClassName = kOwnerClass;
    RegisterClassA(&ownerClass);
    owner_ = CreateWindowA(kOwnerClass, "Owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, ownerClass.hInstance, nullptr);
    ASSERT_NE(nullptr, owner_);
    g_app.mainDialog = owner_;
    g_timedOut = false;
}

void CredentialDialogTest::TearDown()
{
    DestroyWindow(owner_);
    if (language_)
        FreeLibrary(language_);
}

INT_PTR CredentialDialogTest::Open(int templateId, DLGPROC procedure, const char* defaultText)
{
    const UINT_PTR watchdog = SetTimer(nullptr, 0, kWatchdogMilliseconds, OnWatchdog);
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                                           owner_, procedure, reinterpret_cast<LPARAM>(defaultText));
    KillTimer(nullptr, watchdog);
    EXPECT_FALSE(g_timedOut) << "dialog " << templateId << " was still open after the script";
    return result;
}

INT_PTR CredentialDialogTest::OpenAndDo(int templateId, DLGPROC procedure,
                                        std::function<void(HWND)> act, const char* defaultText)
{
    InDialog(procedure, std::move(act));
    return Open(templateId, procedure, defaultText);
}

void CredentialDialogTest::UseLanguage(const char* folder)
{
    const std::string path = JoinPath(JoinPath(GUI_TEST_DLL_DIR, folder), "keyprep_lang.dll");
    language_ = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, language_) << path;
    g_app.languageModule = language_;
}

void CredentialDialogTest::UseMarkedLanguage()
{
    UseLanguage("lang_marked");
}

void CredentialDialogTest::UseLongPromptLanguage()
{
    UseLanguage("lang_long_prompt");
}

void CredentialDialogTest::InDialog(DLGPROC procedure, std::function<void(HWND)> act)
{
    robot_.add(InDialogRunBy(procedure, std::move(act)));
}

void CredentialDialogTest::AnswerMessageBoxThen(std::function<void(HWND)> then)
{
    robot_.add({[](const SeenWindow& w) { return w.isMessageBox; },
                [then](HWND box) {
                    g_followUp = {box, GetWindow(box, GW_OWNER), then};
                    Press(box, IDOK);
                    SetTimer(nullptr, 0, kFollowUpPollMilliseconds, OnFollowUp);
                },
                "message box, then its dialog"});
}

SeenWindow CredentialDialogTest::OnlyDialog() const
{
    const auto dialogs = robot_.dialogs();
    EXPECT_EQ(1u, dialogs.size()) << "dialogs seen";
    return dialogs.empty() ? SeenWindow{} : dialogs.front();
}

void CredentialDialogTest::ExpectScriptDone()
{
    EXPECT_EQ(0u, robot_.pendingSteps()) << "steps of the script that no window answered";
    EXPECT_TRUE(robot_.unexpected().empty())
        << "unscripted window: " << (robot_.unexpected().empty() ? "" : robot_.unexpected()[0]);
}

std::string ControlText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

bool ControlEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

LONG ControlStyle(HWND dialog, int id)
{
    return GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE);
}

int EditLimit(HWND dialog, int editId)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, editId, EM_GETLIMITTEXT, 0, 0));
}

bool BoxTicked(HWND dialog, int boxId)
{
    return IsDlgButtonChecked(dialog, boxId) == BST_CHECKED;
}

std::string CredentialHex(int count)
{
    std::string hex;
    char pair[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", g_attempt.credential[i]);
        hex += pair;
    }
    return hex;
}

std::string RepeatHex(const std::string& pair, int count)
{
    std::string hex;
    for (int i = 0; i < count; ++i)
        hex += pair;
    return hex;
}

void FillCredential(unsigned char pattern)
{
    std::memset(g_attempt.credential, pattern, sizeof g_attempt.credential);
}

void SetCredentialText(const char* text)
{
    std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
    lstrcpynA(CredentialText(), text, kCredentialSize);
}
