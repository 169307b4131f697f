#include "common/fault_guard.h"

#include <malloc.h>

#include <atomic>
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

bool RunGuarded(void (*body)(void* context), void* context, DWORD* exceptionCode)
{
    GuardFrame frame{};
    frame.handler = ResumeAfterGuardedBody;
    if (setjmp(frame.resume) != 0) {
        // The faulting code may have left the direction flag set; string instructions of
        // ours must not run backwards.
        asm volatile("cld" ::: "cc");
        if (frame.exceptionCode == EXCEPTION_STACK_OVERFLOW)
            _resetstkoflw();
        if (exceptionCode != nullptr)
            *exceptionCode = frame.exceptionCode;
        return false;
    }
    frame.next = ChainHead();
    SetChainHead(&frame);
    body(context);
    SetChainHead(frame.next);
    return true;
}

namespace {

struct HeldMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Far more than a user can click or a timer can fire during one library call; beyond it the
// newest are dropped.
constexpr int kMostHeld = 64;

// Holds count per thread (a TLS slot: C++ thread_local would bring a threads library along).
// Only the thread of the program's windows ever holds messages back.
const DWORD g_holdSlot = TlsAlloc();
std::atomic<DWORD> g_heldThread{0};
int g_heldCount;
HeldMessage g_held[kMostHeld];

int Holds() { return static_cast<int>(reinterpret_cast<INT_PTR>(TlsGetValue(g_holdSlot))); }
void SetHolds(int holds) { TlsSetValue(g_holdSlot, reinterpret_cast<void*>(static_cast<INT_PTR>(holds))); }

} // namespace

MessageHold::MessageHold() { SetHolds(Holds() + 1); }

MessageHold::~MessageHold()
{
    const int holds = Holds() - 1;
    SetHolds(holds);
    if (holds != 0 || g_heldThread != GetCurrentThreadId())
        return;
    const int count = g_heldCount;
    g_heldCount = 0;
    g_heldThread = 0;
    for (int i = 0; i < count; ++i)
        PostMessageA(g_held[i].window, g_held[i].message, g_held[i].wParam, g_held[i].lParam);
}

bool HoldingMessages() { return Holds() != 0; }

bool HoldBack(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (Holds() == 0)
        return false;
    g_heldThread = GetCurrentThreadId();
    if (g_heldCount < kMostHeld)
        g_held[g_heldCount++] = {window, message, wParam, lParam};
    return true;
}

void GuardedLibrary::markFaulted()
{
    faulted_ = true;
    // The loader would call the library's DllMain at every thread's start and end. This fails
    // for a library with static TLS, which is why a faulted worker never ends either.
    if (module_ != nullptr)
        DisableThreadLibraryCalls(module_);
}
