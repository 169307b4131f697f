// Finding the Keys: the walk over the readers that the key library lists.
#pragma once
#include "core/attempt_state.h"

enum class Discovery { Found, NotFound, Failed };

// More Keys than this at one desk are not offered for a choice; the first ones are.
constexpr int kMostKeyChoices = 16;

// A reader that holds a usable Key, open until the attempt ends or another one is chosen.
struct OpenKey {
    char name[kReaderNameSize];
    int reader;
    int status; // from InitCard
};

// The names of the readers listed, joined by ", ", for a message; a longer list is cut.
constexpr int kListedNamesSize = 300;

struct FoundKeys {
    OpenKey keys[kMostKeyChoices];
    int count;
    // Why none may have been found, so that the message can say what to do.
    int readersListed;
    bool requestedListed;  // the reader named on the command line was among them
    bool readerBusy;       // a reader is unavailable or used by another program
    char listedNames[kListedNamesSize];
};

// Opens every reader that holds a usable Key; only the requested one when a reader is named
// (on the command line, or chosen earlier in this attempt). Readers without one are closed
// again at once. Each key-library call is guarded on its own: after a fault the walk ends as
// Failed and nothing more is called, not even to close.
Discovery FindUsableKeys(FoundKeys& found);

// The names of the usable readers (type 30) listed now, at most `most`; -1 after a fault.
int ListUsableReaders(char (*names)[kReaderNameSize], int most);

// Whether reader `name` is listed and holds a usable Key now; the reader is closed again.
// False after a fault.
bool KeyPresentIn(const char* name, bool* present);
