// The About box of the support library stand-in.
#pragma once
#include <windows.h>

// What the caller hands over; every text may be null.
struct AboutRequest {
    HINSTANCE executable = nullptr; // version record, icon and banner bitmap come from here
    HWND owner = nullptr;
    int iconId = 0;
    const char* const* componentFiles = nullptr; // ends at the first null entry
    const char* title = nullptr;                 // null: the owner's window title
    const char* webHost = nullptr;
    const char* supportEmail = nullptr;
    int bitmapId = 0;
    const char* company = nullptr;
};

// Runs the modal About box; returns the ID of the button that closed it, 0 if it could not open.
int RunAboutDialog(const AboutRequest& request);
