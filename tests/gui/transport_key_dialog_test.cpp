// The transport key dialog (template 107) driven as a user would.
#include "credential_dialog_fixture.h"

#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"

#include <cstring>

namespace {

constexpr char kTooShort[] = "Incorrect formatting password. It should be 8 bytes long and written in hex.";
constexpr char kSentence[] = "Please enter Transport key required for this type of Key.";

class TransportKeyDialog : public CredentialDialogTest {
protected:
    // Types `typed` and presses OK; returns the dialog result.
    INT_PTR TypeAndAccept(const std::string& typed)
    {
        InDialog(TransportKeyDialogProc, [typed](HWND dialog) {
            TypeInto(dialog, IDC_SECRET_EDIT, typed);
            Press(dialog, IDOK);
        });
        return Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc);
    }

    // Opens the dialog and returns what its edit shows, then cancels.
    std::string ShownKey()
    {
        std::string shown = "(dialog did not open)";
        InDialog(TransportKeyDialogProc, [&shown](HWND dialog) {
            shown = ControlText(dialog, IDC_SECRET_EDIT);
            Press(dialog, IDCANCEL);
        });
        EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc));
        return shown;
    }
};

} // namespace

TEST_F(TransportKeyDialog, ShowsStringTableTextsAndPlainEdit)
{
    InDialog(TransportKeyDialogProc, [](HWND dialog) { Press(dialog, IDCANCEL); });
    EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc));
    ExpectScriptDone();

    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(owner(), seen.owner);
    EXPECT_EQ(kTestCaption, seen.title);
    EXPECT_EQ("&OK", seen.texts.at(IDOK));
    EXPECT_EQ("Cancel", seen.texts.at(IDCANCEL));
    EXPECT_EQ(kSentence, seen.texts.at(IDC_SECRET_PROMPT)) << "no default text: first sentence only";
    EXPECT_EQ("", seen.texts.at(IDC_SECRET_EDIT));
    EXPECT_EQ(0, seen.styles.at(IDC_SECRET_EDIT) & ES_PASSWORD) << "the key is readable as typed";
    EXPECT_TRUE(seen.enabled.at(IDOK));
    EXPECT_TRUE(seen.enabled.at(IDC_SECRET_EDIT));
}

TEST_F(TransportKeyDialog, EditTakesAtMost32Characters)
{
    int limit = 0;
    std::string kept;
    InDialog(TransportKeyDialogProc, [&](HWND dialog) {
        limit = EditLimit(dialog, IDC_SECRET_EDIT);
        TypeInto(dialog, IDC_SECRET_EDIT, std::string(40, '7'));
        kept = ControlText(dialog, IDC_SECRET_EDIT);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc));
    ExpectScriptDone();
    EXPECT_EQ(32, limit);
    EXPECT_EQ(std::string(32, '7'), kept);
}

TEST_F(TransportKeyDialog, DefaultTextIsQuotedAfterTheUsualSentence)
{
    InDialog(TransportKeyDialogProc, [](HWND dialog) { Press(dialog, IDCANCEL); });
    EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc, "0102030405060708"));
    ExpectScriptDone();
    const SeenWindow seen = OnlyDialog();
    EXPECT_EQ(std::string(kSentence) + " Usually Transport key is \"0102030405060708\".",
              seen.texts.at(IDC_SECRET_PROMPT));
    EXPECT_EQ("", seen.texts.at(IDC_SECRET_EDIT)) << "the default is never pre-filled";
    EXPECT_EQ("0000000000000000", CredentialHex(8)) << "the default is never stored";
}

TEST_F(TransportKeyDialog, SixteenDigitsAreStoredAsEightBytes)
{
    FillCredential(0xEE);
    EXPECT_EQ(1, TypeAndAccept("0123456789ABCDEF"));
    ExpectScriptDone();
    EXPECT_EQ("0123456789ABCDEF", CredentialHex(8));
    EXPECT_EQ(0xEE, g_attempt.credential[8]) << "bytes after the key are not written";
    EXPECT_EQ(0xEE, g_attempt.credential[255]);
}

TEST_F(TransportKeyDialog, LowerCaseKeyIsStoredAndShownAgainInUpperCase)
{
    EXPECT_EQ(1, TypeAndAccept("a1b2c3d4e5f6a7b8"));
    EXPECT_EQ("A1B2C3D4E5F6A7B8", CredentialHex(8));
    // The key library rejected it: the retry opens the dialog on the same buffer.
    EXPECT_EQ("A1B2C3D4E5F6A7B8", ShownKey());
    ExpectScriptDone();
}

TEST_F(TransportKeyDialog, FifteenCharactersAreRefusedWithMessage8)
{
    g_attempt.credential[0] = 0x5A;
    std::string afterMessage;
    InDialog(TransportKeyDialogProc, [](HWND dialog) {
        TypeInto(dialog, IDC_SECRET_EDIT, "0123456789ABCDE");
        Press(dialog, IDOK);
    });
    AnswerMessageBoxThen([&afterMessage](HWND dialog) {
        afterMessage = ControlText(dialog, IDC_SECRET_EDIT);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc));
    ExpectScriptDone();

    const auto boxes = robot_.messageBoxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kTooShort, boxes[0].text);
    EXPECT_EQ(kTestCaption, boxes[0].title);
    EXPECT_EQ("error", boxes[0].icon);
    EXPECT_EQ(std::vector<int>{IDOK}, boxes[0].buttons);
    EXPECT_EQ(robot_.dialogs()[0].window, boxes[0].owner) << "owned by the transport key dialog";
    EXPECT_EQ("0123456789ABCDE", afterMessage);
    EXPECT_EQ("5A00000000000000", CredentialHex(8)) << "a refused key leaves the buffer alone";
}

// Keys are printed in groups; the spaces between them are not part of the key.
TEST_F(TransportKeyDialog, KeyTypedInGroupsIsStoredWithoutTheSpaces)
{
    EXPECT_EQ(1, TypeAndAccept("1122 3344 5566 7788"));
    EXPECT_EQ(1, TypeAndAccept(" 01 23 45 67 89 ab cd ef "));
    ExpectScriptDone();
    EXPECT_TRUE(robot_.messageBoxes().empty());
    EXPECT_EQ("0123456789ABCDEF", CredentialHex(8));
}

// Every key sent costs one of the Key's tries: what cannot be a key is refused at once.
TEST_F(TransportKeyDialog, EntriesThatAreNotSixteenHexDigitsAreRefused)
{
    const std::string entries[] = {"GHIJKLMNOPQRSTUV", "1122334455667788FFFFFFFFFFFFFFFF",
                                   "11-22-33-44-55-66-77-88", "1122 3344 5566 778", std::string(16, ' ')};
    for (const std::string& typed : entries) {
        FillCredential(0x5A);
        InDialog(TransportKeyDialogProc, [typed](HWND dialog) {
            TypeInto(dialog, IDC_SECRET_EDIT, typed);
            Press(dialog, IDOK);
        });
        AnswerMessageBoxThen([](HWND dialog) { Press(dialog, IDCANCEL); });
        EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc)) << typed;
        EXPECT_EQ(kTooShort, robot_.messageBoxes().back().text) << typed;
        EXPECT_EQ(RepeatHex("5A", 8), CredentialHex(8)) << typed;
    }
    ExpectScriptDone();
    EXPECT_EQ(std::size(entries), robot_.messageBoxes().size());
}

TEST_F(TransportKeyDialog, ZeroKeyIsShownAsAbsent)
{
    g_attempt.credential[3] = 0x99;
    EXPECT_EQ(1, TypeAndAccept("0000000000000000"));
    EXPECT_EQ("0000000000000000", CredentialHex(8));
    EXPECT_EQ("", ShownKey()) << "an all-zero key counts as no key";
    ExpectScriptDone();
}

TEST_F(TransportKeyDialog, KeyInBufferIsShownAsSixteenUpperCaseDigits)
{
    const unsigned char key[8] = {0x00, 0x0A, 0xB0, 0xFF, 0x12, 0x00, 0x00, 0x01};
    std::memcpy(g_attempt.credential, key, sizeof key);
    g_attempt.credential[8] = 'x'; // beyond the key: never shown
    EXPECT_EQ("000AB0FF12000001", ShownKey());
    ExpectScriptDone();
}

TEST_F(TransportKeyDialog, CancelAndCloseCommandLeaveTheBufferAlone)
{
    const struct {
        const char* how;
        std::function<void(HWND)> act;
    } cases[] = {
        {"Cancel", [](HWND d) { Press(d, IDCANCEL); }},
        {"command 1001", [](HWND d) { Press(d, IDC_CLOSE_COMMAND); }},
        {"close box", [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }},
        {"Esc key", [](HWND d) { PostMessageA(GetDlgItem(d, IDC_SECRET_EDIT), WM_KEYDOWN, VK_ESCAPE, 0); }},
    };
    for (const auto& c : cases) {
        FillCredential(0x3C);
        InDialog(TransportKeyDialogProc, [&c](HWND dialog) {
            TypeInto(dialog, IDC_SECRET_EDIT, "0123456789ABCDEF");
            c.act(dialog);
        });
        EXPECT_EQ(0, Open(IDD_TRANSPORT_KEY, TransportKeyDialogProc)) << c.how;
        EXPECT_EQ(RepeatHex("3C", 256), CredentialHex(256)) << c.how;
    }
    ExpectScriptDone();
}
