// The guard around a call into a run-time library: only what the library leaves unhandled
// ends the call, and the program's state after it is sane.
#include "common/fault_guard.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned kDirectionFlag = 0x400;

unsigned ProcessorFlags()
{
    unsigned flags;
    asm volatile("pushfl\n\tpopl %0" : "=r"(flags));
    return flags;
}

void FaultWithDirectionFlagSet()
{
    asm volatile("std\n\tmovl $0, %%eax\n\tmovl (%%eax), %%eax" : : : "eax", "memory", "cc");
}

void RaiseOwnException() { RaiseException(0xE0000001, 0, 0, nullptr); }

void* ChainHead()
{
    void* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

// Failures of the thread's handler chain, which must be as before after every way out of a
// guarded call, nested or not: a record left behind would catch a later fault in a dead frame.
DWORD WINAPI CountChainFailures(void*)
{
    void (*const bodies[])() = {
        [] {}, FaultWithDirectionFlagSet, RaiseOwnException,
        [] { CallGuarded(FaultWithDirectionFlagSet); },
        [] { CallGuarded([] {}); FaultWithDirectionFlagSet(); },
    };
    DWORD failures = 0;
    for (auto body : bodies) {
        void* before = ChainHead();
        CallGuarded(body);
        failures += ChainHead() != before;
    }
    return failures;
}

} // namespace

TEST(FaultGuard, HandlerChainIsRestoredOnEveryThread)
{
    EXPECT_EQ(0u, CountChainFailures(nullptr));
    HANDLE thread = CreateThread(nullptr, 0, CountChainFailures, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    DWORD failures = 99;
    GetExitCodeThread(thread, &failures);
    CloseHandle(thread);
    EXPECT_EQ(0u, failures) << "on a second thread";
}

TEST(FaultGuard, FaultThatTheCalleeHandlesLetsItFinish)
{
    bool finished = false;
    EXPECT_TRUE(CallGuarded([&] {
        IsBadReadPtr(reinterpret_cast<const void*>(0x10), sizeof(int));
        finished = true;
    }));
    EXPECT_TRUE(finished);
}

TEST(FaultGuard, EscapingExceptionEndsTheCallWithTheDirectionFlagClear)
{
    const struct {
        const char* what;
        void (*body)();
    } cases[] = {{"access violation with the direction flag set", FaultWithDirectionFlagSet},
                 {"RaiseException", RaiseOwnException}};
    for (const auto& c : cases) {
        EXPECT_FALSE(CallGuarded(c.body)) << c.what;
        EXPECT_EQ(0u, ProcessorFlags() & kDirectionFlag) << c.what;
    }
}

TEST(FaultGuard, LibraryThatFaultedIsNotCalledAgain)
{
    GuardedLibrary library;
    int calls = 0;
    EXPECT_FALSE(library.call([&] { ++calls; FaultWithDirectionFlagSet(); }));
    EXPECT_FALSE(library.call([&] { ++calls; }));
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(library.faulted());
}

namespace {

// Each frame holds a page, so the recursion reaches the guard page quickly.
int Recurse(int depth)
{
    volatile char page[4096];
    page[0] = static_cast<char>(depth);
    return depth > 1000000 ? page[0] : Recurse(depth + 1) + page[0];
}

void OverflowTheStack() { Recurse(0); }

} // namespace

// The stack's guard page is back after an overflow, so a second one is a stack overflow too,
// not an access violation past a guard page that is gone.
TEST(FaultGuard, StackOverflowIsCaughtTwice)
{
    for (int overflow = 1; overflow <= 2; ++overflow) {
        DWORD code = 0;
        EXPECT_FALSE(CallGuarded(OverflowTheStack, &code)) << overflow;
        EXPECT_EQ(static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW), code) << overflow;
    }
}
