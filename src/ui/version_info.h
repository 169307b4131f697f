// Readers of file version records, for the version texts of the main dialog.
#pragma once
#include <windows.h>

constexpr int kVersionFieldSize = 260;
inline constexpr char kUnknownVersion[] = "Unknown";

// Writes "major.minor" (minor with at least two digits) of `fileName`, or of the running
// executable when null. False, with `text` untouched, when there is no readable version.
bool GetFileVersionText(const char* fileName, char* text);

// Fills each output that is not null (fields of 260 bytes) from the version record of
// `module`, else of `fileName`, else of the running executable; "Unknown" where missing.
void ReadVersionRecord(HMODULE module, const char* fileName, char* dottedVersion, char* path,
                       char* description, char* productName, char* productVersion,
                       char* legalNotice);

// "major.minor" of the key library that was loaded (not of a file that a search by name
// might find elsewhere first), or "Unknown".
void LoadedKeyLibraryVersion(char* text);

// The dotted version text of a fixed file version: 1.13.1.0 gives "1.13.1".
void FormatDottedVersion(DWORD versionMS, DWORD versionLS, char* text, int size);
