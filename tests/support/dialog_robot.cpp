#include "support/dialog_robot.h"

#include "support/process_windows.h"

#include <algorithm>

namespace {

constexpr UINT kRunStep = WM_APP + 1;
constexpr int kMostVisibilityWaits = 200; // of 10 ms each
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;
DialogRobot* g_robot = nullptr;

bool IsDialogWindow(HWND window)
{
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    return strcmp(className, "#32770") == 0;
}

std::string ClassOf(HWND window)
{
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    return className;
}

bool IsMessageBoxWindow(HWND window)
{
    HWND text = GetDlgItem(window, kMessageBoxTextId);
    return text != nullptr && _stricmp(ClassOf(text).c_str(), "Static") == 0;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context)
{
    auto* seen = reinterpret_cast<SeenWindow*>(context);
    if (GetParent(child) != seen->window)
        return TRUE;
    const int id = GetDlgCtrlID(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    seen->texts[id] = WindowText(child);
    seen->enabled[id] = IsWindowEnabled(child) != FALSE;
    seen->styles[id] = style;
    if (seen->isMessageBox && _stricmp(ClassOf(child).c_str(), "Button") == 0)
        seen->buttons.push_back(id);
    return TRUE;
}

} // namespace

std::string WindowText(HWND window)
{
    char text[2048] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string IconName(HICON icon)
{
    if (icon == nullptr)
        return "";
    const struct {
        LPCSTR id;
        const char* name;
    } known[] = {{IDI_HAND, "error"}, {IDI_EXCLAMATION, "warning"},
                 {IDI_ASTERISK, "information"}, {IDI_QUESTION, "question"}};
    for (const auto& k : known)
        if (LoadIconA(nullptr, k.id) == icon)
            return k.name;
    return "other";
}

SeenWindow Snapshot(HWND window)
{
    SeenWindow seen;
    seen.window = window;
    seen.owner = GetWindow(window, GW_OWNER);
    seen.isMessageBox = IsMessageBoxWindow(window);
    seen.title = WindowText(window);
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&seen));
    if (seen.isMessageBox) {
        seen.text = seen.texts[kMessageBoxTextId];
        HWND icon = GetDlgItem(window, kMessageBoxIconId);
        if (icon && (GetWindowLongA(icon, GWL_STYLE) & WS_VISIBLE))
            seen.icon = IconName(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)));
        std::sort(seen.buttons.begin(), seen.buttons.end());
    } else {
        seen.dialogProc = GetWindowLongPtrA(window, DWLP_DLGPROC);
    }
    return seen;
}

RobotStep AnswerMessageBox(int button)
{
    return {[](const SeenWindow& w) { return w.isMessageBox; },
            [button](HWND box) { Press(box, button); }, "message box"};
}

RobotStep AnswerMessageBoxWithText(const std::string& text, int button)
{
    return {[text](const SeenWindow& w) { return w.isMessageBox && w.text == text; },
            [button](HWND box) { Press(box, button); }, "message box \"" + text + "\""};
}

RobotStep InDialogWith(int controlId, std::function<void(HWND)> act, std::string what)
{
    return {[controlId](const SeenWindow& w) { return !w.isMessageBox && w.texts.count(controlId); },
            std::move(act), what.empty() ? "dialog with control " + std::to_string(controlId) : what};
}

RobotStep InDialogRunBy(DLGPROC procedure, std::function<void(HWND)> act, std::string what)
{
    const auto wanted = reinterpret_cast<LONG_PTR>(procedure);
    return {[wanted](const SeenWindow& w) { return !w.isMessageBox && w.dialogProc == wanted; },
            std::move(act), what.empty() ? "dialog run by a given procedure" : what};
}

void TypeInto(HWND dialog, int editId, const std::string& text)
{
    HWND edit = GetDlgItem(dialog, editId);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    SendMessageA(edit, WM_CHAR, VK_BACK, 0);
    for (unsigned char c : text)
        SendMessageA(edit, WM_CHAR, c, 0);
}

void ClickBox(HWND dialog, int boxId)
{
    HWND box = GetDlgItem(dialog, boxId);
    if (IsWindowEnabled(box))
        SendMessageA(box, BM_CLICK, 0, 0);
}

void Press(HWND dialog, int buttonId)
{
    HWND button = GetDlgItem(dialog, buttonId);
    if (button == nullptr || IsWindowEnabled(button))
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
}

DialogRobot::DialogRobot()
{
    g_robot = this;
    WNDCLASSA robotClass{};
    robotClass.lpfnWndProc = OnRobotMessage;
    robotClass.hInstance = GetModuleHandleA(nullptr);
    robotClass.lpszClassName = "KeyprepDialogRobot";
    RegisterClassA(&robotClass);
    messenger_ = CreateWindowA("KeyprepDialogRobot", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               robotClass.hInstance, nullptr);
    hook_ = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    initHook_ = SetWindowsHookExA(WH_CALLWNDPROCRET, OnMessageDone, nullptr, GetCurrentThreadId());
}

DialogRobot::~DialogRobot()
{
    UnhookWindowsHookEx(hook_);
    UnhookWindowsHookEx(initHook_);
    DestroyWindow(messenger_);
    g_robot = nullptr;
}

std::vector<SeenWindow> DialogRobot::messageBoxes() const
{
    std::vector<SeenWindow> boxes;
    std::copy_if(seen_.begin(), seen_.end(), std::back_inserter(boxes),
                 [](const SeenWindow& w) { return w.isMessageBox; });
    return boxes;
}

std::vector<SeenWindow> DialogRobot::dialogs() const
{
    std::vector<SeenWindow> found;
    std::copy_if(seen_.begin(), seen_.end(), std::back_inserter(found),
                 [](const SeenWindow& w) { return !w.isMessageBox; });
    return found;
}

LRESULT CALLBACK DialogRobot::OnCbt(int code, WPARAM wParam, LPARAM lParam)
{
    // Wine also calls this hook when this thread merely tries to activate another process's
    // window (after closing one of its own): only this thread's windows are ours to answer.
    HWND window = reinterpret_cast<HWND>(wParam);
    const bool ours = g_robot && IsDialogWindow(window) &&
                      GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    if (ours && code == HCBT_ACTIVATE)
        g_robot->onActivate(window);
    else if (ours && code == HCBT_DESTROYWND)
        g_robot->onClosing(window);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A dialog is seen as soon as its WM_INITDIALOG is done, whether or not it gets activated:
// under Wine a window of a background process may not become active while another process
// holds the foreground.
LRESULT CALLBACK DialogRobot::OnMessageDone(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* done = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && g_robot && done->message == WM_INITDIALOG && IsDialogWindow(done->hwnd))
        g_robot->onInitialised(done->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogRobot::onInitialised(HWND window)
{
    if (!isKnown(window))
        onNewWindow(window);
}

// Normally a dialog is already known from its initialisation; activation is the fallback.
void DialogRobot::onActivate(HWND window)
{
    if (!isKnown(window))
        onNewWindow(window);
}

// When a box or dialog goes away, the user is back in the dialog that owns it: a step may
// act there again. (Re-activation would say the same, but Wine does not always deliver it.)
void DialogRobot::onClosing(HWND window)
{
    HWND owner = GetWindow(window, GW_OWNER);
    if (!isKnown(window) || owner == nullptr || !isKnown(owner) || next_ >= steps_.size())
        return;
    if (steps_[next_].matches(Snapshot(owner)))
        PostMessageA(messenger_, kRunStep, reinterpret_cast<WPARAM>(owner), next_++);
}

bool DialogRobot::isKnown(HWND window) const
{
    return std::find(known_.begin(), known_.end(), window) != known_.end();
}

// Children are not visible yet: record now, act later from a posted message.
void DialogRobot::onNewWindow(HWND window)
{
    known_.push_back(window);
    const SeenWindow seen = Snapshot(window);
    seen_.push_back(seen);
    if (next_ < steps_.size() && steps_[next_].matches(seen)) {
        PostMessageA(messenger_, kRunStep, reinterpret_cast<WPARAM>(window), next_++);
        return;
    }
    // A new box or owned dialog that no step answers: close it, so that the test fails
    // instead of hanging. Unowned dialogs (a main window under test) are left alone.
    if (!seen.isMessageBox && seen.owner == nullptr)
        return;
    unexpected_.push_back(seen.isMessageBox ? "message box: " + seen.text : "dialog: " + seen.title);
    const int button = seen.isMessageBox && !seen.buttons.empty() ? seen.buttons.back() : IDCANCEL;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

// A step acts once its window shows, as a user would. The dialog manager shows a modal
// dialog only when its queue runs empty, so the wait is a timer, never a posted message.
void DialogRobot::runStep(HWND window, size_t index)
{
    if (IsWindow(window) && !IsWindowVisible(window) && waits_[index]++ < kMostVisibilityWaits) {
        stepWindows_[index] = window;
        SetTimer(messenger_, index + 1, 10, nullptr);
        return;
    }
    if (IsWindow(window))
        steps_[index].act(window);
}

LRESULT CALLBACK DialogRobot::OnRobotMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kRunStep && g_robot) {
        g_robot->runStep(reinterpret_cast<HWND>(wParam), static_cast<size_t>(lParam));
        return 0;
    }
    if (message == WM_TIMER && g_robot) {
        KillTimer(window, wParam);
        const size_t index = wParam - 1;
        g_robot->runStep(g_robot->stepWindows_[index], index);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(50, milliseconds - elapsed),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

std::vector<HWND> WindowWatcher::visibleWindows() const
{
    std::vector<HWND> dialogs = VisibleWindowsOf(processId_);
    dialogs.erase(std::remove_if(dialogs.begin(), dialogs.end(), [](HWND w) { return !IsDialogWindow(w); }),
                  dialogs.end());
    return dialogs;
}

HWND WindowWatcher::waitForNewWindow(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        // Bottom of the z-order first: when two windows came up between two looks, the
        // one underneath opened first (a dialog before the box it shows). Wine may briefly
        // raise an owner above what it owns, so an owner not yet handed out comes first.
        const std::vector<HWND> windows = visibleWindows();
        const auto isNew = [this](HWND w) { return std::find(handled_.begin(), handled_.end(), w) == handled_.end(); };
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            HWND window = *it;
            HWND owner = GetWindow(window, GW_OWNER);
            const bool ownerWaiting = owner != nullptr && isNew(owner) &&
                                      std::find(windows.begin(), windows.end(), owner) != windows.end();
            if (isNew(window) && !ownerWaiting) {
                handled_.push_back(window);
                Sleep(100); // let it finish drawing its texts before anyone reads them
                return window;
            }
        }
        Sleep(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
}
