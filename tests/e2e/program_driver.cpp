#include "program_driver.h"

#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <cctype>
#include <regex>
#include <sstream>

ProgramDriver::ProgramDriver(const std::string& keySet)
{
    for (const char* file : {"keyprep.exe", "readme.txt", "cardwyn32.dll", "plinth.dll"})
        EXPECT_TRUE(CopyInto(JoinPath(BinDir(), file), folder_.path())) << file;
    WriteWholeFile(folder_.file("cardwyn-sim.ini"), keySet);
}

void ProgramDriver::addGermanLanguage()
{
    const std::string german = JoinPath(BinDir(), "..\\lang\\de\\keyprep_lang.dll");
    EXPECT_TRUE(CopyInto(german, folder_.path(), "keyprep_lang.dll"));
}

void ProgramDriver::useTestLibrary(const std::string& variant, const std::string& file)
{
    EXPECT_TRUE(CopyInto(TestLibrary(variant, file), folder_.path())) << variant;
}

void ProgramDriver::start(const std::string& arguments)
{
    const std::string environment = "CARDWYN_SIM=" + folder_.file("cardwyn-sim.ini") +
                                    "\nCARDWYN_SIM_LOG=" + folder_.file("calls.log") +
                                    (logSecrets_ ? "\nCARDWYN_SIM_LOG_SECRETS=1" : "") + environment_;
    const std::string programFolder = programFolder_.empty() ? folder_.path() : programFolder_;
    process_ = std::make_unique<ChildProcess>(JoinPath(programFolder, programName_), arguments,
                                              currentFolder_.empty() ? programFolder : currentFolder_, environment);
    ASSERT_TRUE(process_->started()) << "keyprep.exe did not start";
    watcher_ = std::make_unique<WindowWatcher>(process_->id());
}

std::string ProgramDriver::shippedKeySet(const std::string& name)
{
    return ReadWholeFile(JoinPath(SourceDir(), "sim\\keysets\\" + name + ".ini"));
}

SeenWindow ProgramDriver::next(DWORD milliseconds)
{
    HWND window = watcher_ ? watcher_->waitForNewWindow(milliseconds) : nullptr;
    EXPECT_NE(nullptr, window) << "no new window appeared";
    return window ? Snapshot(window) : SeenWindow{};
}

bool ProgramDriver::noNewWindow(DWORD milliseconds)
{
    HWND window = watcher_ ? watcher_->waitForNewWindow(milliseconds) : nullptr;
    EXPECT_EQ(nullptr, window) << "unexpected window \"" << (window ? Snapshot(window).text : "") << "\" titled \""
                               << (window ? WindowText(window) : "") << "\"";
    return window == nullptr;
}

SeenWindow ProgramDriver::answer(const std::string& text, int button)
{
    SeenWindow box = next();
    EXPECT_TRUE(box.isMessageBox) << "expected the message \"" << text << "\", got the dialog \""
                                  << box.title << "\"";
    EXPECT_EQ(text, box.text);
    if (box.window)
        press(box.window, button);
    return box;
}

SeenWindow ProgramDriver::mainDialog()
{
    SeenWindow main = next();
    EXPECT_FALSE(main.isMessageBox) << "expected the main dialog, got \"" << main.text << "\"";
    return main;
}

void ProgramDriver::type(HWND dialog, int editId, const std::string& text)
{
    HWND edit = GetDlgItem(dialog, editId);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    for (unsigned char c : text)
        SendMessageA(edit, WM_CHAR, c, 0);
}

void ProgramDriver::press(HWND window, int buttonId)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, buttonId)));
}

void ProgramDriver::pressKeys(WORD virtualKey, int times)
{
    for (int i = 0; i < times; ++i) {
        INPUT strokes[2] = {};
        for (INPUT& stroke : strokes) {
            stroke.type = INPUT_KEYBOARD;
            stroke.ki.wVk = virtualKey;
        }
        strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, strokes, sizeof(INPUT));
    }
}

void ProgramDriver::pressKeys(const std::string& keys, DWORD gap)
{
    bool alt = false;
    for (char key : keys) {
        if (key == '!') { // the next key with Alt
            alt = true;
            continue;
        }
        keybd_event(VK_MENU, 0, alt ? 0 : KEYEVENTF_KEYUP, 0);
        const bool capital = std::isupper(static_cast<unsigned char>(key));
        keybd_event(VK_SHIFT, 0, capital ? 0 : KEYEVENTF_KEYUP, 0); // Shift down for a capital only
        pressKeys(key == '\r' ? VK_RETURN : key == ' ' ? VK_SPACE : static_cast<WORD>(std::toupper(key)), 1);
        keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
        keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
        alt = false;
        Sleep(gap);
    }
}

void ProgramDriver::tick(HWND dialog, int boxId)
{
    // A click on an automatic check box: the box toggles and tells its dialog.
    SendMessageA(GetDlgItem(dialog, boxId), BM_CLICK, 0, 0);
}

bool ProgramDriver::enabled(HWND dialog, int controlId)
{
    return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE;
}

bool ProgramDriver::ticked(HWND dialog, int boxId)
{
    return SendMessageA(GetDlgItem(dialog, boxId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string ProgramDriver::controlText(HWND dialog, int controlId)
{
    // WM_GETTEXT is carried across processes; GetWindowText of another process's edit
    // would only give the text it was created with.
    char text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, controlId), WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

bool ProgramDriver::deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

namespace {

// Polls `holds` while `window` exists; false on timeout or when the window went.
template <typename Condition>
bool PollWhileWindowExists(HWND window, DWORD milliseconds, Condition holds)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (holds())
            return true;
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(20);
    }
    return false;
}

} // namespace

bool ProgramDriver::waitForTitle(HWND window, const std::string& title, DWORD milliseconds)
{
    return PollWhileWindowExists(window, milliseconds, [&] { return WindowText(window) == title; });
}

bool ProgramDriver::waitForText(HWND dialog, int controlId, const std::string& text, DWORD milliseconds)
{
    return PollWhileWindowExists(dialog, milliseconds, [&] { return controlText(dialog, controlId) == text; });
}

bool ProgramDriver::waitForEnabled(HWND dialog, int controlId, DWORD milliseconds, bool wanted)
{
    return PollWhileWindowExists(dialog, milliseconds, [&] { return enabled(dialog, controlId) == wanted; });
}

bool ProgramDriver::ended(DWORD milliseconds)
{
    return process_ && process_->wait(milliseconds);
}

std::string ProgramDriver::keyValue(const std::string& keyId, const std::string& name) const
{
    char value[512] = {};
    GetPrivateProfileStringA(("Key " + keyId).c_str(), name.c_str(), "", value, sizeof value,
                             folder_.file("cardwyn-sim.ini").c_str());
    return value;
}

void PrintTo(const LoggedEvent& event, std::ostream* out)
{
    *out << "event " << event.id << " type " << event.type << (event.user ? " with" : " without") << " user:";
    for (const std::string& text : event.strings)
        *out << " \"" << text << "\"";
}

void ProgramDriver::watchEvents()
{
    addEnvironment("WINEDEBUG=+pid,fixme+advapi,trace+eventlog,warn+eventlog,err+eventlog");
    debugLogStart_ = ReadWholeFile(KEYPREP_DEBUG_LOG).size();
}

std::vector<LoggedEvent> ProgramDriver::events() const
{
    const std::string text = ReadWholeFile(KEYPREP_DEBUG_LOG);
    std::istringstream lines(text.substr(std::min(debugLogStart_, text.size())));
    char process[16]; // the lines of this run's process
    std::snprintf(process, sizeof process, "^%04lx:\\w+", id());
    const std::regex report(process + std::string(":fixme:advapi:ReportEventW \\(\\w+,0x(\\w+),0x\\w+,0x(\\w+),(\\w+),"));
    const std::regex insertion(process + std::string(":\\w+:eventlog:ReportEventW L\"(.*)\"(\\.\\.\\.)?$"));
    std::vector<LoggedEvent> events;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, report))
            events.push_back({std::stoul(match[2], nullptr, 16), std::stoul(match[1], nullptr, 16), match[3] != "00000000", {}});
        else if (!events.empty() && std::regex_search(line, match, insertion))
            events.back().strings.push_back(std::regex_replace(match[1].str(), std::regex("\\\\([\\\\\"])"), "$1"));
    }
    return events;
}

std::vector<unsigned long> ProgramDriver::eventIds() const
{
    std::vector<unsigned long> ids;
    for (const LoggedEvent& event : events())
        ids.push_back(event.id);
    return ids;
}

std::string ProgramDriver::log() const { return ReadWholeFile(folder_.file("calls.log")); }

int ProgramDriver::logCount(const std::string& entryPoint) const
{
    const std::string text = log();
    const std::string needle = " " + entryPoint + "(";
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

int ProgramDriver::openedReaders() const
{
    const std::string text = log();
    int opened = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (line.find(" InitReader(") != std::string::npos && line.find("-> -1") == std::string::npos)
            ++opened;
        start = end + 1;
    }
    return opened;
}

bool ProgramDriver::waitForCalls(const std::string& entryPoint, int count, DWORD milliseconds) const
{
    const DWORD start = GetTickCount();
    while (logCount(entryPoint) < count) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(20);
    }
    return true;
}

std::vector<std::string> ProgramDriver::calls(const std::string& entryPoint) const
{
    const std::string text = log();
    const std::string needle = " " + entryPoint + "(";
    std::vector<std::string> found;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t at = line.find(needle);
        if (at != std::string::npos)
            found.push_back(line.substr(at + 1));
        start = end + 1;
    }
    return found;
}
