// The program's events in the Windows Application log, source "keyprep", so that a fleet's
// results reach the administrator's collector without a share. The texts are the message
// table of keyprep.exe (res/events.mc); an event carries only its insertion strings.
// A thread of its own writes them: the window never waits for the log, and a log that
// cannot be written is noted once in the debug output and otherwise ignored.
// Nothing is written while the policy value EventLog is 0.
#pragma once
#include "records/receipts.h"

#include <windows.h>

// At start-up, before the key library is loaded: a thread started after it would run the
// library's DllMain, which a fault could have left blocked.
void StartEventLog();
// The versions that the Key's and the series' events name.
void SetEventLogVersions(const char* programVersion, const char* keyLibraryVersion);

// A Key's end, with its receipt's fields; `series` is empty and the Key's number 0 outside
// a series.
void LogKeyEnded(const Receipt& receipt, const char* series);
// A name for a new series that tells it from the others of the computer: its start time.
void NameSeries(char* series, size_t size);
void LogSeriesStarted(const char* reader, const char* series, const char* receiptsPath);
void LogSeriesEnded(const char* reader, const char* series, int formatted, int failed, int notFormatted,
                    int exitCode);
// Receipts begin to wait in the local queue for the administrator's folder, and reach it.
void LogReceiptsWaiting(const char* sharePath, const char* queuePath, DWORD error);
void LogReceiptsDelivered(const char* sharePath, const char* queuePath);
// The key library faulted: written once a run, however many places notice it.
void LogKeyLibraryFault(HMODULE keyLibrary);

// At the end: waits at most `milliseconds` for the events still queued.
void FlushEventLog(DWORD milliseconds);
