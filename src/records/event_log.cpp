#include "records/event_log.h"

#include "core/policy.h"
#include "events.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr int kSlots = 16;      // events waiting for the writer; more are dropped
constexpr int kMostStrings = 12;
constexpr int kEventChars = 4096; // all insertion strings of one event, each with its terminator
constexpr int kVersionSize = 64;

struct Event {
    WORD type;
    DWORD id;
    WORD count;
    wchar_t text[kEventChars];
};

struct Log {
    CRITICAL_SECTION lock;
    HANDLE ready; // a semaphore: one count per queued event
    HANDLE idle;  // set while nothing waits
    Event slots[kSlots];
    int first;
    int queued;
    HANDLE source;
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    bool hasUser;
    bool noted;
    char program[kVersionSize];
    char keyLibrary[kVersionSize];
};

Log g_log;
bool g_started;
bool g_faultLogged;

// Once a run: the log is never in the way, but whoever debugs may want to know.
void NoteFailure(const char* what, DWORD error)
{
    if (g_log.noted)
        return;
    g_log.noted = true;
    char text[128];
    std::snprintf(text, sizeof text, "keyprep: event log: %s failed (%lu)\n", what, error);
    OutputDebugStringA(text);
}

// The event's own user: the SID of whoever runs the program.
void ReadUser()
{
    HANDLE token = nullptr;
    DWORD size = 0;
    g_log.hasUser = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                    GetTokenInformation(token, TokenUser, g_log.user, sizeof g_log.user, &size);
    if (token != nullptr)
        CloseHandle(token);
}

void Report(const Event& event)
{
    if (g_log.source == nullptr)
        g_log.source = RegisterEventSourceW(nullptr, L"keyprep");
    const wchar_t* strings[kMostStrings];
    const wchar_t* at = event.text;
    for (int i = 0; i < event.count; ++i, at += lstrlenW(at) + 1)
        strings[i] = at;
    const PSID user = g_log.hasUser ? reinterpret_cast<TOKEN_USER*>(g_log.user)->User.Sid : nullptr;
    if (g_log.source == nullptr)
        NoteFailure("RegisterEventSource", GetLastError());
    else if (!ReportEventW(g_log.source, event.type, 0, event.id, user, event.count, 0, strings, nullptr))
        NoteFailure("ReportEvent", GetLastError());
}

DWORD WINAPI Write(LPVOID)
{
    while (WaitForSingleObject(g_log.ready, INFINITE) == WAIT_OBJECT_0) {
        Report(g_log.slots[g_log.first]);
        EnterCriticalSection(&g_log.lock);
        g_log.first = (g_log.first + 1) % kSlots;
        if (--g_log.queued == 0)
            SetEvent(g_log.idle);
        LeaveCriticalSection(&g_log.lock);
    }
    return 0;
}

// The strings one after the other, converted from the system's code page; one that does not
// fit in the event's room is left empty.
void Fill(Event& event, const char* const* strings, int count)
{
    wchar_t* at = event.text;
    const wchar_t* const end = event.text + kEventChars;
    for (int i = 0; i < count; ++i) {
        const int room = static_cast<int>(end - at);
        const int written = room > 1 ? MultiByteToWideChar(CP_ACP, 0, strings[i], -1, at, room - 1) : 0;
        at[written > 0 ? written - 1 : 0] = L'\0';
        at += written > 0 ? written : 1;
    }
    event.count = static_cast<WORD>(count);
}

// Queues the event for the writer: the caller's time is a copy of its strings.
void Queue(WORD type, DWORD id, std::initializer_list<const char*> strings)
{
    if (!g_started || !EventLogAllowed())
        return;
    EnterCriticalSection(&g_log.lock);
    if (g_log.queued < kSlots) {
        Event& event = g_log.slots[(g_log.first + g_log.queued) % kSlots];
        event.type = type;
        event.id = id;
        Fill(event, strings.begin(), static_cast<int>(strings.size()));
        ++g_log.queued;
        ResetEvent(g_log.idle);
        ReleaseSemaphore(g_log.ready, 1, nullptr);
    } else {
        NoteFailure("queue", ERROR_NOT_ENOUGH_QUOTA);
    }
    LeaveCriticalSection(&g_log.lock);
}

struct KeyEventKind {
    const char* result;
    DWORD id;
    WORD type;
};

// One ID for each way a Key's attempt ends; "success" is told apart by the operation.
constexpr KeyEventKind kKeyEvents[] = {
    {"failed", EVENT_KEY_FAILED, EVENTLOG_ERROR_TYPE},
    {"rejected", EVENT_KEY_REJECTED, EVENTLOG_WARNING_TYPE},
    {"blocked", EVENT_KEY_BLOCKED, EVENTLOG_ERROR_TYPE},
    {"removed", EVENT_KEY_REMOVED, EVENTLOG_WARNING_TYPE},
    {"skipped", EVENT_KEY_SKIPPED, EVENTLOG_INFORMATION_TYPE},
    {"cancelled", EVENT_KEY_CANCELLED, EVENTLOG_INFORMATION_TYPE},
};

KeyEventKind KindOf(const Receipt& receipt)
{
    for (const KeyEventKind& kind : kKeyEvents)
        if (std::strcmp(kind.result, receipt.result) == 0)
            return kind;
    if (std::strcmp(receipt.result, "success") != 0)
        return kKeyEvents[0];
    const bool unformat = std::strcmp(receipt.operation, "unformat") == 0;
    return {receipt.result, unformat ? EVENT_KEY_UNFORMATTED : EVENT_KEY_FORMATTED, EVENTLOG_INFORMATION_TYPE};
}

} // namespace

void StartEventLog()
{
    if (g_started)
        return;
    InitializeCriticalSection(&g_log.lock);
    g_log.ready = CreateSemaphoreA(nullptr, 0, kSlots, nullptr);
    g_log.idle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ReadUser();
    HANDLE writer = g_log.ready != nullptr && g_log.idle != nullptr ? CreateThread(nullptr, 0, Write, nullptr, 0, nullptr)
                                                                    : nullptr;
    g_started = writer != nullptr;
    if (writer != nullptr)
        CloseHandle(writer);
    else
        NoteFailure("CreateThread", GetLastError());
}

void SetEventLogVersions(const char* programVersion, const char* keyLibraryVersion)
{
    std::snprintf(g_log.program, sizeof g_log.program, "%s", programVersion);
    std::snprintf(g_log.keyLibrary, sizeof g_log.keyLibrary, "%s", keyLibraryVersion);
}

void LogKeyEnded(const Receipt& receipt, const char* series)
{
    char type[16];
    char code[16] = "";
    char number[16] = "";
    std::snprintf(type, sizeof type, "%d", receipt.cardType);
    if (receipt.error != 0)
        std::snprintf(code, sizeof code, "0x%08lX", receipt.error);
    if (receipt.keyNumber > 0)
        std::snprintf(number, sizeof number, "%d", receipt.keyNumber);
    const KeyEventKind kind = KindOf(receipt);
    Queue(kind.type, kind.id,
          {receipt.reader, type, receipt.cardTypeName, receipt.operation, receipt.clearAll ? "yes" : "no",
           receipt.result, receipt.message, code, series, number, g_log.program, g_log.keyLibrary});
}

void NameSeries(char* series, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::snprintf(series, size, "%04d-%02d-%02dT%02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
}

void LogSeriesStarted(const char* reader, const char* series, const char* receiptsPath)
{
    Queue(EVENTLOG_INFORMATION_TYPE, EVENT_SERIES_STARTED,
          {reader, series, receiptsPath, g_log.program, g_log.keyLibrary});
}

void LogSeriesEnded(const char* reader, const char* series, int formatted, int failed, int notFormatted,
                    int exitCode)
{
    char counts[4][16];
    int i = 0;
    for (int count : {formatted, failed, notFormatted, exitCode})
        std::snprintf(counts[i++], sizeof counts[0], "%d", count);
    Queue(EVENTLOG_INFORMATION_TYPE, EVENT_SERIES_ENDED,
          {reader, series, counts[0], counts[1], counts[2], counts[3], g_log.program, g_log.keyLibrary});
}

void LogReceiptsWaiting(const char* sharePath, const char* queuePath, DWORD error)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", error);
    Queue(EVENTLOG_WARNING_TYPE, EVENT_RECEIPTS_WAITING, {sharePath, queuePath, code});
}

void LogReceiptsDelivered(const char* sharePath, const char* queuePath)
{
    Queue(EVENTLOG_INFORMATION_TYPE, EVENT_RECEIPTS_DELIVERED, {sharePath, queuePath});
}

void LogKeyLibraryFault(HMODULE keyLibrary)
{
    if (g_faultLogged)
        return;
    g_faultLogged = true;
    char path[MAX_PATH] = "";
    GetModuleFileNameA(keyLibrary, path, sizeof path);
    Queue(EVENTLOG_ERROR_TYPE, EVENT_KEY_LIBRARY_FAULT, {path, g_log.program, g_log.keyLibrary});
}

void FlushEventLog(DWORD milliseconds)
{
    if (g_started)
        WaitForSingleObject(g_log.idle, milliseconds);
}
