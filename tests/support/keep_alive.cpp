// Holds one hidden window for the whole test run, so that Wine starts its desktop and
// service processes once, in the fixture, and keeps them: a helper process started by a
// test would inherit that test's output and make ctest wait for it until the run ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CreateWindowA("Static", "keyprep test keep-alive", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                  nullptr, instance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
