#include "common/fault_guard.h"

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

// Processor faults only. A vectored handler sees every exception first, also those that a
// guarded library raises on purpose and catches itself (a C++ throw, say): those go on.
bool IsProcessorFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
        return true;
    default:
        return false;
    }
}

LONG CALLBACK RedirectGuardedFault(EXCEPTION_POINTERS* info)
{
    if (!IsProcessorFault(info->ExceptionRecord->ExceptionCode) || TlsGetValue(g_guardSlot) == nullptr)
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
