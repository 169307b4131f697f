// What all seven credential dialogs share: texts from the language library, the class icon,
// the way they end, and what the dialog manager learns from their procedures.
#include "credential_dialog_fixture.h"

#include "common/queued_input.h"
#include "core/attempt_state.h"
#include "dialogs/credential_dialogs.h"
#include "res/resource.h"

#include <oleacc.h>

#include <map>
#include <tuple>

namespace {

struct DialogCase {
    const char* name;
    int templateId;
    DLGPROC procedure;
    int editId;
    const char* defaultText;
    std::map<int, std::string> marked; // control ID -> text expected from lang_marked
    const char* fieldName;             // what a screen reader calls the edit
};

std::vector<DialogCase> AllDialogs()
{
    const std::string ok = "[2010] OK";
    const std::string cancel = "[2002] Cancel";
    const std::string clearAll = "[2016] Clear all";
    const std::string note = "[28] clear-all note";
    return {
        {"transport key", IDD_TRANSPORT_KEY, TransportKeyDialogProc, IDC_SECRET_EDIT, "KEY-DEFAULT",
         {{IDOK, ok}, {IDCANCEL, cancel},
          {IDC_SECRET_PROMPT, "[40] transport key sentence [41] usual transport key \"KEY-DEFAULT\"."}},
         "Transport key:"},
        {"formatting password", IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc,
         IDC_SECRET_EDIT, "TRUVOSEK",
         {{IDOK, ok}, {IDCANCEL, cancel},
          {IDC_SECRET_PROMPT, "[21] formatting password sentence [39] usual formatting password \"TRUVOSEK\"."}},
         "Formatting password:"},
        {"PIN", IDD_PIN, PinDialogProc, IDC_PIN_EDIT, nullptr,
         {{IDOK, ok}, {IDCANCEL, cancel}, {IDC_PIN_PROMPT, "[24] PIN prompt"}}, "PIN:"},
        {"SO PIN", IDD_SO_PIN, SoPinDialogProc, IDC_SO_PIN_EDIT, nullptr,
         {{IDOK, ok}, {IDCANCEL, cancel}, {IDC_SO_PIN_PROMPT, "[25] SO PIN prompt"}}, "SO PIN:"},
        {"SO PIN clear-all", IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, nullptr,
         {{IDOK, ok}, {IDCANCEL, cancel}, {IDC_SO_PIN_PROMPT, "[25] SO PIN prompt"},
          {IDC_CLEAR_ALL, clearAll}, {IDC_CLEAR_ALL_NOTE, note},
          {IDC_SO_PIN_LABEL, "[33] SO PIN label"}, {IDC_SO_PIN_HELP, "[34] SO PIN help"}}, "SO PIN:"},
        {"Admin PIN", IDD_ADMIN_PIN, AdminPinDialogProc, IDC_ADMIN_PIN_EDIT, nullptr,
         {{IDOK, ok}, {IDCANCEL, cancel}, {IDC_ADMIN_PIN_PROMPT, "[37] Admin PIN prompt"},
          {IDC_CLEAR_ALL, clearAll}, {IDC_CLEAR_ALL_NOTE, note},
          {IDC_ADMIN_PIN_LABEL, "[36] Admin PIN label"}, {IDC_ADMIN_PIN_HELP, "[35] Admin PIN help"}},
         "Admin PIN:"},
        {"pass phrase", IDD_PASS_PHRASE, PassPhraseDialogProc, IDC_PASS_PHRASE_EDIT, nullptr,
         {{IDOK, ok}, {IDCANCEL, cancel}, {IDC_PASS_PHRASE_TITLE, "[23] pass phrase title"},
          {IDC_CLEAR_ALL, clearAll}, {IDC_CLEAR_ALL_NOTE, note},
          {IDC_PASS_PHRASE_LABEL, "[29] pass phrase label"},
          {IDC_PASS_PHRASE_HELP, "[27] pass phrase help"}}, "Pass Phrase:"},
    };
}

// The name that the accessibility interface (MSAA) gives a control, as a screen reader reads it.
std::string AccessibleName(HWND control)
{
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible))))
        return "(no accessible object)";
    VARIANT self{}; // CHILDID_SELF
    self.vt = VT_I4;
    BSTR name = nullptr;
    accessible->get_accName(self, &name);
    accessible->Release();
    char text[256] = {};
    if (name != nullptr)
        WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr);
    SysFreeString(name);
    return text;
}

class CredentialDialogs : public CredentialDialogTest {};

} // namespace

TEST_F(CredentialDialogs, EveryTextComesFromTheLanguageLibrary)
{
    UseMarkedLanguage();
    for (const DialogCase& c : AllDialogs()) {
        std::map<int, std::string> shown;
        std::string title;
        EXPECT_EQ(0, OpenAndDo(c.templateId, c.procedure,
                               [&](HWND d) {
                                   title = WindowText(d);
                                   for (const auto& [id, text] : c.marked)
                                       shown[id] = ControlText(d, id);
                                   Press(d, IDCANCEL);
                               },
                               c.defaultText))
            << c.name;
        EXPECT_EQ(kTestCaption, title) << c.name << ": the caption, not a string of the dialog";
        for (const auto& [id, text] : c.marked)
            EXPECT_EQ(text, shown[id]) << c.name << ", control " << id;
    }
    ExpectScriptDone();
}

TEST_F(CredentialDialogs, MessagesComeFromTheLanguageLibrary)
{
    UseMarkedLanguage();
    g_attempt.cardType = 4;
    const struct {
        const char* name;
        int templateId;
        DLGPROC procedure;
        int editId;
        const char* refused;
        const char* message;
    } cases[] = {
        {"transport key", IDD_TRANSPORT_KEY, TransportKeyDialogProc, IDC_SECRET_EDIT, "ABC",
         "[8] transport key too short"},
        {"PIN", IDD_PIN, PinDialogProc, IDC_PIN_EDIT, "12", "[2505] PIN too short"},
        {"SO PIN clear-all", IDD_SO_PIN_CLEAR_ALL, SoPinClearAllDialogProc, IDC_SO_PIN_EDIT, "",
         "[25] SO PIN prompt"},
        {"Admin PIN", IDD_ADMIN_PIN, AdminPinDialogProc, IDC_ADMIN_PIN_EDIT, "",
         "[37] Admin PIN prompt"},
    };
    for (const auto& c : cases) {
        const std::string refused = c.refused;
        const int editId = c.editId;
        InDialog(c.procedure, [refused, editId](HWND d) {
            TypeInto(d, editId, refused);
            Press(d, IDOK);
        });
        AnswerMessageBoxThen([](HWND d) { Press(d, IDCANCEL); });
        EXPECT_EQ(0, Open(c.templateId, c.procedure)) << c.name;
        const auto boxes = robot_.messageBoxes();
        ASSERT_FALSE(boxes.empty()) << c.name;
        EXPECT_EQ(c.message, boxes.back().text) << c.name;
        EXPECT_EQ(kTestCaption, boxes.back().title) << c.name;
        EXPECT_EQ("error", boxes.back().icon) << c.name;
    }
    ExpectScriptDone();
    EXPECT_EQ(4u, robot_.messageBoxes().size());
}

TEST_F(CredentialDialogs, LongTranslatedSentenceIsCutToThePromptBuffer)
{
    UseLongPromptLanguage();
    // 1015 characters, a space, then only the 7 characters of "Usually" fit in 1023.
    const std::string expected = std::string(1015, 'x') + " Usually";
    const struct {
        int templateId;
        DLGPROC procedure;
    } prompted[] = {{IDD_TRANSPORT_KEY, TransportKeyDialogProc},
                    {IDD_FORMATTING_PASSWORD, FormattingPasswordDialogProc}};
    for (const auto& [templateId, procedure] : prompted) {
        std::string prompt;
        EXPECT_EQ(0, OpenAndDo(templateId, procedure,
                               [&prompt](HWND d) {
                                   prompt = ControlText(d, IDC_SECRET_PROMPT);
                                   Press(d, IDCANCEL);
                               },
                               "TRUVOSEK"))
            << "template " << templateId;
        EXPECT_EQ(expected, prompt) << "template " << templateId;
    }
    ExpectScriptDone();
}

TEST_F(CredentialDialogs, EachInstallsTheMissingIcon105AsClassIcon)
{
    // Give the dialog class an icon first, so that resetting it shows.
    HWND other = CreateWindowA("#32770", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, other);
    const auto someIcon = reinterpret_cast<ULONG_PTR>(LoadIconA(nullptr, IDI_APPLICATION));
    for (const DialogCase& c : AllDialogs()) {
        SetClassLongPtrA(other, GCLP_HICON, someIcon);
        ULONG_PTR classIcon = someIcon;
        EXPECT_EQ(0, OpenAndDo(c.templateId, c.procedure,
                               [&classIcon](HWND d) {
                                   classIcon = GetClassLongPtrA(d, GCLP_HICON);
                                   Press(d, IDCANCEL);
                               },
                               c.defaultText))
            << c.name;
        EXPECT_EQ(0u, classIcon) << c.name << ": there is no icon 105, so no icon at all";
    }
    DestroyWindow(other);
    ExpectScriptDone();
}

TEST_F(CredentialDialogs, ProceduresReturnFalseForEveryMessage)
{
    for (const DialogCase& c : AllDialogs()) {
        std::vector<INT_PTR> results;
        bool stillOpen = false;
        EXPECT_EQ(0, OpenAndDo(c.templateId, c.procedure,
                               [&](HWND d) {
                                   const auto param = reinterpret_cast<LPARAM>(c.defaultText);
                                   HWND edit = GetDlgItem(d, c.editId);
                                   results.push_back(c.procedure(d, WM_INITDIALOG,
                                                                 reinterpret_cast<WPARAM>(edit), param));
                                   results.push_back(c.procedure(d, WM_COMMAND, MAKEWPARAM(4242, 0), 0));
                                   results.push_back(c.procedure(d, WM_TIMER, 1, 0));
                                   stillOpen = IsWindowVisible(d) != FALSE;
                                   Press(d, IDCANCEL);
                               },
                               c.defaultText))
            << c.name;
        EXPECT_EQ((std::vector<INT_PTR>{0, 0, 0}), results) << c.name;
        EXPECT_TRUE(stillOpen) << c.name << ": an unknown command ends nothing";
    }
    ExpectScriptDone();
}

TEST_F(CredentialDialogs, CancelCloseCommandCloseBoxAndEscEndWithZero)
{
    const struct {
        const char* how;
        void (*act)(HWND dialog);
    } ways[] = {
        {"Cancel", [](HWND d) { Press(d, IDCANCEL); }},
        // Only the low word is the command: a notification code in the high word changes nothing.
        {"Cancel from an accelerator",
         [](HWND d) { PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, 1), 0); }},
        {"close command", [](HWND d) { Press(d, IDC_CLOSE_COMMAND); }},
        {"close command with a code",
         [](HWND d) { PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_CLOSE_COMMAND, 0x300), 0); }},
        {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Esc in the edit",
         [](HWND d) { PostMessageA(GetNextDlgTabItem(d, nullptr, FALSE), WM_KEYDOWN, VK_ESCAPE, 0); }},
    };
    for (const DialogCase& c : AllDialogs()) {
        for (const auto& way : ways) {
            SetCredentialText("unchanged");
            EXPECT_EQ(0, OpenAndDo(c.templateId, c.procedure,
                                   [&](HWND d) {
                                       TypeInto(d, c.editId, "12345678901234567890");
                                       way.act(d);
                                   },
                                   c.defaultText))
                << c.name << ", " << way.how;
            // The pass phrase dialog empties the buffer as it opens; the others leave it.
            const char* expected = c.templateId == IDD_PASS_PHRASE ? "" : "unchanged";
            EXPECT_STREQ(expected, CredentialText()) << c.name << ", " << way.how;
        }
    }
    ExpectScriptDone();
}

// A quit message ends a dialog's loop (under Wine with OK's value): it is no OK, nothing goes
// into the buffer, and the quit is kept for the program's own loop, also by the box that
// empties the queue first.
TEST_F(CredentialDialogs, AQuitIsNoOkAndIsKept)
{
    for (const DialogCase& c : AllDialogs()) {
        SetCredentialText("unchanged");
        InDialog(c.procedure, [&](HWND d) {
            TypeInto(d, c.editId, "0011223344556677");
            PostQuitMessage(7);
        });
        EXPECT_FALSE(AskInCredentialDialog(owner(), c.templateId, c.defaultText)) << c.name;
        EXPECT_EQ(c.templateId == IDD_PASS_PHRASE ? "" : std::string("unchanged"), CredentialText()) << c.name;
        DiscardQueuedInput();
        MSG quit = {};
        EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << c.name;
        EXPECT_EQ(7u, quit.wParam) << c.name;
    }
    ExpectScriptDone();
}

TEST_F(CredentialDialogs, OkWithANotificationCodeStillAccepts)
{
    for (const DialogCase& c : AllDialogs()) {
        ResetAttemptState();
        EXPECT_EQ(1, OpenAndDo(c.templateId, c.procedure,
                               [&](HWND d) {
                                   TypeInto(d, c.editId, "0011223344556677");
                                   PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
                               },
                               c.defaultText))
            << c.name;
        const bool keyBytes = c.templateId == IDD_TRANSPORT_KEY;
        EXPECT_EQ(keyBytes ? "0011223344556677" : "30303131323233333434353536363737",
                  CredentialHex(keyBytes ? 8 : 16))
            << c.name;
    }
    ExpectScriptDone();
}

// Without a mouse and without sight: a screen reader names each field after its label, and
// Tab visits the controls as they stand on the screen, top to bottom, left to right.
TEST_F(CredentialDialogs, FieldsAreNamedAndTabFollowsTheScreen)
{
    CoInitialize(nullptr);
    for (const DialogCase& c : AllDialogs()) {
        std::string name;
        std::vector<RECT> tabStops;
        EXPECT_EQ(0, OpenAndDo(c.templateId, c.procedure,
                               [&](HWND d) {
                                   name = AccessibleName(GetDlgItem(d, c.editId));
                                   HWND first = GetNextDlgTabItem(d, nullptr, FALSE);
                                   HWND stop = first;
                                   do {
                                       tabStops.emplace_back();
                                       GetWindowRect(stop, &tabStops.back());
                                   } while ((stop = GetNextDlgTabItem(d, stop, FALSE)) != first && stop);
                                   Press(d, IDCANCEL);
                               },
                               c.defaultText))
            << c.name;
        EXPECT_EQ(c.fieldName, name) << c.name;
        EXPECT_GE(tabStops.size(), 3u) << c.name;
        for (size_t i = 1; i < tabStops.size(); ++i)
            EXPECT_LT(std::tie(tabStops[i - 1].top, tabStops[i - 1].left), std::tie(tabStops[i].top, tabStops[i].left))
                << c.name << ": tab stop " << i;
    }
    CoUninitialize();
    ExpectScriptDone();
}
