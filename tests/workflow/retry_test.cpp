// After a rejected credential: the message, the prompt and the restart, by card type.
#include "workflow_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"
#include "workflow/workflow.h"

#include <cstring>

namespace {

const char kWrongPassword[] = "Wrong formatting password!";
const char kWrongPin[] = "The PIN you entered is incorrect!";
const char kWrongSoPin[] = "The SO PIN you entered is incorrect!";
const char kWrongPassPhrase[] = "The Pass Phrase you entered is incorrect!";
const char kWrongAdminPin[] = "The Admin PIN you entered is incorrect!";
const char kFormatFailedText[] = "An error occurred while formatting the Key. Please contact support@veltrax.example.";
const char kSerious[] = "Serious ERROR occurred! Please don't try to format/unformat this Key any "
                        "more and contact support@veltrax.example.";

struct RetryCase {
    int cardType;
    bool typed;           // the credential buffer's first byte is not 0
    const char* message;  // shown first, or null
    DLGPROC prompt;       // asked, or null
    int promptEdit;
    bool restarts;        // with no reader attached, a restart shows "not found"
};

} // namespace

TEST_F(WorkflowTest, RetryByCardType)
{
    const RetryCase cases[] = {
        {1, true, kWrongPassword, nullptr, 0, true},
        {2, false, kWrongPassword, nullptr, 0, true},
        {3, true, kFormatFailedText, nullptr, 0, false},
        {4, false, nullptr, PinDialogProc, IDC_PIN_EDIT, true},
        {4, true, kWrongPin, PinDialogProc, IDC_PIN_EDIT, true},
        {5, false, kWrongPassPhrase, nullptr, 0, true},
        {6, false, nullptr, SoPinDialogProc, IDC_SO_PIN_EDIT, true},
        {6, true, kWrongSoPin, SoPinDialogProc, IDC_SO_PIN_EDIT, true},
        {7, false, kSerious, nullptr, 0, false},
        {8, true, kWrongSoPin, nullptr, 0, true},
        {8, false, nullptr, nullptr, 0, true},
        {9, true, kWrongPassword, FormattingPasswordDialogProc, IDC_SECRET_EDIT, true},
        {9, false, nullptr, FormattingPasswordDialogProc, IDC_SECRET_EDIT, true},
        {10, false, kWrongAdminPin, nullptr, 0, true},
        {11, false, kWrongPassword, nullptr, 0, true},
        {13, true, kWrongPassword, nullptr, 0, true},
        {12, true, kWrongPassword, TransportKeyDialogProc, IDC_SECRET_EDIT, true},
        {12, false, nullptr, TransportKeyDialogProc, IDC_SECRET_EDIT, true},
        {0, true, kFormatFailedText, nullptr, 0, false},
        {14, false, kFormatFailedText, nullptr, 0, false},
        {-1, true, kFormatFailedText, nullptr, 0, false},
    };
    for (const RetryCase& c : cases) {
        SCOPED_TRACE("card type " + std::to_string(c.cardType) + (c.typed ? ", typed" : ", empty"));
        std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
        g_attempt.credential[0] = c.typed ? 'x' : 0;
        g_attempt.credential[1] = 'y'; // a transport key may start with a zero byte
        keys->calls.clear();
        const size_t boxesBefore = robot->messageBoxes().size();
        const size_t dialogsBefore = credentialDialogs().size();

        if (c.message)
            robot->add(AnswerMessageBoxWithText(c.message, IDOK));
        if (c.prompt)
            robot->add(TypeAndPress(c.prompt, c.promptEdit, "0011223344556677"));
        if (c.restarts)
            robot->add(AnswerMessageBoxWithText(kNoReader, IDOK));
        RetryCredential(mainDialog, c.cardType);

        const auto boxes = robot->messageBoxes();
        std::vector<std::string> seen;
        for (size_t i = boxesBefore; i < boxes.size(); ++i) {
            seen.push_back(boxes[i].text);
            EXPECT_EQ(mainDialog, boxes[i].owner);
        }
        std::vector<std::string> expected;
        if (c.message)
            expected.push_back(c.message);
        if (c.restarts)
            expected.push_back(kNoReader);
        EXPECT_EQ(expected, seen);
        if (c.message) {
            EXPECT_EQ("error", boxes[boxesBefore].icon);
        }
        EXPECT_EQ(c.prompt ? 1u : 0u, credentialDialogs().size() - dialogsBefore);
        EXPECT_EQ(c.restarts, !keys->callsNamed("EnumReaders").empty());
    }
}

TEST_F(WorkflowTest, CancelledPromptEndsTheAttempt)
{
    const struct {
        int cardType;
        DLGPROC prompt;
    } cases[] = {{4, PinDialogProc},
                 {6, SoPinDialogProc},
                 {9, FormattingPasswordDialogProc},
                 {12, TransportKeyDialogProc}};
    for (const auto& c : cases) {
        keys->calls.clear();
        std::memset(g_attempt.credential, 0, sizeof g_attempt.credential);
        robot->add(PressIn(c.prompt, IDCANCEL));
        RetryCredential(mainDialog, c.cardType);
        EXPECT_TRUE(keys->calls.empty()) << "card type " << c.cardType;
    }
    EXPECT_TRUE(robot->messageBoxes().empty());
}

TEST_F(WorkflowTest, PromptedPinIsUsedByTheRestartedAttempt)
{
    keys->readers = {{"Reader", 30, 11, 0, 4}};
    keys->unformatResults = {Fail(kScardInvalidChv)};
    robot->add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
    robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
    // The first attempt runs with the empty buffer; no message, only the PIN prompt.
    robot->add(TypeAndPress(PinDialogProc, IDC_PIN_EDIT, "1234"));
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(true);
    const auto unformats = keys->callsNamed("UnformatCard");
    ASSERT_EQ(2u, unformats.size());
    EXPECT_EQ(0, unformats[0].credential[0]);
    EXPECT_EQ("1234", std::string(reinterpret_cast<const char*>(unformats[1].credential.data())));
    EXPECT_EQ((std::vector<unsigned>{2, 6, 2, 1, 0}), g_mainLog.codes);
    EXPECT_EQ(2, keys->closesOf(11));
    EXPECT_EQ(3u, robot->messageBoxes().size()) << "two confirmations, no PIN message, success";
}

// Once the user gives up after a rejection, the PIN stays nowhere in the program.
TEST_F(WorkflowTest, RejectedPinIsWipedWhenTheUserGivesUp)
{
    keys->readers = {{"Reader", 30, 11, 0, 4}};
    keys->unformatResults = {Fail(kScardInvalidChv), Fail(kScardInvalidChv)};
    robot->add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
    robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
    robot->add(TypeAndPress(PinDialogProc, IDC_PIN_EDIT, "9999"));
    robot->add(AnswerMessageBoxWithText("The PIN you entered is incorrect!", IDOK));
    robot->add(PressIn(PinDialogProc, IDCANCEL));
    run(true);
    EXPECT_EQ("9999", std::string(reinterpret_cast<const char*>(keys->callsNamed("UnformatCard").at(1).credential.data())));
    EXPECT_EQ(std::vector<unsigned char>(kCredentialSize, 0),
              std::vector<unsigned char>(g_attempt.credential, g_attempt.credential + kCredentialSize));
}

TEST_F(WorkflowTest, WrongSoPinThenRightOne)
{
    keys->readers = {{"Reader", 30, 11, 0, 8}};
    keys->formatResults = {Fail(kScardInvalidChv)};
    robot->add(TypeAndPress(SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, "99999999"));
    robot->add(AnswerMessageBoxWithText(kConfirmReformat, IDYES));
    robot->add(AnswerMessageBoxWithText(kConfirmDataLoss, IDYES));
    robot->add(AnswerMessageBoxWithText(kWrongSoPin, IDOK));
    robot->add(TypeAndPress(SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, "24682468"));
    robot->add(AnswerMessageBoxWithText(kSuccess, IDOK));
    run(true);
    const auto formats = keys->callsNamed("FormatCard");
    ASSERT_EQ(2u, formats.size());
    EXPECT_EQ("24682468", std::string(reinterpret_cast<const char*>(formats[1].credential.data())));
    EXPECT_EQ(1, g_mainLog.exitCommands);
}
