#include "about_dialog.h"

#include "about_ids.h"

#include "common/scaled_image.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const COLORREF kLinkColour = RGB(0, 102, 204);

// The template and the texts live in this library, not in the caller's executable.
HINSTANCE OwnModule()
{
    static const char anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       &anchor, &module);
    return module;
}

std::string OwnText(UINT id)
{
    char text[256] = {};
    LoadStringA(OwnModule(), id, text, sizeof text);
    return text;
}

// Fills the single %s of one of our own format strings.
std::string OwnFormat(UINT id, const std::string& value)
{
    const std::string format = OwnText(id);
    char text[512] = {};
    std::snprintf(text, sizeof text, format.c_str(), value.c_str());
    return text;
}

LPCSTR ResourceId(int id)
{
    return MAKEINTRESOURCEA(static_cast<WORD>(id));
}

class VersionRecord {
public:
    explicit VersionRecord(const std::string& path)
    {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0)
            return;
        data_.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, data_.data()))
            data_.clear();
    }

    // A text of the record's first translation; empty when the record has none.
    std::string text(const char* name)
    {
        struct Translation {
            WORD language;
            WORD codePage;
        };
        Translation* translations = nullptr;
        UINT length = 0;
        if (data_.empty() ||
            !VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation",
                            reinterpret_cast<void**>(&translations), &length) ||
            length < sizeof(Translation))
            return "";
        char path[128];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s",
                      translations[0].language, translations[0].codePage, name);
        char* value = nullptr;
        if (!VerQueryValueA(data_.data(), path, reinterpret_cast<void**>(&value), &length) ||
            value == nullptr || length == 0)
            return "";
        return std::string(value, strnlen(value, length));
    }

    // "major.minor.build" from the fixed file version; empty when the record has none.
    std::string fileVersion()
    {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (data_.empty() ||
            !VerQueryValueA(data_.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
            length < sizeof(VS_FIXEDFILEINFO))
            return "";
        char text[64];
        std::snprintf(text, sizeof text, "%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                      LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
        return text;
    }

private:
    std::vector<char> data_;
};

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Where a component lives: beside the executable as installed, else wherever this process
// already loaded it from, else wherever the normal search path finds it. Empty: nowhere.
std::string LocateComponent(const std::string& executableFolder, const char* name)
{
    if (std::strpbrk(name, "\\/:") != nullptr)
        return IsFile(name) ? name : "";
    if (!executableFolder.empty() && IsFile(executableFolder + name))
        return executableFolder + name;
    if (HMODULE loaded = GetModuleHandleA(name)) {
        const std::string path = ModulePath(loaded);
        if (!path.empty())
            return path;
    }
    char found[MAX_PATH] = {};
    const DWORD length = SearchPathA(nullptr, name, nullptr, MAX_PATH, found, nullptr);
    return length > 0 && length < MAX_PATH ? found : "";
}

// Everything the box owns while it is open; released when it has closed.
struct AboutState {
    const AboutRequest* request = nullptr;
    HBITMAP banner = nullptr;
    HICON icon = nullptr;
    HFONT boldFont = nullptr;
    HFONT linkFont = nullptr;
    std::vector<HWND> missingRows;

    AboutState() = default;
    AboutState(const AboutState&) = delete;
    AboutState& operator=(const AboutState&) = delete;
    ~AboutState()
    {
        if (banner)
            DeleteObject(banner);
        if (icon)
            DestroyIcon(icon);
        if (boldFont)
            DeleteObject(boldFont);
        if (linkFont)
            DeleteObject(linkFont);
    }
};

AboutState* StateOf(HWND dialog)
{
    return reinterpret_cast<AboutState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

RECT ChildRect(HWND dialog, HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void MoveChild(HWND dialog, HWND child, int dx, int dy, int dw = 0, int dh = 0)
{
    const RECT rect = ChildRect(dialog, child);
    SetWindowPos(child, nullptr, rect.left + dx, rect.top + dy, rect.right - rect.left + dw,
                 rect.bottom - rect.top + dh, SWP_NOZORDER | SWP_NOACTIVATE);
}

struct Shift {
    HWND dialog;
    int fromY;
    int dy;
};

BOOL CALLBACK ShiftIfBelow(HWND child, LPARAM context)
{
    const auto* shift = reinterpret_cast<const Shift*>(context);
    if (GetParent(child) == shift->dialog && ChildRect(shift->dialog, child).top >= shift->fromY)
        MoveChild(shift->dialog, child, 0, shift->dy);
    return TRUE;
}

// Moves every control whose top edge lies at or below `fromY` down by `dy` pixels.
void ShiftControlsBelow(HWND dialog, int fromY, int dy)
{
    Shift shift{dialog, fromY, dy};
    EnumChildWindows(dialog, ShiftIfBelow, reinterpret_cast<LPARAM>(&shift));
}

HFONT DerivedFont(HWND dialog, LONG weight, BYTE underline)
{
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    font.lfWeight = weight;
    font.lfUnderline = underline;
    return CreateFontIndirectA(&font);
}

void SetFont(HWND control, HFONT font)
{
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

HWND CloneStatic(HWND dialog, HWND model, int id, int dy)
{
    const RECT rect = ChildRect(dialog, model);
    HWND clone = CreateWindowExA(
        static_cast<DWORD>(GetWindowLongA(model, GWL_EXSTYLE)), "Static", "",
        static_cast<DWORD>(GetWindowLongA(model, GWL_STYLE)), rect.left, rect.top + dy,
        rect.right - rect.left, rect.bottom - rect.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), OwnModule(), nullptr);
    SendMessageA(clone, WM_SETFONT, SendMessageA(model, WM_GETFONT, 0, 0), FALSE);
    return clone;
}

void ShowProduct(HWND dialog, AboutState& state, const std::string& executablePath)
{
    VersionRecord record(executablePath);
    std::string product = record.text("ProductName");
    if (product.empty())
        product = OwnText(IDS_UNKNOWN_PRODUCT);
    std::string version = record.text("ProductVersion");
    if (version.empty())
        version = OwnText(IDS_NO_VERSION);

    state.boldFont = DerivedFont(dialog, FW_BOLD, FALSE);
    SetFont(GetDlgItem(dialog, IDC_ABOUT_PRODUCT), state.boldFont);
    SetDlgItemTextA(dialog, IDC_ABOUT_PRODUCT, product.c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, OwnFormat(IDS_VERSION_FORMAT, version).c_str());
    const char* company = state.request->company;
    if (company != nullptr && *company != '\0')
        SetDlgItemTextA(dialog, IDC_ABOUT_COPYRIGHT, OwnFormat(IDS_COPYRIGHT_FORMAT, company).c_str());
}

void ShowCaption(HWND dialog, const AboutRequest& request)
{
    if (request.title != nullptr) {
        SetWindowTextA(dialog, request.title);
        return;
    }
    char title[256] = {};
    if (request.owner != nullptr)
        GetWindowTextA(request.owner, title, sizeof title);
    if (title[0] == '\0')
        GetDlgItemTextA(dialog, IDC_ABOUT_PRODUCT, title, sizeof title);
    SetWindowTextA(dialog, title);
}

// One row per listed file; the template holds the first row and the group grows for the rest.
// Returns how many pixels the group grew by.
int ShowComponents(HWND dialog, AboutState& state, const std::string& executableFolder)
{
    std::vector<const char*> names;
    for (const char* const* entry = state.request->componentFiles;
         entry != nullptr && *entry != nullptr && names.size() < ABOUT_MAX_COMPONENTS; ++entry)
        names.push_back(*entry);
    if (names.empty()) {
        SetDlgItemTextA(dialog, IDC_ABOUT_COMPONENT_NAME, OwnText(IDS_NO_COMPONENTS).c_str());
        return 0;
    }

    RECT pitch{0, 0, 0, 10};
    MapDialogRect(dialog, &pitch);
    const int rowHeight = pitch.bottom;
    const int grow = rowHeight * static_cast<int>(names.size() - 1);
    HWND group = GetDlgItem(dialog, IDC_ABOUT_COMPONENTS);
    ShiftControlsBelow(dialog, ChildRect(dialog, group).bottom, grow);
    MoveChild(dialog, group, 0, 0, 0, grow);

    HWND firstName = GetDlgItem(dialog, IDC_ABOUT_COMPONENT_NAME);
    HWND firstVersion = GetDlgItem(dialog, IDC_ABOUT_COMPONENT_VERSION);
    for (size_t i = 0; i < names.size(); ++i) {
        const int id = static_cast<int>(i);
        const int dy = rowHeight * id;
        HWND name = i == 0 ? firstName : CloneStatic(dialog, firstName, IDC_ABOUT_COMPONENT_NAME + id, dy);
        HWND version = i == 0 ? firstVersion
                              : CloneStatic(dialog, firstVersion, IDC_ABOUT_COMPONENT_VERSION + id, dy);
        SetWindowTextA(name, names[i]);

        const std::string path = LocateComponent(executableFolder, names[i]);
        std::string text;
        if (path.empty()) {
            text = OwnText(IDS_NOT_FOUND);
            state.missingRows.push_back(version);
        } else {
            text = VersionRecord(path).fileVersion();
            if (text.empty())
                text = OwnText(IDS_NO_VERSION);
        }
        SetWindowTextA(version, text.c_str());
    }
    return grow;
}

// A link is only as wide as its text, so that the hand cursor and a click mean the text.
void ShowLink(HWND dialog, int id, const char* text, HFONT font)
{
    HWND link = GetDlgItem(dialog, id);
    SetFont(link, font);
    SetWindowTextA(link, text ? text : "");
    SIZE extent{};
    HDC dc = GetDC(link);
    HGDIOBJ previous = SelectObject(dc, font);
    GetTextExtentPoint32A(dc, text ? text : "", text ? static_cast<int>(std::strlen(text)) : 0, &extent);
    SelectObject(dc, previous);
    ReleaseDC(link, dc);
    const RECT slot = ChildRect(dialog, link);
    const int width = extent.cx + 1 < slot.right - slot.left ? extent.cx + 1 : slot.right - slot.left;
    SetWindowPos(link, nullptr, 0, 0, width, slot.bottom - slot.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void ShowContacts(HWND dialog, AboutState& state)
{
    state.linkFont = DerivedFont(dialog, FW_NORMAL, TRUE);
    ShowLink(dialog, IDC_ABOUT_WEB, state.request->webHost, state.linkFont);
    ShowLink(dialog, IDC_ABOUT_EMAIL, state.request->supportEmail, state.linkFont);
}

// Above 96 DPI the banner is enlarged smoothly to the box's scale, as the box's text is.
void ScaleToDpi(HWND dialog, HBITMAP& bitmap)
{
    const int dpi = WindowDpi(dialog);
    BITMAP size{};
    if (dpi == kBaseDpi || bitmap == nullptr || !GetObjectA(bitmap, sizeof size, &size))
        return;
    const int width = MulDiv(size.bmWidth, dpi, kBaseDpi);
    if (HBITMAP scaled = ScaledBitmap(bitmap, width, MulDiv(size.bmHeight, dpi, kBaseDpi))) {
        DeleteObject(bitmap);
        bitmap = scaled;
    }
}

// The banner keeps its size (at the box's scale): the controls below follow its height, and the box widens
// when the bitmap is wider than the template (a large font makes the template wider instead).
void ShowBanner(HWND dialog, AboutState& state, SIZE* grow)
{
    HWND bannerControl = GetDlgItem(dialog, IDC_ABOUT_BANNER);
    const RECT slot = ChildRect(dialog, bannerControl);
    const AboutRequest& request = *state.request;
    state.banner = static_cast<HBITMAP>(
        LoadImageA(request.executable, ResourceId(request.bitmapId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    ScaleToDpi(dialog, state.banner);
    BITMAP bitmap{};
    if (state.banner == nullptr || !GetObjectA(state.banner, sizeof bitmap, &bitmap)) {
        ShowWindow(bannerControl, SW_HIDE);
        bitmap.bmWidth = 0;
        bitmap.bmHeight = 0;
    } else {
        SendMessageA(bannerControl, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(state.banner));
    }

    RECT client{};
    GetClientRect(dialog, &client);
    grow->cx = bitmap.bmWidth > client.right ? bitmap.bmWidth - client.right : 0;
    grow->cy = bitmap.bmHeight - (slot.bottom - slot.top);
    ShiftControlsBelow(dialog, slot.bottom, grow->cy);
    const int width = client.right + grow->cx;
    SetWindowPos(bannerControl, nullptr, (width - bitmap.bmWidth) / 2, 0, bitmap.bmWidth,
                 bitmap.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    if (grow->cx > 0) {
        MoveChild(dialog, GetDlgItem(dialog, IDOK), grow->cx, 0);
        MoveChild(dialog, GetDlgItem(dialog, IDC_ABOUT_COMPONENTS), 0, 0, grow->cx, 0);
        MoveChild(dialog, GetDlgItem(dialog, IDC_ABOUT_SEPARATOR), 0, 0, grow->cx, 0);
    }
}

void ShowIcon(HWND dialog, AboutState& state)
{
    const AboutRequest& request = *state.request;
    state.icon = static_cast<HICON>(LoadImageA(request.executable, ResourceId(request.iconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    if (state.icon != nullptr)
        SendDlgItemMessageA(dialog, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(state.icon), 0);
}

// Centred over the owner when it is on screen, else on the work area; never off screen.
void PlaceBox(HWND dialog, HWND owner)
{
    RECT box{};
    GetWindowRect(dialog, &box);
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT area = monitor.rcWork;
    RECT around = area;
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    int x = around.left + (around.right - around.left - width) / 2;
    int y = around.top + (around.bottom - around.top - height) / 2;
    x = x + width > area.right ? area.right - width : x;
    y = y + height > area.bottom ? area.bottom - height : y;
    x = x < area.left ? area.left : x;
    y = y < area.top ? area.top : y;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

BOOL OnInit(HWND dialog, AboutState& state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    const std::string executablePath = ModulePath(state.request->executable);

    ShowIcon(dialog, state);
    ShowProduct(dialog, state, executablePath);
    ShowCaption(dialog, *state.request);
    const int rowsGrow = ShowComponents(dialog, state, FolderOf(executablePath));
    ShowContacts(dialog, state);
    SIZE bannerGrow{};
    ShowBanner(dialog, state, &bannerGrow);

    RECT frame{};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + bannerGrow.cx,
                 frame.bottom - frame.top + bannerGrow.cy + rowsGrow,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    PlaceBox(dialog, state.request->owner);
    return TRUE;
}

void OpenLink(HWND dialog, int controlId)
{
    const AboutRequest& request = *StateOf(dialog)->request;
    const char* target = controlId == IDC_ABOUT_WEB ? request.webHost : request.supportEmail;
    if (target == nullptr || *target == '\0')
        return;
    std::string address = target;
    if (controlId == IDC_ABOUT_EMAIL)
        address = "mailto:" + address;
    else if (address.find("://") == std::string::npos)
        address = "http://" + address;
    ShellExecuteA(dialog, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool IsLink(HWND control)
{
    const int id = GetDlgCtrlID(control);
    return id == IDC_ABOUT_WEB || id == IDC_ABOUT_EMAIL;
}

INT_PTR OnControlColour(HWND dialog, HDC dc, HWND control)
{
    const AboutState* state = StateOf(dialog);
    if (state == nullptr)
        return FALSE;
    const bool missing = std::find(state->missingRows.begin(), state->missingRows.end(),
                                   control) != state->missingRows.end();
    if (!missing && !IsLink(control))
        return FALSE;
    SetTextColor(dc, missing ? GetSysColor(COLOR_GRAYTEXT) : kLinkColour);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInit(dialog, *reinterpret_cast<AboutState*>(lParam));
    case WM_CTLCOLORSTATIC:
        return OnControlColour(dialog, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        if (!IsLink(reinterpret_cast<HWND>(wParam)))
            return FALSE;
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case IDC_ABOUT_WEB:
        case IDC_ABOUT_EMAIL:
            if (HIWORD(wParam) == STN_CLICKED)
                OpenLink(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

int RunAboutDialog(const AboutRequest& request)
{
    AboutRequest resolved = request;
    if (resolved.executable == nullptr)
        resolved.executable = GetModuleHandleA(nullptr);
    AboutState state;
    state.request = &resolved;
    const INT_PTR result = DialogBoxParamA(OwnModule(), MAKEINTRESOURCEA(IDD_ABOUT), request.owner,
                                           AboutProc, reinterpret_cast<LPARAM>(&state));
    return result > 0 ? static_cast<int>(result) : 0;
}
