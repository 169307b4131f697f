// The optional call log named by CARDWYN_SIM_LOG: one line per call or event, each line
// appended and flushed on its own, so that a test can read it while the program runs.
#pragma once
#include <windows.h>

#include <string>

// Reads CARDWYN_SIM_LOG and CARDWYN_SIM_LOG_SECRETS; called once when the library loads.
void OpenCallLog();
bool CallLogEnabled();

// Writes "pid=<n> tid=<n> <text>" as one line.
void LogLine(const std::string& text);

// Argument texts for log lines.
std::string Quoted(const char* text); // "text" with \xNN escapes, or NULL
std::string LoggedCredential(const unsigned char* credential, bool transportKey);
std::string Hex32(DWORD value); // 0x8010002A
