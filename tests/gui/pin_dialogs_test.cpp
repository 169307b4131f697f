// The PIN dialog (template 112) and the SO PIN dialog (template 113), which the workflow
// opens after the key library rejected the credential.
#include "credential_dialog_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"

namespace {

constexpr char kPinTooShort[] = "PIN for this type of Key should be at least 4 characters!";

class PinDialog : public CredentialDialogTest {
protected:
    INT_PTR TypeAndAccept(const std::string& typed)
    {
        return OpenAndDo(IDD_PIN, PinDialogProc, [typed](HWND d) {
            TypeInto(d, IDC_PIN_EDIT, typed);
            Press(d, IDOK);
        });
    }
};

class SoPinDialog : public CredentialDialogTest {
protected:
    INT_PTR TypeAndAccept(const std::string& typed)
    {
        return OpenAndDo(IDD_SO_PIN, SoPinDialogProc, [typed](HWND d) {
            TypeInto(d, IDC_SO_PIN_EDIT, typed);
            Press(d, IDOK);
        });
    }
};

} // namespace

TEST_F(PinDialog, ShowsStringTableTextsAndMaskedEdit)
{
    g_attempt.cardType = 4;
    int limit = 0;
    EXPECT_EQ(0, OpenAndDo(IDD_PIN, PinDialogProc, [&](HWND d) {
                  limit = EditLimit(d, IDC_PIN_EDIT);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ("Please enter PIN of the Key.", seen.texts.at(IDC_PIN_PROMPT));
    EXPECT_EQ("", seen.texts.at(IDC_PIN_EDIT));
    EXPECT_NE(0, seen.styles.at(IDC_PIN_EDIT) & ES_PASSWORD);
    EXPECT_EQ(64, limit);
}

TEST_F(PinDialog, ThreeCharactersAreRefusedForCardType4AndFourAccepted)
{
    g_attempt.cardType = 4;
    SetCredentialText("abcdefghij");
    std::string afterMessage;
    InDialog(PinDialogProc, [](HWND d) {
        TypeInto(d, IDC_PIN_EDIT, "123");
        Press(d, IDOK);
    });
    AnswerMessageBoxThen([&](HWND d) {
        afterMessage = ControlText(d, IDC_PIN_EDIT);
        TypeInto(d, IDC_PIN_EDIT, "1234");
        Press(d, IDOK);
    });
    EXPECT_EQ(1, Open(IDD_PIN, PinDialogProc));
    ExpectScriptDone();

    const auto boxes = robot_.messageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kPinTooShort, boxes[0].text);
    EXPECT_EQ(kTestCaption, boxes[0].title);
    EXPECT_EQ("error", boxes[0].icon);
    EXPECT_EQ(std::vector<int>{IDOK}, boxes[0].buttons);
    EXPECT_EQ(OnlyDialog().window, boxes[0].owner) << "owned by the PIN dialog";
    EXPECT_EQ("123", afterMessage) << "the entry stays after the message";
    EXPECT_STREQ("1234", CredentialText());
    EXPECT_STREQ("fghij", CredentialText() + 5) << "bytes after the terminator stay";
}

TEST_F(PinDialog, RefusedPinLeavesTheBufferUntouched)
{
    g_attempt.cardType = 4;
    SetCredentialText("5555");
    InDialog(PinDialogProc, [](HWND d) {
        TypeInto(d, IDC_PIN_EDIT, "");
        Press(d, IDOK);
    });
    AnswerMessageBoxThen([](HWND d) { Press(d, IDCANCEL); });
    EXPECT_EQ(0, Open(IDD_PIN, PinDialogProc));
    ExpectScriptDone();
    ASSERT_EQ(1u, robot_.messageBoxes().size());
    EXPECT_EQ(kPinTooShort, robot_.messageBoxes()[0].text);
    EXPECT_STREQ("5555", CredentialText());
}

TEST_F(PinDialog, OtherCardTypesAcceptAnyPinEvenAnEmptyOne)
{
    for (const int cardType : {0, 3, 5, 6, 12}) {
        g_attempt.cardType = cardType;
        SetCredentialText("9");
        EXPECT_EQ(1, TypeAndAccept("")) << "card type " << cardType;
        EXPECT_EQ(0, g_attempt.credential[0]) << "card type " << cardType;
        EXPECT_EQ(1, TypeAndAccept("ab")) << "card type " << cardType;
        EXPECT_STREQ("ab", CredentialText()) << "card type " << cardType;
    }
    ExpectScriptDone();
    EXPECT_TRUE(robot_.messageBoxes().empty());
}

TEST_F(PinDialog, RetryShowsTheLastPinTyped)
{
    g_attempt.cardType = 4;
    EXPECT_EQ(1, TypeAndAccept("8642"));
    // Rejected by the key library: the retry opens the dialog on the same buffer.
    std::string shown;
    EXPECT_EQ(0, OpenAndDo(IDD_PIN, PinDialogProc, [&](HWND d) {
                  shown = ControlText(d, IDC_PIN_EDIT);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    EXPECT_EQ("8642", shown);
    EXPECT_STREQ("8642", CredentialText()) << "Cancel leaves the buffer alone";
}

TEST_F(PinDialog, EntryStopsAt64Characters)
{
    EXPECT_EQ(1, TypeAndAccept(std::string(80, '4')));
    ExpectScriptDone();
    EXPECT_EQ(std::string(64, '4'), CredentialText());
}

TEST_F(SoPinDialog, ShowsStringTableTextsAndMaskedEdit)
{
    int limit = 0;
    EXPECT_EQ(0, OpenAndDo(IDD_SO_PIN, SoPinDialogProc, [&](HWND d) {
                  limit = EditLimit(d, IDC_SO_PIN_EDIT);
                  Press(d, IDCANCEL);
              }));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ("Please enter SO PIN of the Key.", seen.texts.at(IDC_SO_PIN_PROMPT));
    EXPECT_EQ("", seen.texts.at(IDC_SO_PIN_EDIT));
    EXPECT_NE(0, seen.styles.at(IDC_SO_PIN_EDIT) & ES_PASSWORD);
    EXPECT_EQ(64, limit);
}

TEST_F(SoPinDialog, EmptySoPinIsAccepted)
{
    SetCredentialText("earlier");
    EXPECT_EQ(1, TypeAndAccept(""));
    ExpectScriptDone();
    EXPECT_TRUE(robot_.messageBoxes().empty());
    EXPECT_EQ(0, g_attempt.credential[0]) << "an empty credential";
    EXPECT_STREQ("arlier", CredentialText() + 1) << "bytes after the terminator stay";
}

TEST_F(SoPinDialog, RetryShowsTheLastSoPinAndStoresTheNewOne)
{
    g_attempt.clearAll = true;
    EXPECT_EQ(1, TypeAndAccept("24682468"));
    EXPECT_STREQ("24682468", CredentialText());
    std::string shown;
    EXPECT_EQ(1, OpenAndDo(IDD_SO_PIN, SoPinDialogProc, [&](HWND d) {
                  shown = ControlText(d, IDC_SO_PIN_EDIT);
                  TypeInto(d, IDC_SO_PIN_EDIT, "13571357");
                  Press(d, IDOK);
              }));
    ExpectScriptDone();
    EXPECT_EQ("24682468", shown);
    EXPECT_STREQ("13571357", CredentialText());
    EXPECT_TRUE(g_attempt.clearAll) << "this dialog leaves the clear-all flag alone";
}

TEST_F(SoPinDialog, CancelAndCloseCommandLeaveTheBufferAlone)
{
    for (const int command : {IDCANCEL, IDC_CLOSE_COMMAND}) {
        SetCredentialText("1111");
        EXPECT_EQ(0, OpenAndDo(IDD_SO_PIN, SoPinDialogProc, [command](HWND d) {
                      TypeInto(d, IDC_SO_PIN_EDIT, "2222");
                      Press(d, command);
                  }))
            << "command " << command;
        EXPECT_STREQ("1111", CredentialText()) << "command " << command;
    }
    ExpectScriptDone();
}
