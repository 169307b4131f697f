// The pass phrase dialog (template 108), whose box lets the user go on without the phrase.
#include "credential_dialog_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"

namespace {

class PassPhraseDialog : public CredentialDialogTest {};

} // namespace

TEST_F(PassPhraseDialog, ShowsStringTableTextsNotTheTemplateWording)
{
    int limit = 0;
    bool ticked = true;
    EXPECT_EQ(0, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [&](HWND d) {
                  limit = EditLimit(d, IDC_PASS_PHRASE_EDIT);
                  ticked = BoxTicked(d, IDC_CLEAR_ALL);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ("Please enter Pass Phrase of the Key.", seen.texts.at(IDC_PASS_PHRASE_TITLE));
    EXPECT_EQ("&Clear all Key's data", seen.texts.at(IDC_CLEAR_ALL));
    EXPECT_EQ("Pass Phrase:", seen.texts.at(IDC_PASS_PHRASE_LABEL));
    EXPECT_EQ("Usually Pass Phrase is \"LANTERNS\" or empty. If you forgot the Pass Phrase or your "
              "Key is finally blocked you could select \"Clear all Key's data\" option to proceed "
              "without entering Pass Phrase.",
              seen.texts.at(IDC_PASS_PHRASE_HELP));
    EXPECT_EQ("Note that this option will delete all previous data from the Key.",
              seen.texts.at(IDC_CLEAR_ALL_NOTE));
    EXPECT_EQ("", seen.texts.at(IDC_PASS_PHRASE_EDIT));
    EXPECT_NE(0, seen.styles.at(IDC_PASS_PHRASE_EDIT) & ES_PASSWORD);
    EXPECT_TRUE(seen.enabled.at(IDC_PASS_PHRASE_EDIT));
    EXPECT_TRUE(seen.enabled.at(IDOK));
    EXPECT_EQ(64, limit);
    EXPECT_FALSE(ticked);
}

TEST_F(PassPhraseDialog, OpensEmptyWithTheBoxAsLeftOnARetryAndEvenCancelLeavesNoPhrase)
{
    // What an earlier attempt left: a rejected pass phrase and a ticked box.
    FillCredential('L');
    g_attempt.clearAll = true;
    std::string shown = "(not open)";
    bool ticked = true;
    EXPECT_EQ(0, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [&](HWND d) {
                  shown = ControlText(d, IDC_PASS_PHRASE_EDIT);
                  ticked = BoxTicked(d, IDC_CLEAR_ALL);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    EXPECT_EQ("", shown) << "never the last pass phrase";
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(g_attempt.clearAll);
    EXPECT_EQ(RepeatHex("00", 256), CredentialHex(256)) << "all 256 bytes zeroed on opening";
}

TEST_F(PassPhraseDialog, TickingTakesNoPhraseWhateverWasTyped)
{
    bool editEnabled = true;
    std::string keptInEdit;
    bool flagAfterTick = false;
    EXPECT_EQ(1, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [&](HWND d) {
                  TypeInto(d, IDC_PASS_PHRASE_EDIT, "LANTERNS");
                  ClickBox(d, IDC_CLEAR_ALL);
                  editEnabled = ControlEnabled(d, IDC_PASS_PHRASE_EDIT);
                  keptInEdit = ControlText(d, IDC_PASS_PHRASE_EDIT);
                  flagAfterTick = g_attempt.clearAll;
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_FALSE(editEnabled);
    EXPECT_EQ("LANTERNS", keptInEdit) << "the disabled edit keeps its text";
    EXPECT_TRUE(flagAfterTick);
    EXPECT_EQ(RepeatHex("00", 256), CredentialHex(256)) << "an empty pass phrase";
    EXPECT_TRUE(g_attempt.clearAll);
    EXPECT_TRUE(robot_.messageBoxes().empty());
}

TEST_F(PassPhraseDialog, UntickingTakesTheTypedPhraseAgain)
{
    bool editEnabled = false;
    bool flagAfterUntick = true;
    EXPECT_EQ(1, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [&](HWND d) {
                  TypeInto(d, IDC_PASS_PHRASE_EDIT, "LANTERNS");
                  ClickBox(d, IDC_CLEAR_ALL);
                  ClickBox(d, IDC_CLEAR_ALL);
                  editEnabled = ControlEnabled(d, IDC_PASS_PHRASE_EDIT);
                  flagAfterUntick = g_attempt.clearAll;
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_TRUE(editEnabled);
    EXPECT_FALSE(flagAfterUntick);
    EXPECT_STREQ("LANTERNS", CredentialText());
    EXPECT_FALSE(g_attempt.clearAll);
}

TEST_F(PassPhraseDialog, EmptyPhraseIsAccepted)
{
    SetCredentialText("earlier");
    EXPECT_EQ(1, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [](HWND d) {
                  ClickBox(d, IDC_CLEAR_ALL);
                  ClickBox(d, IDC_CLEAR_ALL);
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_TRUE(robot_.messageBoxes().empty());
    EXPECT_EQ(RepeatHex("00", 256), CredentialHex(256));
    EXPECT_FALSE(g_attempt.clearAll);
}

TEST_F(PassPhraseDialog, EntryStopsAt64Characters)
{
    EXPECT_EQ(1, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [](HWND d) {
                  TypeInto(d, IDC_PASS_PHRASE_EDIT, std::string(65, 'q') + "tail");
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_EQ(std::string(64, 'q'), CredentialText());
}

TEST_F(PassPhraseDialog, CloseCommandAfterTickingKeepsTheFlag)
{
    EXPECT_EQ(0, OpenAndDo(IDD_PASS_PHRASE, PassPhraseDialogProc, [](HWND d) {
                  TypeInto(d, IDC_PASS_PHRASE_EDIT, "typed");
                  ClickBox(d, IDC_CLEAR_ALL);
                  Press(d, IDC_CLOSE_COMMAND);
              }));
    ExpectScriptDone();
    EXPECT_TRUE(g_attempt.clearAll);
    EXPECT_EQ(RepeatHex("00", 256), CredentialHex(256));
}
