#include "text/fault_guard.h"

#include <windows.h>

#include <csetjmp>

// mingw g++ has no __try/__except. A vectored handler redirects a faulting guarded thread
// to a function that longjmps back to RunGuarded; the flag lives in TLS so that only the
// thread that asked for the guard is redirected.
namespace {

DWORD g_guardSlot = TLS_OUT_OF_INDEXES;

[[noreturn]] void ReturnToGuard()
{
    auto* target = static_cast<std::jmp_buf*>(TlsGetValue(g_guardSlot));
    std::longjmp(*target, 1);
}

LONG CALLBACK RedirectGuardedFault(EXCEPTION_POINTERS* info)
{
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    const bool isError = (code >> 30) == 3;
    if (!isError || TlsGetValue(g_guardSlot) == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;
    info->ContextRecord->Eip = reinterpret_cast<DWORD>(&ReturnToGuard);
    return EXCEPTION_CONTINUE_EXECUTION;
}

INIT_ONCE g_installOnce = INIT_ONCE_STATIC_INIT;
bool g_installed = false;

BOOL CALLBACK InstallGuard(PINIT_ONCE, PVOID, PVOID*)
{
    g_guardSlot = TlsAlloc();
    g_installed = g_guardSlot != TLS_OUT_OF_INDEXES &&
                  AddVectoredExceptionHandler(1, RedirectGuardedFault) != nullptr;
    return TRUE;
}

// InitOnce rather than a function-local static: the compiler's guard for such a static
// links the C++ runtime's thread and exception support, most of a release build's size.
bool InstallGuardOnce()
{
    InitOnceExecuteOnce(&g_installOnce, InstallGuard, nullptr, nullptr);
    return g_installed;
}

} // namespace

bool RunGuarded(void (*body)(void* context), void* context)
{
    if (!InstallGuardOnce()) {
        body(context);
        return true;
    }
    std::jmp_buf target;
    void* outer = TlsGetValue(g_guardSlot);
    if (setjmp(target) != 0) {
        TlsSetValue(g_guardSlot, outer);
        return false;
    }
    TlsSetValue(g_guardSlot, &target);
    body(context);
    TlsSetValue(g_guardSlot, outer);
    return true;
}
