// Steps that the journeys share: the messages that the workflow shows, as the user reads
// them, and a Journey that checks each window against the main dialog that owns it.
#pragma once
#include "program_driver.h"

#include <string>
#include <vector>

// A message box as the user sees it: its text, its buttons, and whether it bears an icon.
// Across processes the icon cannot be told by name, only whether there is one.
struct ExpectedBox {
    std::string text;
    std::vector<int> buttons;
    bool icon;
};

extern const char kCaption[];

extern const ExpectedBox kConnect;
extern const ExpectedBox kConfirmReformat;
extern const ExpectedBox kConfirmDataLoss;
extern const ExpectedBox kWarnDataDeleted;
extern const ExpectedBox kSuccess;
extern const ExpectedBox kKeyNotFound;
extern const ExpectedBox kUnformatFailed;
extern const ExpectedBox kFormatFailed;
extern const ExpectedBox kInitFailed;
extern const ExpectedBox kNoFreeSpaceClearAll;
extern const ExpectedBox kKeyRemovedInFormat;
extern const ExpectedBox kCannotUnformat;
extern const ExpectedBox kBlocked;
extern const ExpectedBox kPassPhraseBlocked;
extern const ExpectedBox kWrongPin;
extern const ExpectedBox kPinTooShort;
extern const ExpectedBox kPinNotSentAgain;
extern const ExpectedBox kWrongSoPin;
extern const ExpectedBox kWrongPassPhrase;
extern const ExpectedBox kWrongAdminPin;
extern const ExpectedBox kWrongFormattingPassword;
extern const ExpectedBox kKeyLibraryStopped;

// The reader named on the command line is not among the connected ones.
ExpectedBox NamedReaderMissing(const std::string& name, const std::string& connected = "Simulated Reader 0");

// Prompts of the credential dialogs.
extern const char kEnterTransportKey[];
extern const char kEnterFormattingPassword[];
extern const char kEnterPin[];
extern const char kEnterSoPin[];
extern const char kEnterAdminPin[];
extern const char kEnterPassPhrase[];

// Records of the call log, as ProgramDriver::calls gives them.
using Calls = std::vector<std::string>;
extern const char kInvalidChv[];   // " -> 0 err=0x8010002A"
extern const char kChvBlocked[];   // " -> 0 err=0x8010006C"
extern const char kNoMemory[];     // " -> 0 err=0x80100006"

// Policy values in the run's Wine prefix for one test, removed however it ends (RUN_SERIAL).
struct PolicyWrite { HKEY root; const char* name; DWORD type; DWORD number; const char* text = nullptr; };
struct Policy {
    explicit Policy(const std::vector<PolicyWrite>& values);
    ~Policy() { Clear(); }
    static void Clear();
};

// keyprep.exe verify-receipts `file` from the program's folder, its output caught in a file.
struct Verdict { DWORD exitCode; std::string text; };
Verdict VerifyReceipts(const ProgramDriver& program, const std::string& file);

// `text` with its first `from` replaced by `to`: a variant of a shipped Key set.
std::string Replaced(std::string text, const std::string& from, const std::string& to);

class Journey {
public:
    explicit Journey(const std::string& keySet) : program(keySet) {}

    // Starts keyprep.exe and waits for its main dialog.
    void start(const std::string& arguments = "");
    // Presses a button of the main dialog.
    void press(int buttonId) const;

    // The next window must be this message box, owned by the main dialog and titled with
    // the caption; it is answered with `button`.
    SeenWindow box(const ExpectedBox& expected, int button);
    // The next window must be a credential dialog that holds control `controlId`, owned by
    // the main dialog and titled with the caption.
    SeenWindow dialog(int controlId, const std::string& what);

    // Format's two confirmations, Unformat's one, answered with Yes.
    void confirmFormat();
    void confirmUnformat();

    // The attempt has ended (the log holds `closedReaders` closes by now) and the main
    // dialog is idle, with no message for the user.
    void expectIdleWithoutMessage(int closedReaders);
    // The program closed itself after the success message.
    void expectEndedByItself();
    // The main dialog is idle again (its buttons enabled, the caption as title); closing
    // it ends the program, with `exitCode` (0 unless started from a command line).
    void closeIdleMainDialog(DWORD exitCode = 0);

    // Every reader that opened was closed exactly once and the simulator saw no fault.
    void expectEveryReaderClosed() const;
    std::string key(const std::string& name) const { return program.keyValue(keyId, name); }
    // An event with `strings`, then the versions of the program and of the key library.
    LoggedEvent event(unsigned long id, unsigned long type, std::vector<std::string> strings) const;

    ProgramDriver program;
    SeenWindow main;
    std::string keyId = "Token";
    std::string caption = kCaption;
    bool unformatAllowed = true; // by policy: whether its button comes back

};
