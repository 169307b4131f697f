// The credential step by card type code, the Key status step and the confirmations.
#include "workflow_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"
#include "workflow/workflow.h"

#include <cstring>

namespace {

void AnswerConfirmations(DialogRobot& robot, bool format)
{
    if (format)
        robot.add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
    robot.add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
}

std::string CredentialText(const FakeCall& call)
{
    return std::string(reinterpret_cast<const char*>(call.credential.data()));
}

struct StepCase {
    int cardType;
    int keyStatus;
    std::function<void(DialogRobot&)> credentialStep; // what the user does in it
    bool confirmations;                               // asked afterwards
    std::string credential;                           // the text the library gets
    int flags;
};

RobotStep AcceptWarning31() { return AnswerMessageBoxWithText(kWarnDataDeleted, IDOK); }

} // namespace

TEST_F(WorkflowTest, CredentialStepByCardType)
{
    const std::vector<StepCase> cases = {
        {0, 0, nullptr, true, "", 0},
        {3, 0, nullptr, true, "", 0},
        {4, 0, nullptr, true, "", 0},
        {6, 1, nullptr, true, "", 0},
        {99, 0, nullptr, true, "", 0},
        {-3, 2, nullptr, true, "", 0},
        {5, 0, [](DialogRobot& r) { r.add(TypeAndPress(PassPhraseDialogProc, IDC_PASS_PHRASE_EDIT, "LANTERNS")); }, true, "LANTERNS", 0},
        {5, -7, [](DialogRobot& r) { r.add(AcceptWarning31()); }, false, "", 2},
        {7, 0, [](DialogRobot& r) { r.add(AcceptWarning31()); }, false, "", 2},
        {9, 3, [](DialogRobot& r) { r.add(AcceptWarning31()); }, false, "", 2},
        {12, 0, [](DialogRobot& r) { r.add(AcceptWarning31()); }, false, "", 2},
        {8, 0, [](DialogRobot& r) { r.add(TypeAndPress(SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, "24682468")); }, true, "24682468", 0},
        {10, 0, [](DialogRobot& r) { r.add(TypeAndPress(AdminPinDialogProc, IDC_ADMIN_PIN_EDIT, "52738164")); }, false, "52738164", 2},
        {11, 0, [](DialogRobot& r) { r.add(TypeAndPress(FormattingPasswordDialogProc, IDC_SECRET_EDIT, "TRUVOSEK")); }, true, "TRUVOSEK", 0},
        {13, -7, [](DialogRobot& r) { r.add(TypeAndPress(FormattingPasswordDialogProc, IDC_SECRET_EDIT, "MOLDIRA+")); }, true, "MOLDIRA+", 0},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE("card type " + std::to_string(c.cardType) + ", Key status " + std::to_string(c.keyStatus));
        keys->calls.clear();
        keys->readers = {{"Reader", 30, 5, c.keyStatus, c.cardType}};
        if (c.credentialStep)
            c.credentialStep(*robot);
        if (c.confirmations)
            AnswerConfirmations(*robot, true);
        robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
        const size_t boxesBefore = robot->messageBoxes().size();
        run(true);
        const auto unformats = keys->callsNamed("UnformatCard");
        ASSERT_EQ(1u, unformats.size());
        EXPECT_EQ(c.credential, CredentialText(unformats[0]));
        EXPECT_EQ(c.flags, unformats[0].flags);
        ASSERT_EQ(1u, keys->callsNamed("FormatCard").size());
        EXPECT_EQ(c.flags, keys->callsNamed("FormatCard")[0].flags);
        const size_t confirmations = c.confirmations ? 2 : 0;
        const size_t warnings = c.credentialStep && c.credential.empty() ? 1 : 0;
        EXPECT_EQ(boxesBefore + warnings + confirmations + 1, robot->messageBoxes().size());
        EXPECT_EQ(0u, robot->pendingSteps());
    }
}

TEST_F(WorkflowTest, TransportKeyGoesToTheLibraryAsBytes)
{
    keys->readers = {{"Reader", 30, 5, 0, 2}};
    robot->add(TypeAndPress(TransportKeyDialogProc, IDC_SECRET_EDIT, "0123456789abcdef"));
    AnswerConfirmations(*robot, true);
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(true);
    const auto formats = keys->callsNamed("FormatCard");
    ASSERT_EQ(1u, formats.size());
    const unsigned char expected[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(0, memcmp(expected, formats[0].credential.data(), 8));
}

TEST_F(WorkflowTest, FormattingPasswordPromptQuotesTheDefault)
{
    keys->readers = {{"Reader", 30, 5, 0, 13}};
    robot->add(PressIn(FormattingPasswordDialogProc, IDCANCEL));
    run(true);
    const auto dialogs = credentialDialogs();
    ASSERT_EQ(1u, dialogs.size());
    EXPECT_EQ("Please enter Formatting password required for this type of Key. Usually Formatting "
              "password is \"MOLDIRA+\".",
              dialogs[0].texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ(mainDialog, dialogs[0].owner);
}

TEST_F(WorkflowTest, CancelInTheCredentialStepEndsTheAttempt)
{
    const struct {
        int cardType;
        int keyStatus;
        RobotStep cancel;
    } cases[] = {
        {1, 0, PressIn(TransportKeyDialogProc, IDCANCEL)},
        {5, 0, PressIn(PassPhraseDialogProc, IDCANCEL)},
        {5, -7, AnswerMessageBoxWithText(kWarnDataDeleted, IDCANCEL)},
        {9, 0, AnswerMessageBoxWithText(kWarnDataDeleted, IDCANCEL)},
        {8, 0, PressIn(SoPinClearAllDialogProc, IDCANCEL)},
        {10, 0, PressIn(AdminPinDialogProc, IDCANCEL)},
        {11, 0, PressIn(FormattingPasswordDialogProc, IDCANCEL)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("card type " + std::to_string(c.cardType));
        keys->calls.clear();
        keys->readers = {{"Reader", 30, 8, c.keyStatus, c.cardType}};
        robot->add(c.cancel);
        run(true);
        EXPECT_EQ(1, keys->closesOf(8));
        EXPECT_TRUE(keys->callsNamed("UnformatCard").empty());
    }
    EXPECT_EQ(5u, credentialDialogs().size());
}

TEST_F(WorkflowTest, KeyNotFormattedSkipsTheConfirmations)
{
    keys->readers = {{"Reader", 30, 5, -2, 8}};
    keys->unformatResults = {Fail(0x80100001)};
    robot->add(TypeAndPress(SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, "24682468"));
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(true);
    // Mode 9: an unformat failure is passed over and the format still runs.
    EXPECT_EQ((std::vector<unsigned>{2, 1, 0}), g_mainLog.codes);
}

TEST_F(WorkflowTest, KeyNotFormattedUnformatStillRuns)
{
    keys->readers = {{"Reader", 30, 5, -2, 0}};
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(false);
    EXPECT_EQ((std::vector<unsigned>{2, 5}), g_mainLog.codes);
}

TEST_F(WorkflowTest, UnexpectedStatusComesAfterTheCredentialStep)
{
    keys->readers = {{"Reader", 30, 5, 4, 10}};
    robot->add(TypeAndPress(AdminPinDialogProc, IDC_ADMIN_PIN_EDIT, "52738164"));
    robot->add(AnswerMessageBoxWithText(kInitFailed, IDOK));
    run(true);
    EXPECT_EQ(1, keys->closesOf(5));
    EXPECT_TRUE(keys->callsNamed("UnformatCard").empty());
}

TEST_F(WorkflowTest, ConfirmationsForFormatAndUnformat)
{
    const struct {
        bool format;
        std::vector<int> answers; // to the confirmations in order
        bool runs;
    } cases[] = {
        {true, {IDNO}, false},
        {true, {IDYES, IDNO}, false},
        {true, {IDYES, IDYES}, true},
        {false, {IDNO}, false},
        {false, {IDYES}, true},
    };
    for (const auto& c : cases) {
        keys->calls.clear();
        keys->readers = {{"Reader", 30, 5, 1, 0}};
        const size_t before = robot->messageBoxes().size();
        std::vector<std::string> expected;
        for (size_t i = 0; i < c.answers.size(); ++i) {
            const char* text = c.format && i == 0 ? kConfirmReformat : kConfirmDataLoss;
            robot->add(AnswerMessageBoxWithText(text, c.answers[i]));
            expected.push_back(text);
        }
        if (c.runs) {
            robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
            expected.push_back(kSuccess);
        }
        run(c.format);
        const auto boxes = robot->messageBoxes();
        std::vector<std::string> seen;
        for (size_t i = before; i < boxes.size(); ++i) {
            seen.push_back(boxes[i].text);
            if (boxes[i].text != kSuccess) {
                EXPECT_EQ("warning", boxes[i].icon);
                EXPECT_EQ((std::vector<int>{IDYES, IDNO}), boxes[i].buttons);
            }
        }
        EXPECT_EQ(expected, seen) << (c.format ? "Format" : "Unformat");
        EXPECT_EQ(c.runs ? 1u : 0u, keys->callsNamed("UnformatCard").size());
        EXPECT_EQ(1, keys->closesOf(5));
    }
}

TEST_F(WorkflowTest, RetryAttemptAsksNoConfirmationButRepeatsTheCredentialStep)
{
    keys->readers = {{"Reader", 30, 5, 0, 8}};
    robot->add(TypeAndPress(SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, "11112222"));
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(true, false);
    EXPECT_EQ(1u, credentialDialogs().size());
    EXPECT_EQ(1u, robot->messageBoxes().size());
}

// A warning that could not be shown (MessageBoxA gives 0) is no consent to clear all data.
TEST_F(WorkflowTest, WarningThatCannotBeShownIsNoConsent)
{
    HWND gone = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    keys->readers = {{"Reader", 30, 8, 0, 7}};
    StartOperation(gone, true);
    waitForQuiet();
    EXPECT_EQ(1, keys->closesOf(8));
    EXPECT_TRUE(keys->callsNamed("UnformatCard").empty());
    EXPECT_FALSE(g_attempt.clearAll);
    EXPECT_TRUE(robot->messageBoxes().empty());
}
