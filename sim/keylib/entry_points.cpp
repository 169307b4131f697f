// The 34 entry points of the key library over the simulated Key set, and the reader
// handles that the program opens and closes through them.
#include "call_log.h"
#include "call_times.h"
#include "key_ops.h"
#include "key_set.h"

#include "core/key_contract.h"

#include <map>
#include <string>
#include <type_traits>

namespace {

struct ReaderHandle {
    std::string reader;
    bool open = true;
    bool keyOpened = false; // InitCard found a Key
    bool pulled = false;    // the Key left the reader during a call on this handle
};

HMODULE g_module;
CRITICAL_SECTION g_lock;
std::string g_keySetPath;
bool g_loaded = false;
bool g_unsaved = false; // the file lags behind the Key set in memory
KeySet g_keySet;
std::map<int, ReaderHandle> g_handles; // closed handles stay, to recognise a double close
int g_nextHandle = 1;
volatile LONG g_openHandles = 0; // also read at unload, without the lock
std::string g_enumeratedName;

// The program never overlaps its calls, but set-up runs on the user-interface thread and
// the operations on a worker; one lock keeps every call whole, delays included.
class Lock {
public:
    Lock() { EnterCriticalSection(&g_lock); }
    ~Lock() { LeaveCriticalSection(&g_lock); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

bool FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string KeySetPath()
{
    char path[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableA("CARDWYN_SIM", path, sizeof path);
    if (length > 0 && length < sizeof path)
        return path;
    const DWORD moduleLength = GetModuleFileNameA(g_module, path, MAX_PATH);
    std::string beside(path, moduleLength);
    return beside.substr(0, beside.find_last_of("\\/") + 1) + "cardwyn-sim.ini";
}

void ReadKeySetFile()
{
    std::vector<std::string> warnings;
    g_keySet = LoadKeySet(g_keySetPath, warnings);
    LogLine("INFO Key set " + Quoted(g_keySetPath.c_str()) + " read: " + std::to_string(g_keySet.readers.size()) +
            " readers, " + std::to_string(g_keySet.keys.size()) + " Keys");
    for (const std::string& warning : warnings)
        LogLine("WARN " + warning);
}

void EnsureLoaded()
{
    if (g_loaded)
        return;
    g_loaded = true;
    g_keySetPath = KeySetPath();
    if (FileExists(g_keySetPath)) {
        ReadKeySetFile();
    } else {
        g_keySet = DefaultKeySet();
        LogLine("INFO no Key set at " + Quoted(g_keySetPath.c_str()) +
                ": built-in default set, written there on the first change");
    }
}

// A new walk over the readers sees Keys plugged in or pulled since the last one, as the
// file now says; never while a reader is open or while the file lags behind memory.
void RefreshForNewWalk()
{
    if (!g_loaded)
        EnsureLoaded();
    else if (g_openHandles == 0 && !g_unsaved && FileExists(g_keySetPath))
        ReadKeySetFile();
}

void Save()
{
    const DWORD error = SaveKeySet(g_keySet, g_keySetPath);
    g_unsaved = error != 0;
    if (error)
        LogLine("WARN Key set not saved to " + Quoted(g_keySetPath.c_str()) + " (error " + std::to_string(error) +
                "); kept in memory");
}

Reader* FindReader(const char* name)
{
    if (!name)
        return nullptr;
    for (Reader& reader : g_keySet.readers)
        if (reader.name == name)
            return &reader;
    return nullptr;
}

// The handle's record while it is open; a closed or unknown handle is logged as an error.
ReaderHandle* OpenHandle(int handle, const char* call)
{
    const auto found = g_handles.find(handle);
    if (found == g_handles.end()) {
        LogLine("ERROR unknown handle " + std::to_string(handle) + " in " + call);
        return nullptr;
    }
    if (!found->second.open) {
        LogLine("ERROR closed handle " + std::to_string(handle) + " used in " + call);
        return nullptr;
    }
    return &found->second;
}

Key* KeyBehind(const ReaderHandle& handle)
{
    Reader* reader = FindReader(handle.reader.c_str());
    return reader ? g_keySet.KeyIn(*reader) : nullptr;
}

// The Key that InitCard opened on this handle, or the reason why there is none.
DWORD OpenedKey(int handle, const char* call, Key** key)
{
    ReaderHandle* open = OpenHandle(handle, call);
    if (!open)
        return kScardInvalidHandle;
    if (open->pulled)
        return kScardRemovedCard;
    *key = KeyBehind(*open);
    if (!*key)
        return kScardNoSmartcard;
    return open->keyOpened ? 0 : kScardNotReady;
}

std::string Outcome(BOOL ok, DWORD error)
{
    return ok ? "1" : "0 err=" + Hex32(error);
}

std::string Status(int result, DWORD error)
{
    return result == -1 && error ? "-1 err=" + Hex32(error) : std::to_string(result);
}

bool IsTransportKey(int handle)
{
    const auto found = g_handles.find(handle);
    if (found == g_handles.end())
        return false;
    const Key* key = KeyBehind(found->second);
    return key && key->credentialKind == CredentialKind::TransportKey;
}

void ApplyResult(int handle, const KeyResult& result)
{
    if (result.pulled)
        g_handles[handle].pulled = true;
    if (result.changed)
        Save();
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_lock);
        OpenCallLog();
        OpenCallTimes();
    } else if (reason == DLL_PROCESS_DETACH) {
        // At process exit the other threads are gone, maybe inside a call: take no lock.
        if (g_openHandles > 0) {
            std::string open;
            for (const auto& [handle, state] : g_handles)
                if (state.open)
                    open += (open.empty() ? "" : " ") + std::to_string(handle);
            LogLine("LEAK open handles: " + std::to_string(g_openHandles) + " (" + open + ")");
        }
        WriteCallTimes();
        if (!reserved)
            DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

const char* WINAPI EnumReaders(int index)
{
    TimedCall timed("EnumReaders");
    Lock lock;
    if (index == 0)
        RefreshForNewWalk();
    else
        EnsureLoaded();
    const char* name = nullptr;
    if (index >= 0 && static_cast<size_t>(index) < g_keySet.readers.size()) {
        // The pointer stays valid until the next call, as the contract promises.
        g_enumeratedName = g_keySet.readers[index].name;
        name = g_enumeratedName.c_str();
    }
    LogLine("EnumReaders(" + std::to_string(index) + ") -> " + Quoted(name));
    return name;
}

int WINAPI GetReaderType(const char* name)
{
    TimedCall timed("GetReaderType");
    Lock lock;
    EnsureLoaded();
    const Reader* reader = FindReader(name);
    const int type = reader ? reader->type : 0;
    LogLine("GetReaderType(" + Quoted(name) + ") -> " + std::to_string(type));
    return type;
}

int WINAPI InitReader(const char* name)
{
    TimedCall timed("InitReader");
    DWORD error = 0;
    int handle = kNoHandle;
    {
        Lock lock;
        EnsureLoaded();
        const Reader* reader = FindReader(name);
        if (!reader) {
            error = kScardUnknownReader;
        } else if (!reader->available) {
            error = kScardReaderUnavailable;
        } else {
            handle = g_nextHandle++;
            g_handles[handle].reader = reader->name;
            InterlockedIncrement(&g_openHandles);
        }
        LogLine("InitReader(" + Quoted(name) + ") -> " + Status(handle, error));
    }
    if (error)
        SetLastError(error);
    return handle;
}

int WINAPI InitCard(int reader, int alwaysZero)
{
    TimedCall timed("InitCard");
    int status = kNoHandle;
    DWORD delayMs = 0;
    {
        Lock lock;
        if (ReaderHandle* handle = OpenHandle(reader, "InitCard"); handle && !handle->pulled) {
            if (const Key* key = KeyBehind(*handle)) {
                handle->keyOpened = true;
                status = KeyStatus(*key);
                delayMs = key->initCardMs;
            }
        }
        LogLine("InitCard(" + std::to_string(reader) + ", " + std::to_string(alwaysZero) + ") -> " +
                std::to_string(status));
    }
    // Logged first, so that a test can tell when the slow answer has begun.
    Sleep(delayMs);
    return status;
}

int WINAPI GetCardType(int reader, int* cardType)
{
    TimedCall timed("GetCardType");
    DWORD error = 0;
    std::string written = "unwritten";
    {
        Lock lock;
        Key* key = nullptr;
        error = OpenedKey(reader, "GetCardType", &key);
        if (!error && !cardType)
            error = kScardInvalidParameter;
        if (!error && key->hasCardType) {
            *cardType = key->cardType;
            written = std::to_string(key->cardType);
        }
        LogLine("GetCardType(" + std::to_string(reader) + ") -> " + Status(error ? -1 : 0, error) +
                " cardType=" + written);
    }
    SetLastError(error);
    return error ? -1 : 0;
}

int WINAPI CloseReader(int reader)
{
    TimedCall timed("CloseReader");
    DWORD error = 0;
    {
        Lock lock;
        const auto found = g_handles.find(reader);
        if (found == g_handles.end()) {
            LogLine("ERROR unknown handle " + std::to_string(reader) + " in CloseReader");
            error = kScardInvalidHandle;
        } else if (!found->second.open) {
            LogLine("ERROR double close handle " + std::to_string(reader));
            error = kScardInvalidHandle;
        } else {
            found->second.open = false;
            InterlockedDecrement(&g_openHandles);
        }
        LogLine("CloseReader(" + std::to_string(reader) + ") -> " + Status(error ? -1 : 0, error));
    }
    SetLastError(error);
    return error ? -1 : 0;
}

BOOL WINAPI UnformatCard(int reader, unsigned char* credential, int flags)
{
    TimedCall timed("UnformatCard");
    DWORD error = 0;
    {
        Lock lock;
        Key* key = nullptr;
        error = OpenedKey(reader, "UnformatCard", &key);
        if (!error) {
            const KeyResult result = UnformatKey(*key, credential, flags);
            ApplyResult(reader, result);
            error = result.error;
        }
        LogLine("UnformatCard(" + std::to_string(reader) + ", " +
                LoggedCredential(credential, IsTransportKey(reader)) + ", " + std::to_string(flags) + ") -> " +
                Outcome(!error, error));
    }
    SetLastError(error);
    return !error;
}

BOOL WINAPI FormatCard(int reader, unsigned char* credential, const char* text, const DWORD* spaceRequest,
                       int flags)
{
    TimedCall timed("FormatCard");
    DWORD error = 0;
    {
        Lock lock;
        Key* key = nullptr;
        error = OpenedKey(reader, "FormatCard", &key);
        if (!error) {
            const KeyResult result = FormatKey(*key, credential, spaceRequest, flags);
            ApplyResult(reader, result);
            error = result.error;
        }
        const std::string space = spaceRequest ? std::to_string(*spaceRequest) : "NULL";
        LogLine("FormatCard(" + std::to_string(reader) + ", " + LoggedCredential(credential, IsTransportKey(reader)) +
                ", " + Quoted(text) + ", space=" + space + ", " + std::to_string(flags) + ") -> " +
                Outcome(!error, error));
    }
    SetLastError(error);
    return !error;
}

// Entry points that the program binds but never calls. They take no arguments: WINAPI lets
// the callee clean the stack, so a caller passing arguments would be unbalanced, which is
// safe only because nothing ever calls them with any.
#define UNSUPPORTED_ENTRY_POINT(name)                                                                         \
    int WINAPI name()                                                                                          \
    {                                                                                                          \
        LogLine(#name "() -> 0 err=" + Hex32(kScardUnsupportedFeature));                                      \
        SetLastError(kScardUnsupportedFeature);                                                                \
        return 0;                                                                                              \
    }

UNSUPPORTED_ENTRY_POINT(CloseCard)
UNSUPPORTED_ENTRY_POINT(VerifyPIN)
UNSUPPORTED_ENTRY_POINT(ChangePIN)
UNSUPPORTED_ENTRY_POINT(UnblockPIN)
UNSUPPORTED_ENTRY_POINT(ReadData)
UNSUPPORTED_ENTRY_POINT(WriteData)
UNSUPPORTED_ENTRY_POINT(DeleteData)
UNSUPPORTED_ENTRY_POINT(SetDataSize)
UNSUPPORTED_ENTRY_POINT(GetRandom)
UNSUPPORTED_ENTRY_POINT(GetReaderName)
UNSUPPORTED_ENTRY_POINT(IsDataExist)
UNSUPPORTED_ENTRY_POINT(GetCardID)
UNSUPPORTED_ENTRY_POINT(EnumApplications)
UNSUPPORTED_ENTRY_POINT(GetApplicationInfo)
UNSUPPORTED_ENTRY_POINT(ReadLabel)
UNSUPPORTED_ENTRY_POINT(WriteLabel)
UNSUPPORTED_ENTRY_POINT(ReadDataApp)
UNSUPPORTED_ENTRY_POINT(WriteDataApp)
UNSUPPORTED_ENTRY_POINT(SetDataSizeApp)
UNSUPPORTED_ENTRY_POINT(ReadBIR)
UNSUPPORTED_ENTRY_POINT(WriteBIR)
UNSUPPORTED_ENTRY_POINT(SetBIRSize)
UNSUPPORTED_ENTRY_POINT(DeleteBIR)
UNSUPPORTED_ENTRY_POINT(AnyReadersChanges)
UNSUPPORTED_ENTRY_POINT(ExternalAuth)
UNSUPPORTED_ENTRY_POINT(ChangeIssuerKey)

} // extern "C"

// The exports keep the types that the program binds them to.
static_assert(std::is_same_v<decltype(&EnumReaders), EnumReadersFn>);
static_assert(std::is_same_v<decltype(&GetReaderType), GetReaderTypeFn>);
static_assert(std::is_same_v<decltype(&InitReader), InitReaderFn>);
static_assert(std::is_same_v<decltype(&InitCard), InitCardFn>);
static_assert(std::is_same_v<decltype(&GetCardType), GetCardTypeFn>);
static_assert(std::is_same_v<decltype(&CloseReader), CloseReaderFn>);
static_assert(std::is_same_v<decltype(&UnformatCard), UnformatCardFn>);
static_assert(std::is_same_v<decltype(&FormatCard), FormatCardFn>);
static_assert(std::is_same_v<decltype(&VerifyPIN), UnusedKeyFn>);
