// The real main dialog, run modally as start-up runs it, driven by the dialog robot.
#include "core/app_context.h"
#include "core/attempt_state.h"
#include "dlls/recorded_about.h"
#include "res/resource.h"
#include "support/dialog_robot.h"
#include "support/fake_key_library.h"
#include "support/program_state.h"
#include "support/support_library.h"
#include "support/test_paths.h"
#include "ui/help.h"
#include "ui/main_dialog.h"
#include "workflow/workflow.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char kConnect[] = "Please connect your Key to the computer and press OK.";
const char kNotFound[] = "No Key reader was found. Please connect the Key, or the card reader with the card in it, and try again.";
const char kHelpFailed[] = "Unable to activate Help! The help file readme.txt was not found beside the program. Please copy "
                           "it into the program's folder, or install the program again.";
const char kSuccess[] = "The process is successfully completed.";

bool g_watchdogFired;

// Turns the worker's final status message into WM_NULL, as a full queue would lose it.
LRESULT CALLBACK LoseFinalStatus(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && message->message == kStatusMessage && message->wParam == kFormatted)
        message->message = WM_NULL;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
int g_faultingAboutCalls;

int WINAPI FaultingAbout(HINSTANCE, HMODULE, HWND, int, const char* const*, const char*, int, const char*,
                         const char*, int, int, int, const char*, int)
{
    ++g_faultingAboutCalls;
    return *static_cast<volatile int*>(nullptr);
}

// An About box with a loop of its own, in which a Format is pressed, and which then faults.
int WINAPI AboutWithItsOwnLoop(HINSTANCE, HMODULE, HWND, int, const char* const*, const char*, int,
                               const char*, const char*, int, int, int, const char*, int)
{
    ++g_faultingAboutCalls;
    Press(g_app.mainDialog, IDC_MAIN_FORMAT);
    PumpUntil([] { return false; }, 300);
    return *static_cast<volatile int*>(nullptr);
}

// A script that goes wrong must not leave the modal dialog open for ever.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD)
{
    g_watchdogFired = true;
    g_attempt.busy = false;
    EndDialog(g_app.mainDialog, -1);
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProgramState();
        keys = &InstallFakeKeyLibrary();
        g_watchdogFired = false;
    }
    void TearDown() override
    {
        UseTestLibraries("");
        EXPECT_FALSE(g_watchdogFired) << "the dialog had to be closed by the watchdog";
        EXPECT_TRUE(robot.unexpected().empty())
            << "unanswered: " << (robot.unexpected().empty() ? "" : robot.unexpected()[0]);
        EXPECT_EQ(0u, robot.pendingSteps()) << "the script was not played to its end";
        EXPECT_EQ(0, keys->openHandles);
    }

    // Runs the main dialog until it ends; returns DialogBoxParamA's result.
    INT_PTR runMainDialog()
    {
        const UINT_PTR watchdog = SetTimer(nullptr, 0, 20000, Watchdog);
        const INT_PTR result = DialogBoxParamA(g_app.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                               MainDialogProc, 0);
        KillTimer(nullptr, watchdog);
        return result;
    }

    // A step on the main dialog, each time it becomes active again.
    void onMainDialog(std::function<void(HWND)> act, std::string what = "main dialog")
    {
        robot.add(InDialogRunBy(MainDialogProc, std::move(act), std::move(what)));
    }
    void closeMainDialog()
    {
        onMainDialog([](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }, "close");
    }
    void setCommandLine(std::vector<const char*> words)
    {
        words_.assign(words.begin(), words.end());
        g_app.argumentCount = static_cast<int>(words_.size());
        for (size_t i = 0; i < words_.size(); ++i)
            g_app.arguments[i] = words_[i].data();
    }

    FakeKeyLibrary* keys = nullptr;
    DialogRobot robot;
    std::vector<std::string> words_;
};

} // namespace

TEST_F(MainDialog, InitialisesItsTextsAndImages)
{
    bool visible = false, iconSet = false, imageSet = false;
    std::string title;
    onMainDialog([&](HWND dialog) {
        visible = IsWindowVisible(dialog);
        title = WindowText(dialog);
        const auto icon = SendMessageA(dialog, WM_GETICON, ICON_BIG, 0);
        iconSet = icon == reinterpret_cast<LRESULT>(LoadIconA(g_app.instance, MAKEINTRESOURCEA(IDI_KEYPREP)));
        imageSet = SendDlgItemMessageA(dialog, IDC_MAIN_IMAGE, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, runMainDialog());
    const SeenWindow main = robot.dialogs().at(0);
    EXPECT_EQ("Key formatting utility", title);
    EXPECT_EQ("&Format", main.texts.at(IDC_MAIN_FORMAT));
    EXPECT_EQ("&Unformat", main.texts.at(IDC_MAIN_UNFORMAT));
    EXPECT_EQ("Key formatting utility for tokens and smart cards.", main.texts.at(IDC_MAIN_DESCRIPTION));
    EXPECT_EQ(nullptr, main.owner);
    EXPECT_EQ(main.window, g_app.mainDialog);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(iconSet);
    EXPECT_TRUE(imageSet);
    EXPECT_TRUE(keys->calls.empty()) << "nothing touches the Key before a command";
}

TEST_F(MainDialog, ConnectPromptCancelChangesNothing)
{
    memcpy(g_attempt.credential, "kept", 5);
    g_attempt.operation = Operation::Unformat;
    onMainDialog([](HWND dialog) { Press(dialog, IDC_MAIN_FORMAT); }, "press Format");
    robot.add(AnswerMessageBoxWithText(kConnect, IDCANCEL));
    closeMainDialog();
    runMainDialog();
    const SeenWindow prompt = robot.messageBoxes().at(0);
    EXPECT_EQ("", prompt.icon);
    EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), prompt.buttons);
    EXPECT_EQ(g_app.mainDialog, prompt.owner);
    EXPECT_TRUE(keys->calls.empty());
    EXPECT_STREQ("kept", CredentialText());
    EXPECT_EQ(Operation::Unformat, g_attempt.operation);
}

TEST_F(MainDialog, ConnectPromptOkStartsTheAttempt)
{
    memcpy(g_attempt.credential, "stale", 6);
    onMainDialog([](HWND dialog) { Press(dialog, IDC_MAIN_UNFORMAT); }, "press Unformat");
    robot.add(AnswerMessageBoxWithText(kConnect, IDOK));
    robot.add(AnswerMessageBoxWithText(kNotFound, IDOK));
    closeMainDialog();
    runMainDialog();
    EXPECT_EQ(Operation::Unformat, g_attempt.operation);
    EXPECT_EQ(0, g_attempt.credential[0]) << "the credential buffer is zeroed";
    EXPECT_EQ((std::vector<std::string>{"EnumReaders"}), keys->callNames());
}

TEST_F(MainDialog, CommandLineStartsWithoutThePrompt)
{
    for (const char* word : {"format", "unformat"}) {
        keys->calls.clear();
        setCommandLine({word});
        robot.add(AnswerMessageBoxWithText(kNotFound, IDOK));
        // Later presses skip the prompt too.
        onMainDialog([](HWND dialog) { Press(dialog, IDC_MAIN_FORMAT); }, "press Format");
        robot.add(AnswerMessageBoxWithText(kNotFound, IDOK));
        closeMainDialog();
        runMainDialog();
        EXPECT_EQ(2u, keys->callsNamed("EnumReaders").size()) << word;
    }
    for (const SeenWindow& box : robot.messageBoxes())
        EXPECT_NE(kConnect, box.text);
}

TEST_F(MainDialog, EnterPressesFormatAndEscapeDoesNothing)
{
    onMainDialog([](HWND dialog) {
        PostMessageA(GetDlgItem(dialog, IDC_MAIN_FORMAT), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(GetDlgItem(dialog, IDC_MAIN_FORMAT), WM_KEYDOWN, VK_RETURN, 0);
    }, "Esc, then Enter");
    robot.add(AnswerMessageBoxWithText(kConnect, IDCANCEL));
    closeMainDialog();
    EXPECT_EQ(0, runMainDialog());
    EXPECT_EQ(1u, robot.messageBoxes().size());
}

TEST_F(MainDialog, ClosingIsRefusedWhileBusy)
{
    bool stillOpen = false;
    onMainDialog([&](HWND dialog) {
        g_attempt.busy = true;
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        SendMessageA(dialog, WM_COMMAND, IDC_MAIN_EXIT, 0);
        stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
        const LRESULT endSession = SendMessageA(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
        EXPECT_EQ(FALSE, endSession) << "a log-off must wait for the Key";
        g_attempt.busy = false;
        EXPECT_NE(FALSE, SendMessageA(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, runMainDialog());
    EXPECT_TRUE(stillOpen);
}

// Whether the support library's About box pops its arguments (WINAPI) or not (cdecl), it
// gets them all and the program goes on.
TEST_F(MainDialog, ImageOpensAboutWithItsFourteenArgumentsInEitherConvention)
{
    for (const char* variant : {"support_recording", "support_recording_cdecl"}) {
        SCOPED_TRACE(variant);
        UseTestLibraries(variant);
        HMODULE support = nullptr;
        ASSERT_TRUE(BindSupportLibrary(&support));
        g_app.languageModule = GetModuleHandleA(nullptr);
        onMainDialog([](HWND dialog) {
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_MAIN_IMAGE, STN_CLICKED), 0);
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        runMainDialog();
        auto lastCall = reinterpret_cast<LastAboutCallFn>(
            reinterpret_cast<void*>(GetProcAddress(support, "LastAboutCall")));
        const RecordedAboutCall* call = lastCall();
        ASSERT_EQ(1, call->calls);
        EXPECT_EQ(g_app.instance, call->executable);
        EXPECT_EQ(GetModuleHandleA(nullptr), call->languageModule);
        EXPECT_EQ(g_app.mainDialog, call->owner);
        EXPECT_EQ(110, call->iconId);
        const char* expectedFiles[] = {"cardwyn32.dll", "keyprep_lang.dll", "plinth.dll", "keyprep.exe"};
        for (int i = 0; i < 4; ++i)
            EXPECT_STREQ(expectedFiles[i], call->componentFiles[i]) << "component " << i;
        EXPECT_EQ(nullptr, call->componentFiles[4]);
        EXPECT_EQ(nullptr, call->componentFiles[5]);
        EXPECT_EQ(nullptr, call->title);
        EXPECT_EQ(0, call->reserved1);
        EXPECT_STREQ("www.veltrax.example", call->webHost);
        EXPECT_STREQ("support@veltrax.example", call->supportEmail);
        EXPECT_EQ(5006, call->bitmapId);
        EXPECT_EQ(255, call->reserved2);
        EXPECT_EQ(0, call->reserved3);
        EXPECT_STREQ("Veltrax", call->company);
        EXPECT_EQ(1, call->reserved4);
        FreeLibrary(support);
    }
}

// A support library that faulted in its About box is not called again; the user is told why.
TEST_F(MainDialog, AboutThatFaultedIsNotCalledAgain)
{
    g_supportLib.AboutDialog = FaultingAbout;
    g_faultingAboutCalls = 0;
    for (int click = 0; click < 2; ++click) {
        onMainDialog([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_MAIN_IMAGE, STN_CLICKED), 0); },
                     "click the image");
        robot.add(AnswerMessageBoxWithText("The About box is not available: the support library stopped working.", IDOK));
    }
    closeMainDialog();
    EXPECT_EQ(0, runMainDialog());
    EXPECT_EQ(1, g_faultingAboutCalls);
    EXPECT_EQ(2u, robot.messageBoxes().size());
}

// Nothing of the program runs inside the About box's loop: the Format pressed there starts
// once the box is gone, and while it runs the image opens nothing.
TEST_F(MainDialog, FormatPressedInTheAboutBoxWaitsForIt)
{
    g_supportLib.AboutDialog = AboutWithItsOwnLoop;
    g_faultingAboutCalls = 0;
    onMainDialog([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDC_MAIN_IMAGE, 0); }, "click the image");
    robot.add(AnswerMessageBoxWithText("The About box is not available: the support library stopped working.", IDOK));
    robot.add(AnswerMessageBoxWithText(kConnect, IDOK));
    RobotStep reformat = AnswerMessageBox(IDYES);
    reformat.act = [yes = reformat.act](HWND box) {
        PostMessageA(g_app.mainDialog, WM_COMMAND, IDC_MAIN_IMAGE, 0);
        yes(box);
    };
    robot.add(reformat);
    robot.add(AnswerMessageBox(IDYES));
    robot.add(AnswerMessageBoxWithText(kSuccess, IDOK));
    keys->readers = {{"Reader", 30, 3, 0, 0}};
    EXPECT_EQ(0, runMainDialog());
    EXPECT_EQ(1, g_faultingAboutCalls);
    EXPECT_EQ(5u, robot.messageBoxes().size());
}

TEST_F(MainDialog, HelpWithoutReadmeIsAnError)
{
    onMainDialog([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDC_MAIN_HELP, 0); }, "Help");
    robot.add(AnswerMessageBoxWithText(kHelpFailed, IDOK));
    onMainDialog([](HWND dialog) { SendMessageA(dialog, WM_HELP, 0, 0); }, "F1");
    robot.add(AnswerMessageBoxWithText(kHelpFailed, IDOK));
    closeMainDialog();
    runMainDialog();
    for (const SeenWindow& box : robot.messageBoxes()) {
        EXPECT_EQ("error", box.icon);
        EXPECT_EQ(g_app.mainDialog, box.owner);
    }
}

TEST_F(MainDialog, ContextHelpOpensOnceInHalfASecond)
{
    int helpMessagesBeforeTimer = -1;
    onMainDialog([](HWND dialog) {
        SetCursor(LoadCursorA(nullptr, IDC_HELP));
        PostMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    }, "move with the help cursor");
    robot.add(AnswerMessageBoxWithText(kHelpFailed, IDOK));
    onMainDialog([&](HWND dialog) {
        // Within the half second: further requests are dropped.
        SendMessageA(dialog, WM_HELP, 0, 0);
        SetCursor(LoadCursorA(nullptr, IDC_HELP));
        SendMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(12, 12));
        helpMessagesBeforeTimer = static_cast<int>(robot.messageBoxes().size());
        PumpUntil([] { return false; }, 700);
        SendMessageA(dialog, WM_HELP, 0, 0);
    }, "F1 twice, half a second apart");
    robot.add(AnswerMessageBoxWithText(kHelpFailed, IDOK));
    onMainDialog([](HWND dialog) {
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        SendMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(14, 14));
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    }, "move with the arrow");
    runMainDialog();
    EXPECT_EQ(1, helpMessagesBeforeTimer);
    EXPECT_EQ(2u, robot.messageBoxes().size());
}

// Opening a file that is there is a journey of its own: keyprep.exe beside its readme.txt.
TEST_F(MainDialog, RefusesFilesThatAreMissingOrTooLong)
{
    EXPECT_FALSE(OpenFileInProgramFolder(nullptr, "not-there.txt"));
    EXPECT_FALSE(OpenFileInProgramFolder(nullptr, std::string(300, 'a').c_str()))
        << "a path of 260 characters or more is refused";
}

TEST_F(MainDialog, SuccessfulFormatEndsTheDialog)
{
    keys->readers = {{"Reader", 30, 3, 0, 0}};
    setCommandLine({"format"});
    keys->busyWindow = nullptr;
    robot.add(InDialogRunBy(MainDialogProc, [this](HWND dialog) { keys->busyWindow = dialog; }));
    robot.add(AnswerMessageBox(IDYES));
    robot.add(AnswerMessageBox(IDYES));
    robot.add(AnswerMessageBoxWithText(kSuccess, IDOK));
    EXPECT_EQ(0, runMainDialog());
    EXPECT_EQ(1u, keys->callsNamed("FormatCard").size());
    EXPECT_EQ(1, keys->closesOf(3));
    EXPECT_EQ((std::vector<std::string>{"Unformatting . . .", "Formatting . . ."}), keys->titlesDuringWork);
}

// Even when the worker's final message is lost, the attempt ends with its outcome.
TEST_F(MainDialog, LostFinalStatusStillEndsTheAttempt)
{
    keys->readers = {{"Reader", 30, 3, 0, 0}};
    setCommandLine({"format"});
    robot.add(AnswerMessageBox(IDYES));
    robot.add(AnswerMessageBox(IDYES));
    robot.add(AnswerMessageBoxWithText(kSuccess, IDOK));
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, LoseFinalStatus, nullptr, GetCurrentThreadId());
    EXPECT_EQ(0, runMainDialog());
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(1, keys->closesOf(3));
}
