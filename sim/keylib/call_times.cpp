#include "call_times.h"

#include <cstdio>

namespace {

struct CallTime {
    const char* entryPoint;
    LONGLONG begin;
    LONGLONG end;
};

// Kept in memory and written at unload, so that timing costs the calls no file access.
constexpr LONG kMostCalls = 4096;
CallTime g_calls[kMostCalls];
volatile LONG g_callCount = 0;
char g_path[MAX_PATH * 2];

LONGLONG Counter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

} // namespace

void OpenCallTimes()
{
    const DWORD length = GetEnvironmentVariableA("CARDWYN_SIM_TIMES", g_path, sizeof g_path);
    if (length == 0 || length >= sizeof g_path)
        g_path[0] = '\0';
}

TimedCall::TimedCall(const char* entryPoint) : entryPoint_(entryPoint), begin_(g_path[0] ? Counter() : 0) {}

TimedCall::~TimedCall()
{
    if (g_path[0] == '\0')
        return;
    const LONGLONG end = Counter();
    const LONG index = InterlockedIncrement(&g_callCount) - 1;
    if (index < kMostCalls)
        g_calls[index] = {entryPoint_, begin_, end};
}

void WriteCallTimes()
{
    if (g_path[0] == '\0')
        return;
    HANDLE file = CreateFileA(g_path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double ticksPerMillisecond = static_cast<double>(frequency.QuadPart) / 1000.0;
    const LONG count = g_callCount < kMostCalls ? g_callCount : kMostCalls;
    for (LONG i = 0; i < count; ++i) {
        char line[96];
        const int length = std::snprintf(line, sizeof line, "%s %.4f %.4f\r\n", g_calls[i].entryPoint,
                                          static_cast<double>(g_calls[i].begin) / ticksPerMillisecond,
                                          static_cast<double>(g_calls[i].end) / ticksPerMillisecond);
        DWORD written = 0;
        if (length > 0 && length < static_cast<int>(sizeof line))
            WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    }
    CloseHandle(file);
}
