#include "journey_steps.h"

#include "res/resource.h"
#include "support/test_paths.h"
#include "ui/version_info.h"

#include <gtest/gtest.h>

const char kCaption[] = "Key formatting utility";

const ExpectedBox kConnect{"Please connect your Key to the computer and press OK.", {IDOK, IDCANCEL}, false};
const ExpectedBox kConfirmReformat{
    "This Key is already formatted for Veltrax applications. \n              Do you wish to reformat it?",
    {IDYES, IDNO}, true};
const ExpectedBox kConfirmDataLoss{
    "All your Veltrax applications data WILL BE LOST.\nNon-Veltrax applications data will not be "
    "affected. \n              Do you wish to continue?",
    {IDYES, IDNO}, true};
const ExpectedBox kWarnDataDeleted{"Warning all previous data will be deleted from the Key!", {IDOK, IDCANCEL}, true};
const ExpectedBox kSuccess{"The process is successfully completed.", {IDOK}, false};
const ExpectedBox kKeyNotFound{
    "The Key has not been found in the Key reader! Please insert the Key into the reader, or plug it in, and try again.",
    {IDOK}, true};
const ExpectedBox kUnformatFailed{
    "An error occurred while unformatting the Key. Please contact support@veltrax.example.", {IDOK}, true};
const ExpectedBox kFormatFailed{
    "An error occurred while formatting the Key. Please contact support@veltrax.example.", {IDOK}, true};
const ExpectedBox kInitFailed{"An error occurred while initializing the Key. Please reconnect the Key and try again. "
                              "If the problem remains please contact support@veltrax.example.",
                              {IDOK}, true};
const ExpectedBox kNoFreeSpaceClearAll{"Not enough free space on Key for formatting. Press Format again and tick \"Clear "
                                       "all Key's data\": this deletes all data from the Key and frees all its space.",
                                       {IDOK}, true};
const ExpectedBox kKeyRemovedInFormat{"The Key was removed while it was being formatted and may have lost its "
                                      "preparation. Please reconnect the Key and press Format again.",
                                      {IDOK}, true};
const ExpectedBox kCannotUnformat{"Unable to unformat this type of Key!", {IDOK}, true};
const ExpectedBox kBlocked{"The Key's PIN or password is blocked after too many wrong entries. Please contact "
                           "support@veltrax.example.",
                           {IDOK}, true};
const ExpectedBox kPassPhraseBlocked{
    "The Key's Pass Phrase is blocked after too many wrong entries. The Key can still be formatted: press "
    "Format again and tick \"Clear all Key's data\". This deletes all data from the Key.",
    {IDOK}, true};
const ExpectedBox kWrongPin{"The PIN you entered is incorrect!", {IDOK}, true};
const ExpectedBox kPinTooShort{"PIN for this type of Key should be at least 4 characters!", {IDOK}, true};
const ExpectedBox kPinNotSentAgain{"The Key has already refused this PIN. It was not sent again, so no try was used. "
                                   "Please check it and type the right one.",
                                   {IDOK}, true};
const ExpectedBox kWrongSoPin{"The SO PIN you entered is incorrect!", {IDOK}, true};
const ExpectedBox kWrongPassPhrase{"The Pass Phrase you entered is incorrect!", {IDOK}, true};
const ExpectedBox kWrongAdminPin{"The Admin PIN you entered is incorrect!", {IDOK}, true};
const ExpectedBox kWrongFormattingPassword{"Wrong formatting password!", {IDOK}, true};
const ExpectedBox kKeyLibraryStopped{
    "The key library stopped working. Close this program, reconnect the Key and start the program again.", {IDOK}, true};

const char kEnterTransportKey[] = "Please enter Transport key required for this type of Key.";
const char kEnterFormattingPassword[] = "Please enter Formatting password required for this type of Key.";
const char kEnterPin[] = "Please enter PIN of the Key.";
const char kEnterSoPin[] = "Please enter SO PIN of the Key.";
const char kEnterAdminPin[] = "Please enter Admin PIN of the Key.";
const char kEnterPassPhrase[] = "Please enter Pass Phrase of the Key.";

const char kInvalidChv[] = " -> 0 err=0x8010002A";
const char kChvBlocked[] = " -> 0 err=0x8010006C";
const char kNoMemory[] = " -> 0 err=0x80100006";

ExpectedBox NamedReaderMissing(const std::string& name, const std::string& connected)
{
    return {"The reader \"" + name + "\" named on the command line was not found. Connected readers: " + connected +
                ". The name must match exactly, capital letters included.",
            {IDOK}, true};
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << "\"" << from << "\" is not in the Key set";
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

const char kPolicy[] = "Software\\Policies\\Veltrax\\keyprep";

Policy::Policy(const std::vector<PolicyWrite>& values)
{
    Clear();
    for (const PolicyWrite& v : values)
        EXPECT_EQ(0, v.text ? RegSetKeyValueA(v.root, kPolicy, v.name, v.type, v.text, DWORD(strlen(v.text) + 1))
                            : RegSetKeyValueA(v.root, kPolicy, v.name, v.type, &v.number, sizeof v.number));
}

void Policy::Clear()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        RegDeleteTreeA(root, "Software\\Policies\\Veltrax");
}

void Journey::start(const std::string& arguments)
{
    program.start(arguments);
    main = program.mainDialog();
    // A command line may have started the work already: the title then shows its stage.
    EXPECT_TRUE(main.title == caption || main.title.find(" . . .") != std::string::npos) << main.title;
}

LoggedEvent Journey::event(unsigned long id, unsigned long type, std::vector<std::string> strings) const
{
    char versions[2][kVersionFieldSize] = {};
    ReadVersionRecord(nullptr, program.folder().file("keyprep.exe").c_str(), nullptr, nullptr, nullptr, nullptr,
                      versions[0], nullptr);
    GetFileVersionText(program.folder().file("cardwyn32.dll").c_str(), versions[1]);
    strings.insert(strings.end(), {versions[0], versions[1]});
    return {id, type, true, strings};
}

// As a user would, waits for the button to come back after the attempt before.
void Journey::press(int buttonId) const
{
    EXPECT_TRUE(ProgramDriver::waitForEnabled(main.window, buttonId)) << "button " << buttonId;
    ProgramDriver::press(main.window, buttonId);
}

SeenWindow Journey::box(const ExpectedBox& expected, int button)
{
    const SeenWindow seen = program.answer(expected.text, button);
    EXPECT_TRUE(seen.isMessageBox) << expected.text;
    EXPECT_EQ(caption, seen.title) << expected.text;
    EXPECT_EQ(main.window, seen.owner) << "owner of \"" << expected.text << "\"";
    EXPECT_EQ(expected.buttons, seen.buttons) << expected.text;
    EXPECT_EQ(expected.icon, !seen.icon.empty()) << "icon of \"" << expected.text << "\": " << seen.icon;
    return seen;
}

SeenWindow Journey::dialog(int controlId, const std::string& what)
{
    const SeenWindow seen = program.next();
    EXPECT_FALSE(seen.isMessageBox) << "expected the " << what << " dialog, got \"" << seen.text << "\"";
    EXPECT_EQ(1u, seen.texts.count(controlId)) << "expected the " << what << " dialog, got \"" << seen.title << "\"";
    EXPECT_EQ(caption, seen.title) << what;
    EXPECT_EQ(main.window, seen.owner) << "owner of the " << what << " dialog";
    return seen;
}

void Journey::confirmFormat()
{
    box(kConfirmReformat, IDYES);
    box(kConfirmDataLoss, IDYES);
}

void Journey::confirmUnformat() { box(kConfirmDataLoss, IDYES); }

void Journey::expectIdleWithoutMessage(int closedReaders)
{
    // After the worker's close the title shows a stage until the outcome is handled, which
    // puts the caption back first; a message would follow at once.
    EXPECT_TRUE(program.waitForCalls("CloseReader", closedReaders)) << program.log();
    EXPECT_TRUE(ProgramDriver::waitForTitle(main.window, caption)) << WindowText(main.window);
    EXPECT_TRUE(program.noNewWindow(1000));
    EXPECT_TRUE(ProgramDriver::waitForEnabled(main.window, IDC_MAIN_FORMAT));
}

void Journey::expectEndedByItself()
{
    ASSERT_TRUE(program.ended()) << "the program did not end after its success message";
    EXPECT_EQ(0u, program.exitCode());
}

void Journey::closeIdleMainDialog(DWORD exitCode)
{
    ASSERT_TRUE(program.running()) << "the program ended by itself";
    EXPECT_TRUE(ProgramDriver::waitForTitle(main.window, caption)) << WindowText(main.window);
    // The attempt ends, and the buttons come back, once its last box has closed.
    EXPECT_TRUE(ProgramDriver::waitForEnabled(main.window, IDC_MAIN_FORMAT));
    // The buttons come back one after the other: once the dialog has answered, all are back.
    EXPECT_TRUE(unformatAllowed ? ProgramDriver::waitForEnabled(main.window, IDC_MAIN_UNFORMAT)
                                : ProgramDriver::deliver(main.window, WM_NULL) &&
                                      !ProgramDriver::enabled(main.window, IDC_MAIN_UNFORMAT))
        << "Unformat as the policy says: " << unformatAllowed;
    PostMessageA(main.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.ended()) << "the idle main dialog did not close";
    EXPECT_EQ(exitCode, program.exitCode());
}

void Journey::expectEveryReaderClosed() const
{
    const std::string log = program.log();
    EXPECT_EQ(program.openedReaders(), program.logCount("CloseReader")) << log;
    EXPECT_EQ(std::string::npos, log.find(" ERROR ")) << log;
    EXPECT_EQ(std::string::npos, log.find(" LEAK ")) << log;
    EXPECT_EQ(std::string::npos, log.find(" WARN ")) << log;
}

Verdict VerifyReceipts(const ProgramDriver& program, const std::string& file)
{
    const std::string caught = file + ".verdict";
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileA(caught.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    PROCESS_INFORMATION info{};
    std::string line = "\"" + program.folder().file("keyprep.exe") + "\" verify-receipts \"" + file + "\"";
    DWORD code = 99;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        WaitForSingleObject(info.hProcess, 20000);
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    CloseHandle(output);
    return {code, ReadWholeFile(caught)};
}
