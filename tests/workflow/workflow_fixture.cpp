#include "workflow_fixture.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "keylib/key_library.h"
#include "res/resource.h"
#include "support/program_state.h"
#include "workflow/workflow.h"

#include <cstring>

MainDialogLog g_mainLog;

const char kKeyNotFound[] = "The Key has not been found in the Key reader! Please insert the Key into the reader, or plug it in, and try again.";
const char kNoReader[] =
    "No Key reader was found. Please connect the Key, or the card reader with the card in it, and try again.";
const char kConfirmReformat[] =
    "This Key is already formatted for Veltrax applications. \n              Do you wish to reformat it?";
const char kConfirmDataLoss[] =
    "All your Veltrax applications data WILL BE LOST.\nNon-Veltrax applications data will not "
    "be affected. \n              Do you wish to continue?";
const char kWarnDataDeleted[] = "Warning all previous data will be deleted from the Key!";
const char kInitFailed[] =
    "An error occurred while initializing the Key. Please reconnect the Key and try again. If "
    "the problem remains please contact support@veltrax.example.";
const char kSuccess[] = "The process is successfully completed.";

namespace {

// The stand-in: hands status messages on as the main dialog does and notes the Exit command.
INT_PTR CALLBACK StandInMainDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == kStatusMessage) {
        g_mainLog.codes.push_back(static_cast<unsigned>(wParam));
        HandleStatusMessage(dialog, wParam);
        g_mainLog.titles.push_back(WindowText(dialog));
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDC_MAIN_EXIT) {
        ++g_mainLog.exitCommands;
    }
    return FALSE;
}

int FinalCodes()
{
    int finals = 0;
    for (unsigned code : g_mainLog.codes)
        finals += code != kStageFormatting && code != kStageUnformatting;
    return finals;
}

} // namespace

RobotStep TypeAndPress(DLGPROC procedure, int editId, const std::string& text, int button)
{
    return InDialogRunBy(procedure, [=](HWND dialog) {
        TypeInto(dialog, editId, text);
        Press(dialog, button);
    }, "type \"" + text + "\"");
}

RobotStep PressIn(DLGPROC procedure, int button)
{
    return InDialogRunBy(procedure, [button](HWND dialog) { Press(dialog, button); },
                      "press " + std::to_string(button));
}

void WorkflowTest::SetUp()
{
    ResetProgramState();
    g_mainLog = MainDialogLog{};
    keys = &InstallFakeKeyLibrary();
    robot = new DialogRobot;
    mainDialog = CreateDialogParamA(g_app.instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                                    StandInMainDialog, 0);
    ASSERT_NE(nullptr, mainDialog);
    g_app.mainDialog = mainDialog;
    keys->busyWindow = mainDialog;
    ShowWindow(mainDialog, SW_SHOW);
}

void WorkflowTest::TearDown()
{
    if (!g_keyLibGuard.faulted()) {
        EXPECT_EQ(0, keys->openHandles) << "a reader was left open";
    }
    EXPECT_TRUE(robot->unexpected().empty())
        << "unanswered: " << (robot->unexpected().empty() ? "" : robot->unexpected()[0]);
    EXPECT_EQ(0u, robot->pendingSteps()) << "the script was not played to its end";
    delete robot;
    DestroyWindow(mainDialog);
}

void WorkflowTest::setCommandLine(std::vector<const char*> words)
{
    commandLineWords_.assign(words.begin(), words.end());
    g_app.argumentCount = static_cast<int>(words.size());
    for (size_t i = 0; i < commandLineWords_.size(); ++i)
        g_app.arguments[i] = commandLineWords_[i].data();
}

void WorkflowTest::run(bool format, bool firstAttempt)
{
    const Operation operation = format ? Operation::Format : Operation::Unformat;
    const char* reader = g_app.argumentCount > 1 ? g_app.arguments[1] : nullptr;
    if (firstAttempt) {
        RunAttempt(mainDialog, {operation, reader, false, IDC_MAIN_FORMAT, ArgumentIs(2, kOccupyAllWord),
                                AttemptOptions{}, &kSingleAttempt, nullptr});
    } else {
        BeginAttempt(mainDialog);
        g_attempt.operation = operation;
        std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
        StartOperation(mainDialog, firstAttempt);
        EndAttemptUnlessWorking(mainDialog);
    }
    waitForQuiet();
}

void WorkflowTest::waitForQuiet()
{
    const bool quiet = PumpUntil([this] {
        // A library that faulted is not asked to close its reader, by the worker or otherwise.
        if (g_keyLibGuard.faulted())
            return g_attempt.worker == nullptr && !g_attempt.busy;
        return keys->openHandles == 0 && FinalCodes() == keys->workerCloses && !g_attempt.busy;
    });
    EXPECT_TRUE(quiet) << "the attempt did not come to an end";
}

std::vector<std::string> WorkflowTest::messageTexts() const
{
    std::vector<std::string> texts;
    for (const SeenWindow& box : robot->messageBoxes())
        texts.push_back(box.text);
    return texts;
}

std::vector<SeenWindow> WorkflowTest::credentialDialogs() const
{
    std::vector<SeenWindow> found;
    for (const SeenWindow& dialog : robot->dialogs())
        if (dialog.window != mainDialog)
            found.push_back(dialog);
    return found;
}
