// A key library that misbehaves as HOSTILE_KEYLIB says ("<what>:<entry point>"), otherwise one
// reader with a formatted Key that needs no credential:
//   lock    the entry point faults holding the library's lock, which DllMain takes again at
//           every thread's end and at process exit, as a library's clean-up does;
//   exit    the entry point ends the calling thread;
//   fault   the entry point faults;
//   slowfault the entry point signals the event "keyprep-hostile-keylib-inside", waits 1.5 s
//           and faults;
//   slowhang the same, but it never returns;
//   wait    UnformatCard posts to a window that InitReader made on its thread, and waits
//           until that thread has handled it;
//   badname EnumReaders lists a name at the address 0x10.
#include <windows.h>

#include <cstring>

namespace {

HANDLE g_lock; // a semaphore: not even its holder may take it twice
char g_mode[64];
HWND g_window;
HANDLE g_handled;

bool Is(const char* what, const char* entryPoint)
{
    const size_t length = std::strlen(what);
    return std::strncmp(g_mode, what, length) == 0 && g_mode[length] == ':' &&
           std::strcmp(g_mode + length + 1, entryPoint) == 0;
}

void Misbehave(const char* entryPoint)
{
    if (Is("slowfault", entryPoint) || Is("slowhang", entryPoint)) {
        HANDLE inside = CreateEventA(nullptr, TRUE, FALSE, "keyprep-hostile-keylib-inside");
        SetEvent(inside);
        Sleep(Is("slowhang", entryPoint) ? INFINITE : 1500);
        *static_cast<volatile int*>(nullptr) = 0;
    }
    if (Is("lock", entryPoint))
        WaitForSingleObject(g_lock, INFINITE);
    if (Is("lock", entryPoint) || Is("fault", entryPoint))
        *static_cast<volatile int*>(nullptr) = 0;
    if (Is("exit", entryPoint))
        ExitThread(0);
}

LRESULT CALLBACK Answer(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        SetEvent(g_handled);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_lock = CreateSemaphoreA(nullptr, 1, 1, nullptr);
        GetEnvironmentVariableA("HOSTILE_KEYLIB", g_mode, sizeof g_mode);
    } else if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH) {
        WaitForSingleObject(g_lock, INFINITE);
        ReleaseSemaphore(g_lock, 1, nullptr);
    }
    return TRUE;
}

const char* WINAPI EnumReaders(int index)
{
    if (std::strcmp(g_mode, "badname:EnumReaders") == 0)
        return reinterpret_cast<const char*>(0x10);
    return index == 0 ? "Hostile Reader" : nullptr;
}

int WINAPI GetReaderType(const char*) { return 30; }

int WINAPI InitReader(const char*)
{
    Misbehave("InitReader");
    if (g_window == nullptr && Is("wait", "UnformatCard")) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Answer;
        windowClass.lpszClassName = "HostileKeyLibrary";
        RegisterClassA(&windowClass);
        g_window = CreateWindowA("HostileKeyLibrary", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        g_handled = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    return 1;
}

int WINAPI InitCard(int, int)
{
    Misbehave("InitCard");
    return 0;
}
int WINAPI GetCardType(int, int* cardType) { return *cardType = 0; }

int WINAPI CloseReader(int)
{
    Misbehave("CloseReader");
    return 0;
}

BOOL WINAPI UnformatCard(int, unsigned char*, int)
{
    Misbehave("UnformatCard");
    if (g_window != nullptr) {
        Sleep(500); // long enough for the session's end to begin
        PostMessageA(g_window, WM_APP, 0, 0);
        WaitForSingleObject(g_handled, 60000);
    }
    return TRUE;
}

BOOL WINAPI FormatCard(int, unsigned char*, const char*, const DWORD*, int) { return TRUE; }

#define UNUSED(name) \
    int WINAPI name() { return 0; }
UNUSED(CloseCard) UNUSED(VerifyPIN) UNUSED(ChangePIN) UNUSED(UnblockPIN) UNUSED(ReadData)
UNUSED(WriteData) UNUSED(DeleteData) UNUSED(SetDataSize) UNUSED(GetRandom) UNUSED(GetReaderName)
UNUSED(IsDataExist) UNUSED(GetCardID) UNUSED(EnumApplications) UNUSED(GetApplicationInfo)
UNUSED(ReadLabel) UNUSED(WriteLabel) UNUSED(ReadDataApp) UNUSED(WriteDataApp) UNUSED(SetDataSizeApp)
UNUSED(ReadBIR) UNUSED(WriteBIR) UNUSED(SetBIRSize) UNUSED(DeleteBIR) UNUSED(AnyReadersChanges)
UNUSED(ExternalAuth) UNUSED(ChangeIssuerKey)

} // extern "C"
