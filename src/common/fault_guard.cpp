#include "common/fault_guard.h"

#include <malloc.h>

#include <csetjmp>

// mingw g++ has no __try/__except, so the registration is made by hand: a record on the
// stack, linked in at FS:[0] for the length of the body. Being frame-based, its handler runs
// after those of the code it calls, so a library's own __try, IsBadReadPtr and C++ catch
// blocks keep working; only what they all let through reaches it.
namespace {

// Laid out as the system's EXCEPTION_REGISTRATION_RECORD, which must come first.
struct GuardFrame {
    GuardFrame* next;
    EXCEPTION_DISPOSITION(__cdecl* handler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
    std::jmp_buf resume;
    volatile DWORD exceptionCode;
};

// The head of the thread's registration chain, FS:[0] on i686.
GuardFrame* ChainHead()
{
    GuardFrame* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(GuardFrame* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

// msvcrt's longjmp unwinds the chain back to the registration that setjmp saw, running the
// library's own unwind handlers on the way, as an __except block would.
EXCEPTION_DISPOSITION __cdecl ResumeAfterGuardedBody(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*)
{
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
        return ExceptionContinueSearch;
    auto* guard = static_cast<GuardFrame*>(frame);
    guard->exceptionCode = record->ExceptionCode;
    std::longjmp(guard->resume, 1);
}

} // namespace

bool RunGuarded(void (*body)(void* context), void* context)
{
    GuardFrame frame{};
    frame.handler = ResumeAfterGuardedBody;
    if (setjmp(frame.resume) != 0) {
        // The faulting code may have left the direction flag set; string instructions of
        // ours must not run backwards.
        asm volatile("cld" ::: "cc");
        if (frame.exceptionCode == EXCEPTION_STACK_OVERFLOW)
            _resetstkoflw();
        return false;
    }
    frame.next = ChainHead();
    SetChainHead(&frame);
    body(context);
    SetChainHead(frame.next);
    return true;
}
