// A scripted key library: fills the program's entry-point table with functions that play
// readers and Keys from a script and record every call, its thread and its arguments.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct FakeReader {
    std::string name;
    int type = 30;
    int initReader = 0;                  // the handle, or -1
    int initCard = 0;                    // Key status
    std::optional<int> cardType = 0;     // nullopt: GetCardType writes nothing
};

// The result of one UnformatCard or FormatCard call, and the last error it leaves.
struct FakeResult {
    BOOL value = TRUE;
    DWORD error = 0;
};
inline FakeResult Ok() { return {TRUE, 0}; }
inline FakeResult Fail(DWORD error) { return {FALSE, error}; }
inline FakeResult Returns(BOOL value, DWORD error) { return {value, error}; }

struct FakeCall {
    std::string name;
    DWORD thread = 0;
    int reader = 0;
    std::string text;               // reader name for the reader calls
    std::vector<unsigned char> credential; // the 256-byte buffer as passed
    int flags = -1;
    bool hasSpaceRequest = false;
    DWORD spaceRequest = 0;
};

// How EnumReaders lists: as scripted, or as a faulty library that never ends its list.
enum class Listing { AsScripted, SameNameForEveryIndex, NewNameForEveryIndex };

struct FakeKeyLibrary {
    std::vector<FakeReader> readers;
    Listing listing = Listing::AsScripted;
    // The next call of this entry point is recorded, then raises an access violation.
    std::string faultIn;
    std::vector<FakeResult> unformatResults; // one per call, in order; Ok() when used up
    std::vector<FakeResult> formatResults;
    std::vector<FakeCall> calls;
    int openHandles = 0;
    int workerCloses = 0;     // CloseReader calls made off the user-interface thread
    DWORD uiThread = 0;
    // When set: the main dialog, whose Format button and title are noted during the work.
    HWND busyWindow = nullptr;
    std::vector<bool> formatButtonEnabledDuringUnformat;
    std::vector<std::string> titlesDuringWork; // at each UnformatCard and FormatCard

    std::vector<std::string> callNames() const;
    std::vector<FakeCall> callsNamed(const std::string& name) const;
    int closesOf(int reader) const;
};

// Installs the fake into the program's table; the returned object is the script.
FakeKeyLibrary& InstallFakeKeyLibrary();
