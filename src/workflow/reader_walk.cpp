#include "workflow/reader_walk.h"

#include "keylib/key_library.h"
#include "workflow/workflow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A library that never ends its list, or lists the same readers in circles, must not keep
// the window frozen: the walk gives up after this many readers or at the first repeat.
constexpr int kMostReaders = 256;

// The reader names seen in this walk, to notice a library that lists in circles.
class SeenReaders {
public:
    SeenReaders() = default;
    SeenReaders(const SeenReaders&) = delete;
    SeenReaders& operator=(const SeenReaders&) = delete;
    ~SeenReaders()
    {
        for (int i = 0; i < count_; ++i)
            std::free(names_[i]);
    }

    // False when `name` came before, or cannot be remembered: the list ends there.
    bool addNew(const char* name)
    {
        for (int i = 0; i < count_; ++i)
            if (std::strcmp(names_[i], name) == 0)
                return false;
        char* copy = count_ < kMostReaders ? _strdup(name) : nullptr;
        if (copy == nullptr)
            return false;
        names_[count_++] = copy;
        return true;
    }

private:
    char* names_[kMostReaders] = {};
    int count_ = 0;
};

// A longer reader name is no reader that this program could name.
enum class Listed { Name, End, TooLong };

// The name of reader `index`, copied inside the guarded call: the library's pointer may be
// bad, and reading it is then the library's fault, not the program's.
bool ListReader(int index, char (&name)[kReaderNameSize], Listed* listed)
{
    return g_keyLibGuard.call([&] {
        const char* listedName = g_keyLib.EnumReaders(index);
        *listed = Listed::End;
        if (listedName == nullptr)
            return;
        const size_t length = strnlen(listedName, kReaderNameSize);
        *listed = length < kReaderNameSize ? Listed::Name : Listed::TooLong;
        if (*listed == Listed::Name)
            std::memcpy(name, listedName, length + 1);
    });
}

// What a visitor says after each listed reader.
enum class Visit { Next, Stop, Failed };

// The walk itself: every reader that the library lists, once, in order, with its type. False
// after a fault, in the library or reported by the visitor.
template <typename Visitor>
bool WalkReaders(Visitor&& visit)
{
    SeenReaders seen;
    for (int index = 0; index < kMostReaders; ++index) {
        char name[kReaderNameSize];
        Listed listed = Listed::End;
        if (!ListReader(index, name, &listed))
            return false;
        if (listed == Listed::TooLong)
            continue;
        if (listed == Listed::End || !seen.addNew(name))
            return true;
        int readerType = 0;
        if (!g_keyLibGuard.call(&readerType, g_keyLib.GetReaderType, name))
            return false;
        const Visit next = visit(name, readerType);
        if (next != Visit::Next)
            return next == Visit::Stop;
    }
    return true;
}

// Adds `name` to a list of readers for a message, as far as it fits.
void NoteListed(char (&listedNames)[kListedNamesSize], int* listedCount, const char* name)
{
    const size_t used = std::strlen(listedNames);
    std::snprintf(listedNames + used, sizeof listedNames - used, "%s%s", (*listedCount)++ == 0 ? "" : ", ", name);
}

// Opens the reader and reads the Key's status. NotFound when the reader does not open, or
// holds no usable Key (it is then closed again at once); `*error` is InitReader's last error.
Discovery OpenKeyIn(const char* name, OpenKey& key, DWORD* error)
{
    key.reader = kNoHandle;
    *error = 0;
    if (!g_keyLibGuard.call([&] {
            key.reader = g_keyLib.InitReader(name);
            *error = GetLastError();
        }))
        return Discovery::Failed;
    if (key.reader == kNoHandle)
        return Discovery::NotFound;
    if (!g_keyLibGuard.call(&key.status, g_keyLib.InitCard, key.reader, 0))
        return Discovery::Failed;
    if (key.status == kNoHandle) {
        CloseReaderHandle(key.reader);
        return Discovery::NotFound;
    }
    std::strcpy(key.name, name);
    return Discovery::Found;
}

bool IsBusyError(DWORD error) { return error == kScardReaderUnavailable || error == kScardSharingViolation; }

} // namespace

Discovery FindUsableKeys(const char* requested, FoundKeys& found)
{
    found = {};
    const bool ok = WalkReaders([&](const char* name, int readerType) {
        NoteListed(found.listedNames, &found.readersListed, name);
        const bool isRequested = requested == nullptr || std::strcmp(requested, name) == 0;
        found.requestedListed = found.requestedListed || (requested != nullptr && isRequested);
        if (readerType != kUsableReaderType || !isRequested)
            return Visit::Next;
        DWORD error = 0;
        const Discovery discovery = OpenKeyIn(name, found.keys[found.count], &error);
        if (discovery == Discovery::Failed)
            return Visit::Failed;
        found.readerBusy = found.readerBusy || IsBusyError(error);
        if (discovery == Discovery::Found && (++found.count == kMostKeyChoices || requested != nullptr))
            return Visit::Stop;
        return Visit::Next;
    });
    if (!ok)
        return Discovery::Failed;
    return found.count > 0 ? Discovery::Found : Discovery::NotFound;
}

int ListUsableReaders(char (*names)[kReaderNameSize], int most, char (&listedNames)[kListedNamesSize])
{
    int count = 0;
    int listed = 0;
    listedNames[0] = '\0';
    const bool ok = WalkReaders([&](const char* name, int readerType) {
        if (readerType != kUsableReaderType)
            return Visit::Next;
        NoteListed(listedNames, &listed, name);
        if (count < most)
            std::strcpy(names[count++], name);
        return Visit::Next;
    });
    return ok ? count : -1;
}

KeyPresence ProbeReader(const char* name)
{
    // A USB token is its own reader: it is gone from the list while it is unplugged.
    bool listed = false;
    if (!WalkReaders([&](const char* listedName, int) {
            listed = std::strcmp(listedName, name) == 0;
            return listed ? Visit::Stop : Visit::Next;
        }))
        return KeyPresence::Failed;
    if (!listed)
        return KeyPresence::Absent;
    OpenKey key;
    DWORD error = 0;
    switch (OpenKeyIn(name, key, &error)) {
    case Discovery::Found:
        CloseReaderHandle(key.reader);
        return g_keyLibGuard.faulted() ? KeyPresence::Failed : KeyPresence::Present;
    case Discovery::NotFound:
        return key.reader == kNoHandle ? KeyPresence::Unknown : KeyPresence::Absent;
    case Discovery::Failed:
        break;
    }
    return KeyPresence::Failed;
}
