// Containing exceptions that a run-time library leaves unhandled.
#pragma once
#include <windows.h>

#include <atomic>

// Runs `body(context)` under a frame-based handler, which sees an exception only after every
// handler inside the body has declined it. Returns false when one escaped the body: it is
// then abandoned, its frames unwound, the direction flag cleared and, after a stack
// overflow, the stack's guard page restored. `exceptionCode`, when given, receives the
// code of the exception that escaped.
bool RunGuarded(void (*body)(void* context), void* context, DWORD* exceptionCode = nullptr);

// RunGuarded for a callable, without a trampoline at every call site.
template <typename Body>
bool CallGuarded(Body&& body, DWORD* exceptionCode = nullptr)
{
    auto call = [&body] { body(); };
    using Call = decltype(call);
    return RunGuarded([](void* context) { (*static_cast<Call*>(context))(); }, &call, exceptionCode);
}

// A library call on this thread's stack may run a modal loop of its own, which dispatches the
// program's messages too. While one is held, a window passes the work that must not run
// inside such a call to HoldBack; it is posted again, in its order, when the last hold on
// the thread ends.
class MessageHold {
public:
    MessageHold();
    ~MessageHold();
    MessageHold(const MessageHold&) = delete;
    MessageHold& operator=(const MessageHold&) = delete;
};

// True, after keeping the message for later, while a hold is on this thread's stack.
bool HoldBack(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool HoldingMessages();

// A run-time library whose every call is guarded alone. Once an exception has escaped one of
// its calls, the library may still hold its own locks: it is never called again in this run,
// on any thread, and a refused call counts as failed like the faulting one.
class GuardedLibrary {
public:
    // Runs `body`, which makes exactly one call into the library; false when it faulted now
    // or did before.
    template <typename Body>
    bool call(Body&& body)
    {
        if (faulted_)
            return false;
        const MessageHold hold;
        if (CallGuarded(body))
            return true;
        markFaulted();
        return false;
    }

    // `*result = function(args...)`, guarded.
    template <typename Result, typename... Params, typename... Args>
    bool call(Result* result, Result(WINAPI* function)(Params...), Args... args)
    {
        return call([&] { *result = function(args...); });
    }

    // The library's module, so that a fault can stop the loader's thread notifications to it.
    void setModule(HMODULE module) { module_ = module; }
    // Counts the library as faulted: also when it ended a thread of ours by itself.
    void markFaulted();
    bool faulted() const { return faulted_; }
    void reset() { faulted_ = false; } // for tests

private:
    std::atomic<bool> faulted_{false};
    HMODULE module_ = nullptr;
};
