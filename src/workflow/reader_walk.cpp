#include "workflow/reader_walk.h"

#include "core/app_context.h"
#include "keylib/key_library.h"
#include "workflow/workflow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A library that never ends its list, or lists the same readers in circles, must not keep
// the window frozen: the walk gives up after this many readers or at the first repeat.
constexpr int kMostReaders = 256;

// A reader named on the command line, or chosen among several earlier in this attempt.
bool ReaderIsNamed() { return g_app.argumentCount > 1 || g_attempt.chosenReader[0] != '\0'; }

bool IsRequestedReader(const char* name)
{
    if (g_attempt.chosenReader[0] != '\0')
        return std::strcmp(g_attempt.chosenReader, name) == 0;
    return g_app.argumentCount <= 1 || ArgumentIs(1, name);
}

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

    bool contains(const char* name) const
    {
        for (int i = 0; i < count_; ++i)
            if (std::strcmp(names_[i], name) == 0)
                return true;
        return false;
    }

    bool add(const char* name)
    {
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

// Opens the reader and reads the Key's status; NotFound when the reader holds no usable Key,
// which is then closed again at once.
Discovery OpenKeyIn(const char* name, OpenKey& key, bool* readerBusy)
{
    key.reader = kNoHandle;
    DWORD error = 0;
    if (!g_keyLibGuard.call([&] {
            key.reader = g_keyLib.InitReader(name);
            error = GetLastError();
        }))
        return Discovery::Failed;
    if (key.reader == kNoHandle) {
        *readerBusy = *readerBusy || error == kScardReaderUnavailable || error == kScardSharingViolation;
        return Discovery::NotFound;
    }
    if (!g_keyLibGuard.call(&key.status, g_keyLib.InitCard, key.reader, 0))
        return Discovery::Failed;
    if (key.status == kNoHandle) {
        CloseReaderHandle(key.reader);
        return Discovery::NotFound;
    }
    std::strcpy(key.name, name);
    return Discovery::Found;
}

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

// Adds `name` to the list of readers for a message, as far as it fits.
void NoteListed(FoundKeys& found, const char* name)
{
    char* end = found.listedNames + std::strlen(found.listedNames);
    const size_t room = found.listedNames + kListedNamesSize - end;
    std::snprintf(end, room, "%s%s", found.readersListed++ == 0 ? "" : ", ", name);
}

} // namespace

Discovery FindUsableKeys(FoundKeys& found)
{
    found = {};
    SeenReaders seen;
    for (int index = 0; index < kMostReaders && found.count < kMostKeyChoices; ++index) {
        char name[kReaderNameSize];
        Listed listed = Listed::End;
        if (!ListReader(index, name, &listed))
            return Discovery::Failed;
        if (listed == Listed::TooLong)
            continue;
        if (listed == Listed::End || seen.contains(name) || !seen.add(name))
            break;
        NoteListed(found, name);
        found.requestedListed = found.requestedListed || ArgumentIs(1, name);
        int readerType = 0;
        if (!g_keyLibGuard.call(&readerType, g_keyLib.GetReaderType, name))
            return Discovery::Failed;
        if (readerType != kUsableReaderType || !IsRequestedReader(name))
            continue;
        const Discovery discovery = OpenKeyIn(name, found.keys[found.count], &found.readerBusy);
        if (discovery == Discovery::Failed)
            return discovery;
        if (discovery == Discovery::Found && ++found.count == 1 && ReaderIsNamed())
            break;
    }
    return found.count > 0 ? Discovery::Found : Discovery::NotFound;
}


int ListUsableReaders(char (*names)[kReaderNameSize], int most)
{
    int count = 0;
    SeenReaders seen;
    for (int index = 0; index < kMostReaders && count < most; ++index) {
        Listed listed = Listed::End;
        if (!ListReader(index, names[count], &listed))
            return -1;
        if (listed == Listed::TooLong)
            continue;
        if (listed == Listed::End || seen.contains(names[count]) || !seen.add(names[count]))
            break;
        int readerType = 0;
        if (!g_keyLibGuard.call(&readerType, g_keyLib.GetReaderType, names[count]))
            return -1;
        if (readerType == kUsableReaderType)
            ++count;
    }
    return count;
}

bool KeyPresentIn(const char* name, bool* present)
{
    *present = false;
    // A USB token is its own reader: it is gone from the list while it is unplugged.
    bool listed = false;
    SeenReaders seen;
    for (int index = 0; index < kMostReaders && !listed; ++index) {
        char listedName[kReaderNameSize];
        Listed entry = Listed::End;
        if (!ListReader(index, listedName, &entry))
            return false;
        if (entry == Listed::End || (entry == Listed::Name && (seen.contains(listedName) || !seen.add(listedName))))
            break;
        listed = entry == Listed::Name && std::strcmp(listedName, name) == 0;
    }
    if (!listed)
        return true;
    OpenKey key;
    bool busy = false;
    const Discovery discovery = OpenKeyIn(name, key, &busy);
    if (discovery == Discovery::Found)
        CloseReaderHandle(key.reader);
    *present = discovery == Discovery::Found;
    return discovery != Discovery::Failed && !g_keyLibGuard.faulted();
}
