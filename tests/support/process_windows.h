// The windows that another process shows, for programs that drive or measure it from outside.
#pragma once
#include <windows.h>

#include <vector>

// The visible top-level windows of process `processId`, top of the z-order first.
std::vector<HWND> VisibleWindowsOf(DWORD processId);
