// Finding the Keys: the one walk over the readers that the key library lists, with a mode
// for what each caller looks for.
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
    bool requestedListed;  // the reader that the attempt is for was among them
    bool readerBusy;       // a reader is unavailable or used by another program
    char listedNames[kListedNamesSize];
};

// Opens every reader that holds a usable Key; only `requested` when it is given (the reader
// named on the command line, of a series, or chosen earlier in this attempt). Readers without
// one are closed again at once. Each key-library call is guarded on its own: after a fault the
// walk ends as Failed and nothing more is called, not even to close.
Discovery FindUsableKeys(const char* requested, FoundKeys& found);

// The usable readers (type 30) listed now: at most `most` names, with the whole list joined
// for a message. -1 after a fault.
int ListUsableReaders(char (*names)[kReaderNameSize], int most, char (&listedNames)[kListedNamesSize]);

// What a look into one reader tells: only the key library's answer that the reader holds no
// Key (or that it is gone from the list) is Absent. A reader that cannot be opened now, busy
// or unavailable, is Unknown: it may well still hold the Key.
enum class KeyPresence { Absent, Present, Unknown, Failed };
KeyPresence ProbeReader(const char* name);
