// Drives keyprep.exe from outside, as a user would: started as its own process in a fresh
// folder beside the simulated key library, the support library stand-in and a Key set
// written by the test; its windows are found by process, read, typed into and pressed.
#pragma once
#include "support/dialog_robot.h"
#include "support/process_runner.h"
#include "support/temp_folder.h"

#include <memory>
#include <string>

class ProgramDriver {
public:
    // Lays out the folder: keyprep.exe, readme.txt, cardwyn32.dll, plinth.dll and the
    // Key set `keySet` (the text of an INI file) as cardwyn-sim.ini.
    explicit ProgramDriver(const std::string& keySet);

    void addGermanLanguage();
    void start(const std::string& arguments = "");

    // The next dialog or message box that the program opens; fails the test on timeout.
    SeenWindow next(DWORD milliseconds = 20000);
    // The next window, which must be a message box with `text`; answered with `button`.
    SeenWindow answer(const std::string& text, int button);
    // The main dialog (the first window of a run).
    SeenWindow mainDialog();

    static void type(HWND dialog, int editId, const std::string& text);
    static void press(HWND window, int buttonId);
    static void tick(HWND dialog, int boxId);
    static bool enabled(HWND dialog, int controlId);

    bool ended(DWORD milliseconds = 20000);
    DWORD exitCode() const { return process_->exitCode(); }
    bool running() const { return process_ && process_->running(); }

    // What the Key set says now: a value of section `[Key <id>]`.
    std::string keyValue(const std::string& keyId, const std::string& name) const;
    std::string log() const;
    // Calls in the simulator's log with this entry point's name.
    int logCount(const std::string& entryPoint) const;
    // InitReader calls that gave a handle.
    int openedReaders() const;
    const TempFolder& folder() const { return folder_; }

private:
    TempFolder folder_;
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<WindowWatcher> watcher_;
};
