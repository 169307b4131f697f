// The dialog robot: records every dialog and message box that opens and answers it from a
// script, as a user would. In-process it hooks window activation (WH_CBT, HCBT_ACTIVATE);
// for another process it polls that process's top-level windows.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// What a dialog or message box showed when it came up.
struct SeenWindow {
    HWND window = nullptr;
    HWND owner = nullptr;
    bool isMessageBox = false;
    std::string title;
    std::string text;                   // a message box's text
    std::vector<int> buttons;           // IDs of a message box's visible buttons
    std::string icon;                   // "error", "warning", "information", "question", "" = none
    std::map<int, std::string> texts;   // a dialog's control texts by control ID
    std::map<int, bool> enabled;        // a dialog's controls: enabled or not
    std::map<int, LONG> styles;         // a dialog's controls: window styles
    LONG_PTR dialogProc = 0;            // a dialog's procedure (DWLP_DLGPROC); 0 for a message box
};

SeenWindow Snapshot(HWND window);
std::string WindowText(HWND window);
std::string IconName(HICON icon);

// One step of a script: which window it answers and what it does there.
struct RobotStep {
    std::function<bool(const SeenWindow&)> matches;
    std::function<void(HWND)> act;
    std::string description;
};

// Steps for the usual cases.
RobotStep AnswerMessageBox(int button);                     // any message box
RobotStep AnswerMessageBoxWithText(const std::string& text, int button);
RobotStep InDialogWith(int controlId, std::function<void(HWND)> act, std::string what = "");
// Matches by dialog procedure, for templates whose control IDs collide with another's.
RobotStep InDialogRunBy(DLGPROC procedure, std::function<void(HWND)> act, std::string what = "");

// Actions inside a dialog, as a user would do them.
void TypeInto(HWND dialog, int editId, const std::string& text); // replaces the edit's text
void ClickBox(HWND dialog, int boxId);
void Press(HWND dialog, int buttonId); // posted, like a click; refused while disabled

class DialogRobot {
public:
    DialogRobot();
    ~DialogRobot();
    DialogRobot(const DialogRobot&) = delete;
    DialogRobot& operator=(const DialogRobot&) = delete;

    void add(RobotStep step) { steps_.push_back(std::move(step)); }
    const std::vector<SeenWindow>& seen() const { return seen_; }
    std::vector<SeenWindow> messageBoxes() const;
    std::vector<SeenWindow> dialogs() const;
    size_t pendingSteps() const { return steps_.size() - next_; }
    // Windows that no step answered (message boxes are then closed with their default).
    const std::vector<std::string>& unexpected() const { return unexpected_; }

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OnMessageDone(int code, WPARAM wParam, LPARAM lParam);
    void onInitialised(HWND window);
    void onNewWindow(HWND window);
    void onClosing(HWND window);
    bool isKnown(HWND window) const;
    static LRESULT CALLBACK OnRobotMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onActivate(HWND window);
    void runStep(HWND window, size_t index);

    HHOOK hook_ = nullptr;
    HHOOK initHook_ = nullptr;
    std::map<size_t, HWND> stepWindows_; // steps waiting for their window to show
    std::map<size_t, int> waits_;
    HWND messenger_ = nullptr;
    std::vector<RobotStep> steps_;
    size_t next_ = 0;
    std::vector<SeenWindow> seen_;
    std::vector<HWND> known_;
    std::vector<std::string> unexpected_;
};

// Pumps this thread's messages until `done` is true or `milliseconds` have passed.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds = 10000);

// Finds the top-level windows of another process and answers its message boxes.
class WindowWatcher {
public:
    explicit WindowWatcher(DWORD processId) : processId_(processId) {}
    // Waits for a new visible dialog or message box of the process; nullptr on timeout.
    HWND waitForNewWindow(DWORD milliseconds = 20000);
    std::vector<HWND> visibleWindows() const;

private:
    DWORD processId_;
    std::vector<HWND> handled_;
};
