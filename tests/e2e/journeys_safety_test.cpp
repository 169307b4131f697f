// What must never happen to a Key, tried from outside as a careless user or another program
// would: a second attempt beside the first, a close under a starting worker, a status message
// that did not come from the worker, libraries planted where the program is started, a key
// library that faults, and a session that ends during a Format.
#include "journey_steps.h"

#include "res/resource.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

namespace {

const char kReader[] = "format \"Simulated Reader 0\"";

// One attempt, one unformat and one format, whatever else was asked for meanwhile.
void ExpectOneFormat(const Journey& journey)
{
    EXPECT_EQ(1, journey.program.logCount("InitReader"));
    EXPECT_EQ(1, journey.program.logCount("UnformatCard"));
    EXPECT_EQ(1, journey.program.logCount("FormatCard"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
    journey.expectEveryReaderClosed();
}

// The no-credential Key set, with `knob` added to the Key.
std::string KeySetWith(const std::string& knob)
{
    return Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "CardType=3", "CardType=3\n" + knob);
}

} // namespace

// The focused Format button is off while the Key is changed; Enter, Space, a click or a
// posted command must not start a second Format of the same Key.
TEST(JourneySafety, KeysAndCommandsDuringASlowFormatStartNothing)
{
    Journey journey(ProgramDriver::shippedKeySet("slow_operations"));
    journey.start(kReader);
    journey.confirmFormat();
    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, "Unformatting . . ."));

    HWND format = GetDlgItem(journey.main.window, IDC_MAIN_FORMAT);
    PostMessageA(format, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(format, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(format, WM_KEYUP, VK_SPACE, 0xC0000001);
    PostMessageA(format, BM_CLICK, 0, 0);
    ProgramDriver::press(journey.main.window, IDC_MAIN_FORMAT);
    ProgramDriver::press(journey.main.window, IDC_MAIN_UNFORMAT);
    EXPECT_TRUE(ProgramDriver::deliver(journey.main.window, WM_NULL)) << "the commands were handled";

    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    ExpectOneFormat(journey);
}

// The Key is looked for on the window's own thread, so the window does not answer while a
// slow reader does. Enter pressed meanwhile must not answer the confirmations that follow:
// the first one waits for the user, and nothing reaches the Key until it is answered. Enter
// pressed during the work itself still starts nothing.
TEST(JourneySafety, KeysTypedWhileASlowKeyIsFoundAnswerNoConfirmation)
{
    Journey journey(
        Replaced(ProgramDriver::shippedKeySet("slow_operations"), "UnformatMs=", "InitCardMs=2000\nUnformatMs="));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    ASSERT_TRUE(journey.program.waitForCalls("InitCard", 1));
    ProgramDriver::pressKeys(VK_RETURN, 3);

    const SeenWindow reformat = journey.program.next();
    ASSERT_EQ(kConfirmReformat.text, reformat.text) << "a typed Enter answered the confirmation";
    EXPECT_TRUE(journey.program.noNewWindow(1000)) << "a typed Enter answered it";
    EXPECT_TRUE(IsWindow(reformat.window));
    EXPECT_EQ(0, journey.program.logCount("UnformatCard"));
    ProgramDriver::press(reformat.window, IDYES);
    journey.box(kConfirmDataLoss, IDYES);

    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, "Unformatting . . ."));
    ProgramDriver::pressKeys(VK_RETURN, 3);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    ExpectOneFormat(journey);
}

// A key pressed twice, as a hurried user does, never consents: the destructive questions
// default to No.
TEST(JourneySafety, AKeyPressedTwiceNeverConsents)
{
    const struct {
        int button;
        WORD key;
        const ExpectedBox& question;
    } cases[] = {{IDC_MAIN_UNFORMAT, VK_RETURN, kConfirmDataLoss}, {IDC_MAIN_FORMAT, VK_SPACE, kConfirmReformat}};
    for (const auto& c : cases) {
        Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
        journey.start();
        journey.press(c.button);
        EXPECT_EQ(kConnect.text, journey.program.next().text);
        ProgramDriver::pressKeys(c.key, 1);
        EXPECT_EQ(c.question.text, journey.program.next().text);
        ProgramDriver::pressKeys(c.key, 1);
        journey.expectIdleWithoutMessage(1);
        EXPECT_EQ(0, journey.program.logCount("UnformatCard")) << c.question.text;
        journey.closeIdleMainDialog();
    }
}

// What is typed while a slow reader looks for the Key goes into the field that opens next,
// so that the Key gets the whole SO PIN, never its end; a retyped PIN replaces the refused
// one instead of being added to it.
TEST(JourneySafety, TypedCredentialsReachTheKeyWhole)
{
    const struct {
        const char* keySet;
        const char* cardType;
        int editId;
        const char* before; // typed while the Key is looked for; Enter answers the prompt
        const char* after;
        const char* sent;
    } cases[] = {
        {"type08_so_pin", "CardType=8", IDC_SO_PIN_EDIT, "\r2468", "2468\r", "24682468"},
        {"type05_pass_phrase", "CardType=5", IDC_PASS_PHRASE_EDIT, "\ropen sesame", " key\r", "open sesame key"},
    };
    for (const auto& c : cases) {
        Journey slow(Replaced(ProgramDriver::shippedKeySet(c.keySet), c.cardType,
                              std::string(c.cardType) + "\nInitCardMs=2500"));
        slow.program.logSecrets();
        slow.start();
        slow.press(IDC_MAIN_UNFORMAT);
        EXPECT_EQ(kConnect.text, slow.program.next().text);
        ProgramDriver::pressKeys(c.before, 100);
        slow.dialog(c.editId, "the credential dialog");
        ProgramDriver::pressKeys(c.after, 100);
        slow.box(kConfirmDataLoss, IDYES);
        slow.box(kSuccess, IDOK);
        slow.expectEndedByItself();
        EXPECT_EQ(Calls{"UnformatCard(1, credential=\"" + std::string(c.sent) + "\", 0) -> 1"},
                  slow.program.calls("UnformatCard"));
    }

    Journey retyped(ProgramDriver::shippedKeySet("type04_pin"));
    retyped.program.logSecrets();
    retyped.start("unformat \"Simulated Reader 0\"");
    retyped.confirmUnformat();
    retyped.dialog(IDC_PIN_EDIT, "PIN");
    ProgramDriver::pressKeys("12\r", 100);
    EXPECT_EQ(kPinTooShort.text, retyped.program.next().text);
    ProgramDriver::pressKeys("\r1234\r", 100);
    retyped.box(kSuccess, IDOK);
    retyped.expectEndedByItself();
    EXPECT_EQ("UnformatCard(2, credential=\"1234\", 0) -> 1", retyped.program.calls("UnformatCard").back());
}

// Real keystrokes into every credential dialog, in a series (with its keep box) and alone:
// the field has the focus once the dialog shows, no letter reaches a shortcut of the dialog,
// the text arrives whole, spaces included, and "Clear all Key's data" stays as it was.
TEST(JourneySafety, TypedCredentialsReachTheKeyInEveryDialog)
{
    const struct {
        const char* keySet;
        bool series;
        int editId;
        const char* typed;
        const char* sent; // the UnformatCard that did the work
    } cases[] = {
        {"type08_so_pin", true, IDC_SO_PIN_EDIT, "24682468", "credential=\"24682468\", 0) -> 1"},
        {"type05_pass_phrase", true, IDC_PASS_PHRASE_EDIT, "open sesame key", "credential=\"open sesame key\", 0) -> 1"},
        {"type10_admin_pin", true, IDC_ADMIN_PIN_EDIT, "52738164", "credential=\"52738164\", 2) -> 1"},
        {"type01_transport_key", true, IDC_SECRET_EDIT, "1122 3344 5566 7788", "credential=hex:1122334455667788, 0) -> 1"},
        {"type04_pin", true, IDC_PIN_EDIT, "1234", "credential=\"1234\", 0) -> 1"},
        {"type11_password", false, IDC_SECRET_EDIT, "TRUVOSEK", "credential=\"TRUVOSEK\", 0) -> 1"},
        {"type06_so_pin", false, IDC_SO_PIN_EDIT, "87654321", "credential=\"87654321\", 0) -> 1"},
        {"type05_pass_phrase", false, IDC_PASS_PHRASE_EDIT, "open sesame key", "credential=\"open sesame key\", 0) -> 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.keySet) + (c.series ? " in a series" : " alone"));
        Journey journey(ProgramDriver::shippedKeySet(c.keySet));
        journey.program.logSecrets();
        journey.start(c.series ? "series \"Simulated Reader 0\" receipts.csv" : kReader);
        if (c.series) {
            const SeenWindow confirm = journey.dialog(IDC_SERIES_REFORMAT, "the series' confirmation");
            ProgramDriver::tick(confirm.window, IDC_SERIES_REFORMAT);
            ProgramDriver::press(confirm.window, IDYES);
        }
        const bool askedAfterRefusal = std::string(c.keySet).find("so_pin") != std::string::npos;
        if (!c.series && askedAfterRefusal)
            journey.confirmFormat();
        journey.dialog(c.editId, "the credential dialog");
        ProgramDriver::pressKeys(std::string(c.typed) + "\r", 30);
        if (c.series && std::string(c.sent).find(", 2) ") != std::string::npos)
            journey.box({"Clear all data on the Key in \"Simulated Reader 0\"?\n\nEvery application's data on this Key "
                         "is erased, not only Veltrax data, and cannot be brought back. No leaves the Key as it is.",
                         {IDYES, IDNO}, true},
                        IDYES);
        if (c.series) {
            EXPECT_TRUE(ProgramDriver::waitForText(journey.main.window, IDC_SERIES_STATE,
                                                   "Done. Remove the Key from \"Simulated Reader 0\"."));
            ProgramDriver::press(journey.main.window, IDC_SERIES_STOP);
            EXPECT_TRUE(journey.program.ended());
        } else {
            if (!askedAfterRefusal)
                journey.confirmFormat();
            journey.box(kSuccess, IDOK);
            journey.expectEndedByItself();
        }
        const Calls calls = journey.program.calls("UnformatCard");
        ASSERT_FALSE(calls.empty());
        EXPECT_NE(std::string::npos, calls.back().find(c.sent)) << calls.back();
    }
}

// With two Keys connected nothing happens to either until the user has chosen one, by
// keyboard here; the other reader is closed untouched.
TEST(JourneySafety, TwoKeysAreTheUsersChoice)
{
    Journey journey(Replaced(ProgramDriver::shippedKeySet("type03_no_credential"), "[Key Token]",
                             "[Reader Simulated Reader 1]\nType=30\nKey=Own\n\n[Key Own]\nCardType=3\n"
                             "Capacity=32000\nMakerArea=7000\n\n[Key Token]"));
    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    const SeenWindow choice = journey.dialog(IDC_CHOOSE_KEY_LIST, "the choice between Keys");
    EXPECT_FALSE(choice.enabled.at(IDOK)) << "a choice made in advance";
    EXPECT_EQ(2, SendDlgItemMessageA(choice.window, IDC_CHOOSE_KEY_LIST, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(0, journey.program.logCount("GetCardType")) << "a Key was used before the choice";
    ProgramDriver::pressKeys(VK_DOWN, 2);
    ProgramDriver::pressKeys(VK_RETURN, 1);
    journey.box(kConfirmDataLoss, IDYES);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    EXPECT_EQ((Calls{"CloseReader(1) -> 0", "CloseReader(2) -> 0"}), journey.program.calls("CloseReader"));
    EXPECT_EQ("7000", journey.key("MakerArea")) << "the first Key";
    EXPECT_EQ("0", journey.program.keyValue("Own", "MakerArea")) << "the chosen Key";
}

// Commands queued right behind the command line's own Format find the attempt running.
TEST(JourneySafety, CommandsQueuedBehindACommandLineFormatAreRefused)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start(kReader);
    ProgramDriver::press(journey.main.window, IDC_MAIN_FORMAT);
    ProgramDriver::press(journey.main.window, IDC_MAIN_UNFORMAT);
    PostMessageA(journey.main.window, WM_CLOSE, 0, 0);

    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    ExpectOneFormat(journey);
}

// Closing while the last confirmation is open must not end the program under the worker
// that the Yes then starts.
TEST(JourneySafety, CloseWhileTheLastConfirmationIsOpen)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start(kReader);
    journey.box(kConfirmReformat, IDYES);
    const SeenWindow last = journey.program.next();
    EXPECT_EQ(kConfirmDataLoss.text, last.text);
    EXPECT_TRUE(ProgramDriver::deliver(journey.main.window, WM_CLOSE));
    EXPECT_TRUE(ProgramDriver::deliver(journey.main.window, WM_QUERYENDSESSION));
    ProgramDriver::press(last.window, IDYES);

    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    ExpectOneFormat(journey);
}

// Only the worker reports an outcome: a forged "formatted" leaves the idle program alone.
TEST(JourneySafety, StatusMessageFromAnotherProgramIsIgnored)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    journey.start();
    for (WPARAM code : {WPARAM(0), WPARAM(6), WPARAM(3)})
        PostMessageA(journey.main.window, 2167, code, 0);
    EXPECT_TRUE(ProgramDriver::deliver(journey.main.window, 2167, 5));
    EXPECT_TRUE(journey.program.noNewWindow(1000));
    journey.closeIdleMainDialog();
    EXPECT_EQ(0, journey.program.logCount("EnumReaders"));
}

// Started from a folder that holds a language library and a key library of its own, with
// another language library on PATH, the program loads neither; the maker's libraries are
// found on PATH.
TEST(JourneySafety, LibrariesPlantedInTheCurrentFolderOrOnPathAreNotLoaded)
{
    Journey journey(ProgramDriver::shippedKeySet("type03_no_credential"));
    TempFolder current, pathFolder, makerFolder;
    for (const char* file : {"cardwyn32.dll", "plinth.dll"}) {
        ASSERT_TRUE(MoveFileA(journey.program.folder().file(file).c_str(), makerFolder.file(file).c_str())) << file;
    }
    ASSERT_TRUE(CopyInto(TestLibrary("planted_lang", "keyprep_lang.dll"), current.path()));
    ASSERT_TRUE(CopyInto(TestLibrary("planted_keylib", "cardwyn32.dll"), current.path()));
    ASSERT_TRUE(CopyInto(TestLibrary("planted_lang", "keyprep_lang.dll"), pathFolder.path()));
    char path[4096] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    journey.program.startFrom(current.path());
    journey.program.addEnvironment("PATH=" + pathFolder.path() + ";" + makerFolder.path() + ";" + path);

    journey.start();
    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmUnformat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea")) << "the maker's key library from PATH did the work";
    for (const std::string& planted : {current.file("keyprep_lang.dll"), current.file("cardwyn32.dll"),
                                       pathFolder.file("keyprep_lang.dll")}) {
        EXPECT_FALSE(Exists(planted + ".loaded")) << planted << " was loaded";
    }
    journey.expectEveryReaderClosed();
}

// A key library that probes memory and handles the fault itself has done its work.
TEST(JourneySafety, KeyLibraryHandlingItsOwnFaultFormats)
{
    Journey journey(KeySetWith("ProbeMemory=yes"));
    journey.start(kReader);
    journey.confirmFormat();
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
    ExpectOneFormat(journey);
}

// A key library that faulted holding its own lock would block the next call for ever: it is
// never called again, the user is told to start afresh, and the program stays usable.
TEST(JourneySafety, KeyLibraryThatFaultedIsNeverCalledAgain)
{
    Journey journey(KeySetWith("FaultInUnformat=yes"));
    journey.start();
    journey.press(IDC_MAIN_FORMAT);
    journey.box(kConnect, IDOK);
    journey.confirmFormat();
    journey.box(kFormatFailed, IDOK);
    journey.box(kKeyLibraryStopped, IDOK);

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kKeyLibraryStopped, IDOK);
    EXPECT_TRUE(ProgramDriver::deliver(journey.main.window, WM_NULL));
    journey.closeIdleMainDialog();
    EXPECT_EQ(2, journey.program.logCount("EnumReaders")) << "the one reader and the end of the list";
    EXPECT_EQ(0, journey.program.logCount("CloseReader"));
    EXPECT_EQ("7000", journey.key("MakerArea"));
}

// A key library that faults, ends the worker or lists a bad name is told at once, and never
// holds the program up, not even when its DllMain then waits for the lock its fault left taken.
TEST(JourneySafety, HostileKeyLibraryIsToldAndNeverHoldsTheProgramUp)
{
    using Answers = std::vector<std::pair<const ExpectedBox*, int>>;
    const Answers formatFails{{&kConfirmReformat, IDYES}, {&kConfirmDataLoss, IDYES}, {&kFormatFailed, IDOK},
                              {&kKeyLibraryStopped, IDOK}};
    const Answers setUpFails{{&kInitFailed, IDOK}, {&kKeyLibraryStopped, IDOK}};
    const struct {
        const char* mode;
        const char* arguments; // none: the button is pressed and the connect prompt answered
        int button;
        Answers answers;
    } cases[] = {
        {"lock:UnformatCard", "", IDC_MAIN_FORMAT, formatFails},
        {"lock:UnformatCard", "format \"Hostile Reader\"", 0, formatFails},
        {"lock:InitReader", "", IDC_MAIN_FORMAT, setUpFails},
        {"exit:UnformatCard", "", IDC_MAIN_UNFORMAT,
         {{&kConfirmDataLoss, IDYES}, {&kUnformatFailed, IDOK}, {&kKeyLibraryStopped, IDOK}}},
        {"fault:CloseReader", "", IDC_MAIN_FORMAT, {{&kConfirmReformat, IDNO}, {&kKeyLibraryStopped, IDOK}}},
        {"badname:EnumReaders", "", IDC_MAIN_FORMAT, setUpFails},
    };
    for (const auto& c : cases) {
        ProgramDriver program("");
        program.useTestLibrary("hostile_keylib", "cardwyn32.dll");
        program.addEnvironment(std::string("HOSTILE_KEYLIB=") + c.mode);
        program.start(c.arguments);
        const SeenWindow main = program.mainDialog();
        if (c.button != 0) {
            ProgramDriver::press(main.window, c.button);
            program.answer(kConnect.text, IDOK);
        }
        for (const auto& [box, button] : c.answers)
            program.answer(box->text, button);
        EXPECT_TRUE(ProgramDriver::deliver(main.window, WM_NULL)) << c.mode << " " << c.arguments;
        PostMessageA(main.window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(program.ended(5000)) << c.mode << " " << c.arguments;
        EXPECT_EQ(c.arguments[0] != '\0' ? 1u : 0u, program.exitCode()) << c.mode << " " << c.arguments;
    }
}

// The session's end waits for the Key at most 5 s, and serves meanwhile the windows that a key
// library keeps on the program's thread.
TEST(JourneySafety, SessionEndServesTheKeyLibrarysWindows)
{
    ProgramDriver program("");
    program.useTestLibrary("hostile_keylib", "cardwyn32.dll");
    program.addEnvironment("HOSTILE_KEYLIB=wait:UnformatCard");
    program.start("unformat \"Hostile Reader\"");
    const SeenWindow main = program.mainDialog();
    program.answer(kConfirmDataLoss.text, IDYES);
    ASSERT_TRUE(ProgramDriver::waitForTitle(main.window, "Unformatting . . ."));
    const DWORD start = GetTickCount();
    DWORD_PTR ignored = 0;
    EXPECT_NE(0, SendMessageTimeoutA(main.window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 30000, &ignored));
    EXPECT_LT(GetTickCount() - start, 5500u);
    program.answer(kSuccess.text, IDOK);
    EXPECT_TRUE(program.ended());
}

// When the session ends anyway, the program lets the worker finish with the Key first.
TEST(JourneySafety, SessionEndWaitsUntilTheReaderIsClosed)
{
    Journey journey(ProgramDriver::shippedKeySet("slow_operations"));
    journey.start(kReader);
    journey.confirmFormat();
    ASSERT_TRUE(ProgramDriver::waitForTitle(journey.main.window, "Unformatting . . ."));
    DWORD_PTR ignored = 0;
    EXPECT_NE(0, SendMessageTimeoutA(journey.main.window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 30000, &ignored));
    EXPECT_EQ(1, journey.program.logCount("FormatCard"));
    EXPECT_EQ(1, journey.program.logCount("CloseReader"));
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();
}
