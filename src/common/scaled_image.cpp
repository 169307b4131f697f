#include "common/scaled_image.h"

#include "common/proc_cast.h"

namespace {

// A memory device context with `bitmap` selected into it for as long as the scope needs it.
class BitmapDc {
public:
    BitmapDc(HDC like, HBITMAP bitmap) : dc_(CreateCompatibleDC(like)), previous_(SelectObject(dc_, bitmap)) {}
    ~BitmapDc()
    {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    BitmapDc(const BitmapDc&) = delete;
    BitmapDc& operator=(const BitmapDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

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
    if (source == nullptr || !GetObjectA(source, sizeof from, &from))
        return nullptr;
    // 24 bits, no alpha: a static control then shows this very bitmap, not a copy of it.
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const WindowDc screen(nullptr);
    HBITMAP scaled = CreateDIBSection(screen.get(), &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (scaled == nullptr)
        return nullptr;
    const BitmapDc target(screen.get(), scaled);
    const BitmapDc original(screen.get(), source);
    SetStretchBltMode(target.get(), HALFTONE);
    SetBrushOrgEx(target.get(), 0, 0, nullptr);
    StretchBlt(target.get(), 0, 0, width, height, original.get(), 0, 0, from.bmWidth, from.bmHeight, SRCCOPY);
    return scaled;
}
