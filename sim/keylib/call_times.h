// The optional record of how long each call took, named by CARDWYN_SIM_TIMES, for the
// benchmarks: they subtract the library's own time from what a program makes the user wait.
#pragma once
#include <windows.h>

// Reads CARDWYN_SIM_TIMES; called once when the library loads.
void OpenCallTimes();
// Writes the calls timed so far, one line each: "<Entry> <begin> <end>", in milliseconds on
// the performance counter, which every process of the machine shares. Called at unload.
void WriteCallTimes();

// Times one call from its construction to its end, the log line included.
class TimedCall {
public:
    explicit TimedCall(const char* entryPoint);
    ~TimedCall();
    TimedCall(const TimedCall&) = delete;
    TimedCall& operator=(const TimedCall&) = delete;

private:
    const char* entryPoint_;
    LONGLONG begin_;
};
