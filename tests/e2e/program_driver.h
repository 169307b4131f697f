// Drives keyprep.exe from outside, as a user would: started as its own process in a fresh
// folder beside the simulated key library, the support library stand-in and a Key set
// written by the test; its windows are found by process, read, typed into and pressed.
#pragma once
#include "support/dialog_robot.h"
#include "support/process_runner.h"
#include "support/temp_folder.h"

#include <memory>
#include <string>
#include <vector>

// An event that the program wrote to the Windows event log, as Wine's debug output shows it.
struct LoggedEvent {
    unsigned long id;
    unsigned long type; // EVENTLOG_INFORMATION_TYPE and so on
    bool user;          // it names a user SID
    std::vector<std::string> strings;
    bool operator==(const LoggedEvent&) const = default;
};
void PrintTo(const LoggedEvent& event, std::ostream* out);

class ProgramDriver {
public:
    // Lays out the folder: keyprep.exe, readme.txt, cardwyn32.dll, plinth.dll and the
    // Key set `keySet` (the text of an INI file) as cardwyn-sim.ini.
    explicit ProgramDriver(const std::string& keySet);

    void addGermanLanguage();
    // One of the test libraries, tests/dlls/<variant>/<file>, in place of the program's own.
    void addTestLanguage(const std::string& variant) { useTestLibrary(variant, "keyprep_lang.dll"); }
    void useTestLibrary(const std::string& variant, const std::string& file);
    // Before start: the call log shows the credentials themselves, not only their length.
    void logSecrets() { logSecrets_ = true; }
    // Before start: the folder the program is started from (its own by default), and
    // NAME=value lines for its environment.
    void startFrom(const std::string& folder) { currentFolder_ = folder; }
    void addEnvironment(const std::string& lines) { environment_ += "\n" + lines; }
    // Before start: run the keyprep.exe installed in `folder` (or the copy named `program`),
    // beside the libraries there, instead of the copy in the driver's own folder; the Key set
    // and the log stay here.
    void runInstalled(const std::string& folder, const std::string& program = "keyprep.exe")
    {
        programFolder_ = folder;
        programName_ = program;
    }
    // Before start: the program's events go to the debug log that KEYPREP_DEBUG_LOG names.
    void watchEvents();
    void start(const std::string& arguments = "");

    // The text of one of the example Key sets in sim/keysets, e.g. "type04_pin".
    static std::string shippedKeySet(const std::string& name);

    // The next dialog or message box that the program opens; fails the test on timeout.
    SeenWindow next(DWORD milliseconds = 20000);
    // True when the program opens no new dialog or message box within `milliseconds`.
    bool noNewWindow(DWORD milliseconds);
    // The next window, which must be a message box with `text`; answered with `button`.
    SeenWindow answer(const std::string& text, int button);
    // The main dialog (the first window of a run).
    SeenWindow mainDialog();

    static void type(HWND dialog, int editId, const std::string& text);
    static void press(HWND window, int buttonId);
    // Presses and releases a key `times` times on the keyboard, as a user does: whichever
    // window has the focus when the program reads its input gets them.
    static void pressKeys(WORD virtualKey, int times);
    // Types `keys` (digits, letters, '\r' for Enter, ' ' for Space, '!' before a key for Alt) one by one,
    // `gap` milliseconds apart, as a user does.
    static void pressKeys(const std::string& keys, DWORD gap);
    static void tick(HWND dialog, int boxId);
    static bool enabled(HWND dialog, int controlId);
    static bool ticked(HWND dialog, int boxId);
    // A control's text asked from its own process (WM_GETTEXT), as it holds it now.
    static std::string controlText(HWND dialog, int controlId);
    // Sends a message and waits until the window's thread has handled it; false when the
    // window is gone or did not answer in time.
    static bool deliver(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Polls the window's title until it reads `title`; false on timeout or when the window went.
    static bool waitForTitle(HWND window, const std::string& title, DWORD milliseconds = 20000);

    // Polls until the control's text reads `text`; false on timeout or when the window went.
    static bool waitForText(HWND dialog, int controlId, const std::string& text, DWORD milliseconds = 20000);

    // Polls until the control is enabled (or disabled); false on timeout or when the window went.
    static bool waitForEnabled(HWND dialog, int controlId, DWORD milliseconds = 20000, bool enabled = true);

    bool ended(DWORD milliseconds = 20000);
    DWORD exitCode() const { return process_->exitCode(); }
    bool running() const { return process_ && process_->running(); }
    DWORD id() const { return process_ ? process_->id() : 0; }

    // What the Key set says now: a value of section `[Key <id>]`.
    std::string keyValue(const std::string& keyId, const std::string& name) const;
    std::string log() const;
    // Calls in the simulator's log with this entry point's name.
    int logCount(const std::string& entryPoint) const;
    // The log's records of this entry point, without the process and thread prefix, in order:
    // "UnformatCard(1, credential[len=4], 0) -> 1".
    std::vector<std::string> calls(const std::string& entryPoint) const;
    // Polls the log until it holds `count` calls of this entry point; false on timeout.
    bool waitForCalls(const std::string& entryPoint, int count, DWORD milliseconds = 20000) const;
    // InitReader calls that gave a handle.
    int openedReaders() const;
    // What the program wrote to the event log since watchEvents, in order.
    std::vector<LoggedEvent> events() const;
    std::vector<unsigned long> eventIds() const;
    const TempFolder& folder() const { return folder_; }

private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<WindowWatcher> watcher_;
    bool logSecrets_ = false;
    std::string currentFolder_;
    std::string programFolder_;
    std::string programName_ = "keyprep.exe";
    std::string environment_;
    size_t debugLogStart_ = std::string::npos;
};
