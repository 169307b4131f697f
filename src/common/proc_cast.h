// Casts a GetProcAddress result to the entry point's real type. Going through void*
// keeps GCC's -Wcast-function-type quiet; the types come from the libraries' contracts.
#pragma once
#include <windows.h>

template <typename Function>
Function ProcAs(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
