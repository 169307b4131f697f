// Images at a window's scale, for a program that declares itself DPI aware, so that the
// system neither stretches them nor leaves them small.
#pragma once
#include <windows.h>

// The device context of a window, or of the screen for null, for as long as the scope needs it.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { ReleaseDC(window_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// The resolution at which an image is shown pixel for pixel.
constexpr int kBaseDpi = 96;

// The DPI of the window's monitor where the system knows one per monitor, else the system's.
int WindowDpi(HWND window);

// A new 24-bit bitmap of `width` x `height` pixels with `source` drawn into it smoothly
// (bilinear); null when it cannot be made. The caller owns it; `source` is left as it is.
HBITMAP ScaledBitmap(HBITMAP source, int width, int height);

// Makes a window `extra` pixels taller. Where it would then reach past the bottom of its
// monitor's work area, it moves up as far as it must, never past the top.
void GrowWindow(HWND window, int extra);

// Where the window is taller than its monitor's work area (a high DPI, a large taskbar), the
// control `flexible` gives up height, down to `leastHeight` pixels, and the controls below it
// move up with the window's bottom, so that they stay on the screen.
void FitWindowToWorkArea(HWND window, int flexible, int leastHeight);
