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

} // namespace

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

// The stack's guard page is back after an overflow, so a second one is caught as well.
TEST(FaultGuard, StackOverflowIsCaughtTwice)
{
    EXPECT_FALSE(CallGuarded(OverflowTheStack));
    EXPECT_FALSE(CallGuarded(OverflowTheStack));
}
