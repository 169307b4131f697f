#include "common/scaled_image.h"

#include "common/proc_cast.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Where target pixel `at` of `size` lies among the `sourceSize` pixels of the source: the two
// nearest and the weight of the second, in 256ths.
struct Sample {
    int first;
    int second;
    int weight;
};

Sample SampleAt(int at, int size, int sourceSize)
{
    int position = ((2 * at + 1) * sourceSize * 128) / size - 128; // pixel centres, in 256ths
    position = position < 0 ? 0 : (position > (sourceSize - 1) * 256 ? (sourceSize - 1) * 256 : position);
    const int first = position >> 8;
    return {first, first + 1 < sourceSize ? first + 1 : first, position & 255};
}

// `a` and `b` mixed with `weight` 256ths of `b`; the result is 256 times too large.
int Blend(int a, int b, int weight)
{
    return a * (256 - weight) + b * weight;
}

} // namespace

int WindowDpi(HWND window)
{
    // Looked up at run time: systems before Windows 10 know only the system DPI.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto dpiForWindow = ProcAs<GetDpiForWindowFn>(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    if (dpiForWindow != nullptr && window != nullptr)
        return static_cast<int>(dpiForWindow(window));
    return GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSX);
}

HBITMAP ScaledBitmap(HBITMAP source, int width, int height)
{
    BITMAP from{};
    if (source == nullptr || width <= 0 || height <= 0 || !GetObjectA(source, sizeof from, &from))
        return nullptr;
    const int sourceWidth = from.bmWidth;
    const int sourceHeight = from.bmHeight;
    // Both as DIBs, top row first: the source read as 32-bit pixels, the result 24-bit, no
    // alpha, so that a static control shows this very bitmap, not a copy of it.
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), sourceWidth, -sourceHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const WindowDc screen(nullptr);
    auto* pixels = static_cast<BYTE*>(std::malloc(static_cast<size_t>(sourceWidth) * sourceHeight * 4));
    HBITMAP scaled = nullptr;
    BYTE* out = nullptr;
    if (pixels != nullptr &&
        GetDIBits(screen.get(), source, 0, sourceHeight, pixels, &format, DIB_RGB_COLORS) == sourceHeight) {
        format.bmiHeader.biWidth = width;
        format.bmiHeader.biHeight = -height;
        format.bmiHeader.biBitCount = 24;
        scaled = CreateDIBSection(screen.get(), &format, DIB_RGB_COLORS, reinterpret_cast<void**>(&out), nullptr, 0);
    }
    // Bilinear, by hand: how smoothly GDI's stretch modes enlarge differs from system to system.
    const int stride = (width * 3 + 3) & ~3;
    for (int y = 0; scaled != nullptr && y < height; ++y) {
        const Sample row = SampleAt(y, height, sourceHeight);
        for (int x = 0; x < width; ++x) {
            const Sample column = SampleAt(x, width, sourceWidth);
            const BYTE* top = pixels + static_cast<size_t>(row.first) * sourceWidth * 4;
            const BYTE* bottom = pixels + static_cast<size_t>(row.second) * sourceWidth * 4;
            for (int channel = 0; channel < 3; ++channel) {
                const int upper = Blend(top[column.first * 4 + channel], top[column.second * 4 + channel], column.weight);
                const int lower = Blend(bottom[column.first * 4 + channel], bottom[column.second * 4 + channel],
                                        column.weight);
                out[y * stride + x * 3 + channel] = static_cast<BYTE>((Blend(upper, lower, row.weight) + 32768) >> 16);
            }
        }
    }
    std::free(pixels);
    return scaled;
}

namespace {

bool WorkAreaOf(HWND window, RECT* workArea)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return false;
    *workArea = monitor.rcWork;
    return true;
}

// A child's place in its parent's client coordinates.
RECT ChildPlace(HWND child)
{
    RECT place;
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// Moves every child that starts at or below `from` up by `cut` pixels.
void MoveChildrenUp(HWND window, LONG from, int cut)
{
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const RECT place = ChildPlace(child);
        if (place.top >= from)
            SetWindowPos(child, nullptr, place.left, place.top - cut, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

} // namespace

void FitWindowToWorkArea(HWND window, int flexible, int leastHeight)
{
    RECT place;
    RECT workArea;
    HWND control = GetDlgItem(window, flexible);
    if (control == nullptr || !GetWindowRect(window, &place) || !WorkAreaOf(window, &workArea))
        return;
    const RECT controlPlace = ChildPlace(control);
    const LONG excess = (place.bottom - place.top) - (workArea.bottom - workArea.top);
    const int cut = static_cast<int>(std::min(excess, controlPlace.bottom - controlPlace.top - leastHeight));
    if (cut <= 0)
        return;
    MoveChildrenUp(window, controlPlace.bottom, cut);
    SetWindowPos(control, nullptr, 0, 0, controlPlace.right - controlPlace.left,
                 controlPlace.bottom - controlPlace.top - cut, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GrowWindow(window, -cut);
}

void GrowWindow(HWND window, int extra)
{
    RECT place;
    GetWindowRect(window, &place);
    place.bottom += extra;
    RECT workArea;
    if (WorkAreaOf(window, &workArea) && place.bottom > workArea.bottom) {
        const LONG up = std::min(place.bottom - workArea.bottom, place.top - workArea.top);
        if (up > 0)
            OffsetRect(&place, 0, -up);
    }
    SetWindowPos(window, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
