// Containing exceptions that a run-time library leaves unhandled.
#pragma once
#include <windows.h>

#include <atomic>

// Runs `body(context)` under a frame-based handler, which sees an exception only after every
// handler inside the body has declined it. Returns false when one escaped the body: it is
// then abandoned, its frames unwound, the direction flag cleared and, after a stack
// overflow, the stack's guard page restored.
bool RunGuarded(void (*body)(void* context), void* context);

// RunGuarded for a callable, without a trampoline at every call site.
template <typename Body>
bool CallGuarded(Body&& body)
{
    auto call = [&body] { body(); };
    using Call = decltype(call);
    return RunGuarded([](void* context) { (*static_cast<Call*>(context))(); }, &call);
}

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
        if (CallGuarded(body))
            return true;
        faulted_ = true;
        return false;
    }

    // `*result = function(args...)`, guarded.
    template <typename Result, typename... Params, typename... Args>
    bool call(Result* result, Result(WINAPI* function)(Params...), Args... args)
    {
        return call([&] { *result = function(args...); });
    }

    bool faulted() const { return faulted_; }
    void reset() { faulted_ = false; } // for tests

private:
    std::atomic<bool> faulted_{false};
};
