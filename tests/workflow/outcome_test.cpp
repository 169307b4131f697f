// Each status code as the main dialog hands it to the outcome handler.
#include "workflow_fixture.h"

#include "workflow/workflow.h"

TEST_F(WorkflowTest, StageCodesOnlySetTheTitle)
{
    ShowOutcome(mainDialog, 2);
    EXPECT_EQ("Unformatting . . .", WindowText(mainDialog));
    ShowOutcome(mainDialog, 1);
    EXPECT_EQ("Formatting . . .", WindowText(mainDialog));
    EXPECT_TRUE(robot->messageBoxes().empty());
}

TEST_F(WorkflowTest, UnlistedCodesOnlyRestoreTheCaption)
{
    for (WPARAM code : {WPARAM(8), WPARAM(9), WPARAM(10), WPARAM(14), WPARAM(-1), WPARAM(0x80000000)}) {
        SetWindowTextA(mainDialog, "Formatting . . .");
        ShowOutcome(mainDialog, code);
        EXPECT_EQ("Key formatting utility", WindowText(mainDialog)) << "code " << code;
    }
    EXPECT_TRUE(robot->messageBoxes().empty());
    EXPECT_EQ(0, g_mainLog.exitCommands);
}

TEST_F(WorkflowTest, FailureCodesShowOneErrorEach)
{
    const struct {
        WPARAM code;
        const char* text;
    } cases[] = {
        {3, "An error occurred while unformatting the Key. Please contact support@veltrax.example."},
        {4, "An error occurred while formatting the Key. Please contact support@veltrax.example."},
        {7, "Not enough free space on Key for formatting."},
        {11, "Unable to unformat this type of Key!"},
        {13, "The Key was removed while it was being formatted and may have lost its preparation. Please reconnect "
             "the Key and press Format again."},
        {12, "The Key's PIN or password is blocked after too many wrong entries. Please contact "
             "support@veltrax.example."},
    };
    for (const auto& c : cases) {
        robot->add(AnswerMessageBox(IDOK));
        SetWindowTextA(mainDialog, "Formatting . . .");
        ShowOutcome(mainDialog, c.code);
        const SeenWindow box = robot->messageBoxes().back();
        EXPECT_EQ(c.text, box.text);
        EXPECT_EQ("error", box.icon);
        EXPECT_EQ(mainDialog, box.owner);
        EXPECT_EQ("Key formatting utility", box.title);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_EQ("Key formatting utility", WindowText(mainDialog));
    }
    EXPECT_EQ(std::size(cases), robot->messageBoxes().size());
    EXPECT_EQ(0, g_mainLog.exitCommands);
}

TEST_F(WorkflowTest, SuccessCodesReportWithoutClosingYet)
{
    for (WPARAM code : {WPARAM(0), WPARAM(5)}) {
        robot->add(AnswerMessageBox(IDOK));
        ShowOutcome(mainDialog, code);
        const SeenWindow box = robot->messageBoxes().back();
        EXPECT_EQ(kSuccess, box.text);
        EXPECT_EQ("", box.icon);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_EQ(mainDialog, box.owner);
    }
    // The program closes when the attempt ends, not at the message (see the worker's journeys).
    EXPECT_EQ(0, g_mainLog.exitCommands);
}

static int g_quitsTaken;
static LRESULT CALLBACK CountQuits(int code, WPARAM wParam, LPARAM lParam)
{
    g_quitsTaken += reinterpret_cast<MSG*>(lParam)->message == WM_QUIT ? 1 : 0;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
static DWORD WINAPI WorkAWhile(void*) { return SleepEx(300, FALSE); }

// A quit during the work is taken from the queue once, not again and again by a spinning wait.
TEST_F(WorkflowTest, WaitForTheWorkerSleepsAfterAQuit)
{
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, CountQuits, nullptr, GetCurrentThreadId());
    g_attempt.worker = CreateThread(nullptr, 0, WorkAWhile, nullptr, 0, nullptr);
    PostQuitMessage(9);
    WaitForWorker();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(1, g_quitsTaken);
}
