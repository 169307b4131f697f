// The formatting password dialog (template 119) driven as a user would.
#include "credential_dialog_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"

#include <cstring>

namespace {

constexpr char kSentence[] = "Please enter Formatting password required for this type of Key.";

class FormattingPasswordDialog : public CredentialDialogTest {
protected:
    INT_PTR TypeAndAccept(const std::string& typed, const char* defaultText = nullptr)
    {
        return OpenAndDo(IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc,
                         [typed](HWND dialog) {
                             TypeInto(dialog, IDC_SECRET_EDIT, typed);
                             Press(dialog, IDOK);
                         },
                         defaultText);
    }
};

} // namespace

TEST_F(FormattingPasswordDialog, ShowsStringTableTextsAndPlainEdit)
{
    int limit = 0;
    EXPECT_EQ(0, OpenAndDo(IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc, [&](HWND d) {
                  limit = EditLimit(d, IDC_SECRET_EDIT);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ(kSentence, seen.texts.at(IDC_SECRET_PROMPT)) << "no default text: first sentence only";
    EXPECT_EQ("", seen.texts.at(IDC_SECRET_EDIT));
    EXPECT_EQ(0, seen.styles.at(IDC_SECRET_EDIT) & ES_PASSWORD) << "the password is readable as typed";
    EXPECT_EQ(64, limit);
}

TEST_F(FormattingPasswordDialog, PromptQuotesTheDefaultText)
{
    const struct {
        const char* defaultText;
        std::string prompt;
    } cases[] = {
        {"TRUVOSEK", "Please enter Formatting password required for this type of Key. "
                     "Usually Formatting password is \"TRUVOSEK\"."},
        {"MOLDIRA+", "Please enter Formatting password required for this type of Key. "
                     "Usually Formatting password is \"MOLDIRA+\"."},
        {nullptr, kSentence},
    };
    for (const auto& c : cases) {
        std::string prompt;
        std::string edit = "(not open)";
        EXPECT_EQ(0, OpenAndDo(IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc,
                               [&](HWND d) {
                                   prompt = ControlText(d, IDC_SECRET_PROMPT);
                                   edit = ControlText(d, IDC_SECRET_EDIT);
                                   Press(d, IDCANCEL);
                               },
                               c.defaultText));
        const char* name = c.defaultText ? c.defaultText : "(none)";
        EXPECT_EQ(c.prompt, prompt) << "default " << name;
        EXPECT_EQ("", edit) << "the default is never pre-filled; default " << name;
    }
    ExpectScriptDone();
}

TEST_F(FormattingPasswordDialog, EmptyEntryWithDefaultIsAcceptedAsEmptyText)
{
    EXPECT_EQ(1, TypeAndAccept("", "MOLDIRA+"));
    ExpectScriptDone();
    EXPECT_TRUE(robot_.messageBoxes().empty()) << "no check on the password";
    EXPECT_EQ(RepeatHex("00", 256), CredentialHex(256)) << "an empty text, not the default";
}

TEST_F(FormattingPasswordDialog, TypedPasswordIsStoredAsText)
{
    EXPECT_EQ(1, TypeAndAccept("Secret pass 1", "TRUVOSEK"));
    ExpectScriptDone();
    EXPECT_STREQ("Secret pass 1", CredentialText());
}

TEST_F(FormattingPasswordDialog, RetryShowsTheLastPasswordAndWritesOnlyTheNewText)
{
    SetCredentialText("earlier-password");
    std::string shown;
    EXPECT_EQ(1, OpenAndDo(IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc, [&](HWND d) {
                  shown = ControlText(d, IDC_SECRET_EDIT);
                  TypeInto(d, IDC_SECRET_EDIT, "short");
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_EQ("earlier-password", shown);
    EXPECT_STREQ("short", CredentialText());
    EXPECT_STREQ("r-password", CredentialText() + 6) << "bytes after the terminator stay";
}

TEST_F(FormattingPasswordDialog, EntryStopsAt64Characters)
{
    const std::string typed(70, 'p');
    EXPECT_EQ(1, TypeAndAccept(typed));
    ExpectScriptDone();
    EXPECT_EQ(std::string(64, 'p'), CredentialText());
}

TEST_F(FormattingPasswordDialog, CancelAndCloseCommandLeaveTheBufferAlone)
{
    for (const int command : {IDCANCEL, IDC_CLOSE_COMMAND}) {
        SetCredentialText("kept");
        EXPECT_EQ(0, OpenAndDo(IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc,
                               [command](HWND d) {
                                   TypeInto(d, IDC_SECRET_EDIT, "not taken");
                                   Press(d, command);
                               },
                               "TRUVOSEK"))
            << "command " << command;
        EXPECT_STREQ("kept", CredentialText()) << "command " << command;
        EXPECT_EQ(0, g_attempt.credential[5]) << "command " << command;
    }
    ExpectScriptDone();
}
