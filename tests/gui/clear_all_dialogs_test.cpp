// The dialogs that offer "Clear all Key's data": SO PIN clear-all (template 118) and
// Admin PIN (template 120).
#include "credential_dialog_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"

namespace {

constexpr char kEnterSoPin[] = "Please enter SO PIN of the Key.";
constexpr char kEnterAdminPin[] = "Please enter Admin PIN of the Key.";
constexpr char kClearAll[] = "&Clear all Key's data";
constexpr char kNote[] = "Note that this option will delete all previous data from the Key.";

class SoPinClearAllDialog : public CredentialDialogTest {};
class AdminPinDialog : public CredentialDialogTest {};

void ExpectErrorOwnedBy(const SeenWindow& box, const char* text, HWND owner)
{
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(kTestCaption, box.title);
    EXPECT_EQ("error", box.icon);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ(owner, box.owner) << "owned by the credential dialog";
}

} // namespace

TEST_F(SoPinClearAllDialog, ShowsStringTableTextsWithTheBoxClear)
{
    int limit = 0;
    EXPECT_EQ(0, OpenAndDo(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, [&](HWND d) {
                  limit = EditLimit(d, IDC_SO_PIN_EDIT);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ(kEnterSoPin, seen.texts.at(IDC_SO_PIN_PROMPT));
    EXPECT_EQ(kClearAll, seen.texts.at(IDC_CLEAR_ALL));
    EXPECT_EQ(kNote, seen.texts.at(IDC_CLEAR_ALL_NOTE));
    EXPECT_EQ("&SO PIN:", seen.texts.at(IDC_SO_PIN_LABEL));
    EXPECT_EQ("Usually SO PIN is \"24682468\". If the Key doesn't have enough free space for "
              "formatting you could select \"Clear all Key's data\" option.",
              seen.texts.at(IDC_SO_PIN_HELP));
    EXPECT_EQ("", seen.texts.at(IDC_SO_PIN_EDIT));
    EXPECT_NE(0, seen.styles.at(IDC_SO_PIN_EDIT) & ES_PASSWORD);
    EXPECT_EQ(64, limit);
    EXPECT_TRUE(seen.enabled.at(IDOK));
    EXPECT_TRUE(seen.enabled.at(IDC_SO_PIN_EDIT));
    EXPECT_FALSE(g_attempt.clearAll);
}

TEST_F(SoPinClearAllDialog, TickedBoxStillNeedsAnSoPin)
{
    bool flagAfterTick = false;
    std::string afterMessage = "(not back)";
    InDialog(SoPinClearAllDialogProc, [&](HWND d) {
        EXPECT_FALSE(BoxTicked(d, IDC_CLEAR_ALL)) << "the box starts clear";
        ClickBox(d, IDC_CLEAR_ALL);
        flagAfterTick = g_attempt.clearAll;
        Press(d, IDOK);
    });
    AnswerMessageBoxThen([&](HWND d) {
        afterMessage = ControlText(d, IDC_SO_PIN_EDIT);
        TypeInto(d, IDC_SO_PIN_EDIT, "24682468");
        Press(d, IDOK);
    });
    EXPECT_EQ(1, Open(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc));
    ExpectScriptDone();

    EXPECT_TRUE(flagAfterTick) << "ticking sets the flag at once";
    ASSERT_EQ(1u, robot_.messageBoxes().size());
    ExpectErrorOwnedBy(robot_.messageBoxes()[0], kEnterSoPin, OnlyDialog().window);
    EXPECT_EQ("", afterMessage);
    EXPECT_STREQ("24682468", CredentialText());
    EXPECT_TRUE(g_attempt.clearAll);
}

TEST_F(SoPinClearAllDialog, EmptySoPinIsRefusedAndTheBufferKept)
{
    SetCredentialText("previous");
    InDialog(SoPinClearAllDialogProc, [](HWND d) {
        TypeInto(d, IDC_SO_PIN_EDIT, "");
        Press(d, IDOK);
    });
    AnswerMessageBoxThen([](HWND d) { Press(d, IDCANCEL); });
    EXPECT_EQ(0, Open(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc));
    ExpectScriptDone();
    ASSERT_EQ(1u, robot_.messageBoxes().size());
    ExpectErrorOwnedBy(robot_.messageBoxes()[0], kEnterSoPin, OnlyDialog().window);
    EXPECT_STREQ("previous", CredentialText());
}

TEST_F(SoPinClearAllDialog, UntickingClearsTheFlagAgain)
{
    std::vector<bool> flags;
    EXPECT_EQ(1, OpenAndDo(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, [&](HWND d) {
                  ClickBox(d, IDC_CLEAR_ALL);
                  flags.push_back(g_attempt.clearAll);
                  ClickBox(d, IDC_CLEAR_ALL);
                  flags.push_back(g_attempt.clearAll);
                  flags.push_back(ControlEnabled(d, IDOK));
                  TypeInto(d, IDC_SO_PIN_EDIT, "1234");
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_EQ((std::vector<bool>{true, false, true}), flags) << "flag ticked, flag unticked, OK enabled";
    EXPECT_STREQ("1234", CredentialText());
    EXPECT_FALSE(g_attempt.clearAll);
}

TEST_F(SoPinClearAllDialog, RetryShowsTheLastSoPinWithTheBoxClear)
{
    SetCredentialText("24682468");
    std::string shown;
    bool ticked = true;
    EXPECT_EQ(1, OpenAndDo(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, [&](HWND d) {
                  shown = ControlText(d, IDC_SO_PIN_EDIT);
                  ticked = BoxTicked(d, IDC_CLEAR_ALL);
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_EQ("24682468", shown);
    EXPECT_FALSE(ticked);
    EXPECT_STREQ("24682468", CredentialText());
    EXPECT_FALSE(g_attempt.clearAll);
}

TEST_F(SoPinClearAllDialog, OpeningShowsTheChoiceThatTheAttemptCarries)
{
    // A retry keeps the choice of the rejected attempt; a first attempt starts clear.
    g_attempt.clearAll = true;
    bool ticked = true;
    EXPECT_EQ(0, OpenAndDo(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, [&](HWND d) {
                  ticked = BoxTicked(d, IDC_CLEAR_ALL);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    EXPECT_TRUE(ticked) << "the box as the user left it";
    EXPECT_TRUE(g_attempt.clearAll);
}

TEST_F(SoPinClearAllDialog, CancelKeepsTheLastStateOfTheBox)
{
    SetCredentialText("kept");
    EXPECT_EQ(0, OpenAndDo(IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, [](HWND d) {
                  TypeInto(d, IDC_SO_PIN_EDIT, "typed");
                  ClickBox(d, IDC_CLEAR_ALL);
                  Press(d, IDC_CLOSE_COMMAND);
              }));
    ExpectScriptDone();
    EXPECT_STREQ("kept", CredentialText());
    EXPECT_TRUE(g_attempt.clearAll);
}

TEST_F(AdminPinDialog, ShowsStringTableTextsWithTheBoxTicked)
{
    int limit = 0;
    bool ticked = false;
    EXPECT_EQ(0, OpenAndDo(IDD_ADMIN_PIN, AdminPinDialogProc, [&](HWND d) {
                  limit = EditLimit(d, IDC_ADMIN_PIN_EDIT);
                  ticked = BoxTicked(d, IDC_CLEAR_ALL);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ(kEnterAdminPin, seen.texts.at(IDC_ADMIN_PIN_PROMPT));
    EXPECT_EQ(kClearAll, seen.texts.at(IDC_CLEAR_ALL));
    EXPECT_EQ(kNote, seen.texts.at(IDC_CLEAR_ALL_NOTE));
    EXPECT_EQ("Admin &PIN:", seen.texts.at(IDC_ADMIN_PIN_LABEL));
    EXPECT_EQ("Usually Admin PIN is \"52738164\". \"Clear all Key's data\" option should be set "
              "for formatting this type of Key.",
              seen.texts.at(IDC_ADMIN_PIN_HELP));
    EXPECT_EQ("", seen.texts.at(IDC_ADMIN_PIN_EDIT));
    EXPECT_NE(0, seen.styles.at(IDC_ADMIN_PIN_EDIT) & ES_PASSWORD);
    EXPECT_EQ(64, limit);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(seen.enabled.at(IDOK)) << "OK starts enabled";
    EXPECT_TRUE(g_attempt.clearAll) << "the flag is set on opening and kept by Cancel";
}

TEST_F(AdminPinDialog, OkLivesOnlyWhileTheBoxIsTicked)
{
    struct State {
        bool flag, okEnabled;
        std::string note; // under the box: why OK is greyed
    };
    std::vector<State> states;
    EXPECT_EQ(1, OpenAndDo(IDD_ADMIN_PIN, AdminPinDialogProc, [&](HWND d) {
                  TypeInto(d, IDC_ADMIN_PIN_EDIT, "52738164");
                  ClickBox(d, IDC_CLEAR_ALL);
                  states.push_back({g_attempt.clearAll, ControlEnabled(d, IDOK), ControlText(d, IDC_CLEAR_ALL_NOTE)});
                  ClickBox(d, IDC_CLEAR_ALL);
                  states.push_back({g_attempt.clearAll, ControlEnabled(d, IDOK), ControlText(d, IDC_CLEAR_ALL_NOTE)});
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    ASSERT_EQ(2u, states.size());
    EXPECT_FALSE(states[0].flag) << "unticked";
    EXPECT_FALSE(states[0].okEnabled) << "unticked";
    EXPECT_EQ("This type of Key is only formatted with all its data cleared. Tick \"Clear all Key's data\" to go on.",
              states[0].note);
    EXPECT_EQ(kNote, states[1].note) << "ticked again";
    EXPECT_TRUE(states[1].flag) << "ticked again";
    EXPECT_TRUE(states[1].okEnabled) << "ticked again";
    EXPECT_STREQ("52738164", CredentialText());
    EXPECT_TRUE(g_attempt.clearAll);
}

TEST_F(AdminPinDialog, CancelAfterUntickingLeavesTheFlagClear)
{
    SetCredentialText("kept");
    EXPECT_EQ(0, OpenAndDo(IDD_ADMIN_PIN, AdminPinDialogProc, [](HWND d) {
                  TypeInto(d, IDC_ADMIN_PIN_EDIT, "typed");
                  ClickBox(d, IDC_CLEAR_ALL);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    EXPECT_FALSE(g_attempt.clearAll);
    EXPECT_STREQ("kept", CredentialText());
}

TEST_F(AdminPinDialog, EmptyAdminPinIsRefusedWithMessage37)
{
    std::string afterMessage = "(not back)";
    InDialog(AdminPinDialogProc, [](HWND d) { Press(d, IDOK); });
    AnswerMessageBoxThen([&](HWND d) {
        afterMessage = ControlText(d, IDC_ADMIN_PIN_EDIT);
        EXPECT_EQ(0, g_attempt.credential[0]) << "nothing stored by the refused OK";
        TypeInto(d, IDC_ADMIN_PIN_EDIT, "52738164");
        Press(d, IDOK);
    });
    EXPECT_EQ(1, Open(IDD_ADMIN_PIN, AdminPinDialogProc));
    ExpectScriptDone();
    ASSERT_EQ(1u, robot_.messageBoxes().size());
    ExpectErrorOwnedBy(robot_.messageBoxes()[0], kEnterAdminPin, OnlyDialog().window);
    EXPECT_EQ("", afterMessage);
    EXPECT_STREQ("52738164", CredentialText());
    EXPECT_TRUE(g_attempt.clearAll);
}

TEST_F(AdminPinDialog, RetryShowsTheLastAdminPinWithTheBoxTickedAgain)
{
    SetCredentialText("11112222");
    g_attempt.clearAll = false; // a new attempt starts clear; the dialog sets it again
    std::string shown;
    bool ticked = false;
    EXPECT_EQ(1, OpenAndDo(IDD_ADMIN_PIN, AdminPinDialogProc, [&](HWND d) {
                  shown = ControlText(d, IDC_ADMIN_PIN_EDIT);
                  ticked = BoxTicked(d, IDC_CLEAR_ALL);
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_EQ("11112222", shown);
    EXPECT_TRUE(ticked);
    EXPECT_STREQ("11112222", CredentialText());
    EXPECT_TRUE(g_attempt.clearAll);
}
