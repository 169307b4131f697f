#include "support/fake_key_library.h"

#include "keylib/key_library.h"
#include "res/resource.h"

#include <cstring>

namespace {

FakeKeyLibrary g_fake;

// The worker and the user-interface thread never call at the same time, but they both call.
CRITICAL_SECTION g_lock;

struct Lock {
    Lock() { EnterCriticalSection(&g_lock); }
    ~Lock() { LeaveCriticalSection(&g_lock); }
};

FakeCall& Record(const char* name, int reader = 0, const char* text = nullptr)
{
    FakeCall call;
    call.name = name;
    call.thread = GetCurrentThreadId();
    call.reader = reader;
    if (text)
        call.text = text;
    g_fake.calls.push_back(call);
    return g_fake.calls.back();
}

const FakeReader* ReaderByName(const char* name)
{
    for (const FakeReader& r : g_fake.readers)
        if (r.name == name)
            return &r;
    return nullptr;
}

const FakeReader* ReaderByHandle(int handle)
{
    for (const FakeReader& r : g_fake.readers)
        if (r.initReader == handle)
            return &r;
    return nullptr;
}

FakeResult NextResult(std::vector<FakeResult>& results)
{
    if (results.empty())
        return Ok();
    FakeResult next = results.front();
    results.erase(results.begin());
    return next;
}

BOOL Answer(FakeResult result)
{
    if (result.error != 0)
        SetLastError(result.error);
    return result.value;
}

// Outside the lock, which a fault would leave taken.
void FaultIfScripted(const char* name)
{
    {
        Lock lock;
        if (g_fake.faultIn != name)
            return;
        g_fake.faultIn.clear();
        Record(name);
    }
    *static_cast<volatile int*>(nullptr) = 0;
}

// The title without a message to the window's thread, which may be waiting for this call.
void NoteTitle()
{
    char title[128] = {};
    wchar_t wide[128] = {};
    InternalGetWindowText(g_fake.busyWindow, wide, 128);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, title, sizeof title, nullptr, nullptr);
    g_fake.titlesDuringWork.push_back(title);
}

const char* WINAPI FakeEnumReaders(int index)
{
    FaultIfScripted("EnumReaders");
    Lock lock;
    Record("EnumReaders", index);
    static std::string listed;
    if (g_fake.listing == Listing::SameNameForEveryIndex)
        return "Reader";
    if (g_fake.listing == Listing::NewNameForEveryIndex) {
        listed = "Reader " + std::to_string(index);
        return listed.c_str();
    }
    if (index < 0 || index >= static_cast<int>(g_fake.readers.size()))
        return nullptr;
    return g_fake.readers[index].name.c_str();
}

int WINAPI FakeGetReaderType(const char* name)
{
    FaultIfScripted("GetReaderType");
    Lock lock;
    Record("GetReaderType", 0, name);
    const FakeReader* reader = ReaderByName(name);
    return reader ? reader->type : 0;
}

int WINAPI FakeInitReader(const char* name)
{
    FaultIfScripted("InitReader");
    Lock lock;
    const FakeReader* reader = ReaderByName(name);
    const int handle = reader ? reader->initReader : -1;
    Record("InitReader", handle, name);
    if (handle != -1)
        ++g_fake.openHandles;
    return handle;
}

int WINAPI FakeInitCard(int handle, int reserved)
{
    FaultIfScripted("InitCard");
    Lock lock;
    Record("InitCard", handle).flags = reserved;
    const FakeReader* reader = ReaderByHandle(handle);
    return reader ? reader->initCard : -1;
}

int WINAPI FakeGetCardType(int handle, int* cardType)
{
    FaultIfScripted("GetCardType");
    Lock lock;
    Record("GetCardType", handle);
    const FakeReader* reader = ReaderByHandle(handle);
    if (reader && reader->cardType)
        *cardType = *reader->cardType;
    return 1;
}

int WINAPI FakeCloseReader(int handle)
{
    FaultIfScripted("CloseReader");
    Lock lock;
    Record("CloseReader", handle);
    --g_fake.openHandles;
    if (GetCurrentThreadId() != g_fake.uiThread)
        ++g_fake.workerCloses;
    return 1;
}

BOOL WINAPI FakeUnformatCard(int handle, unsigned char* credential, int flags)
{
    FaultIfScripted("UnformatCard");
    Lock lock;
    FakeCall& call = Record("UnformatCard", handle);
    call.credential.assign(credential, credential + 256);
    call.flags = flags;
    if (g_fake.busyWindow) {
        g_fake.formatButtonEnabledDuringUnformat.push_back(
            IsWindowEnabled(GetDlgItem(g_fake.busyWindow, IDC_MAIN_FORMAT)) != FALSE);
        NoteTitle();
    }
    return Answer(NextResult(g_fake.unformatResults));
}

BOOL WINAPI FakeFormatCard(int handle, unsigned char* credential, const char* text,
                           const DWORD* spaceRequest, int flags)
{
    FaultIfScripted("FormatCard");
    Lock lock;
    FakeCall& call = Record("FormatCard", handle, text);
    call.credential.assign(credential, credential + 256);
    call.flags = flags;
    call.hasSpaceRequest = spaceRequest != nullptr;
    call.spaceRequest = spaceRequest ? *spaceRequest : 0;
    if (g_fake.busyWindow)
        NoteTitle();
    return Answer(NextResult(g_fake.formatResults));
}

} // namespace

std::vector<std::string> FakeKeyLibrary::callNames() const
{
    std::vector<std::string> names;
    for (const FakeCall& call : calls)
        names.push_back(call.name);
    return names;
}

std::vector<FakeCall> FakeKeyLibrary::callsNamed(const std::string& name) const
{
    std::vector<FakeCall> found;
    for (const FakeCall& call : calls)
        if (call.name == name)
            found.push_back(call);
    return found;
}

int FakeKeyLibrary::closesOf(int reader) const
{
    int closes = 0;
    for (const FakeCall& call : calls)
        closes += call.name == "CloseReader" && call.reader == reader;
    return closes;
}

FakeKeyLibrary& InstallFakeKeyLibrary()
{
    static bool initialised = false;
    if (!initialised) {
        InitializeCriticalSection(&g_lock);
        initialised = true;
    }
    g_fake = FakeKeyLibrary{};
    g_fake.uiThread = GetCurrentThreadId();
    g_keyLib = KeyLibrary{};
    g_keyLib.EnumReaders = FakeEnumReaders;
    g_keyLib.GetReaderType = FakeGetReaderType;
    g_keyLib.InitReader = FakeInitReader;
    g_keyLib.InitCard = FakeInitCard;
    g_keyLib.GetCardType = FakeGetCardType;
    g_keyLib.CloseReader = FakeCloseReader;
    g_keyLib.UnformatCard = FakeUnformatCard;
    g_keyLib.FormatCard = FakeFormatCard;
    return g_fake;
}
