// What the recording test support library keeps of the last About call.
#pragma once
#include <windows.h>

struct RecordedAboutCall {
    int calls;
    HINSTANCE executable;
    HMODULE languageModule;
    HWND owner;
    int iconId;
    const char* componentFiles[6];
    const char* title;
    int reserved1;
    char webHost[128];
    char supportEmail[128];
    int bitmapId;
    int reserved2;
    int reserved3;
    char company[64];
    int reserved4;
};

using LastAboutCallFn = const RecordedAboutCall*(WINAPI*)();
