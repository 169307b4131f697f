// Entry points for test libraries that only need to exist, plus the recording About box.
// Each variant's .def file picks which of them a library exports.
#include "recorded_about.h"

#include <windows.h>

#include <cstring>

#define STUB(name) \
    extern "C" int WINAPI name() { return 0; }

// Key library names
STUB(EnumReaders) STUB(InitReader) STUB(CloseReader) STUB(InitCard) STUB(CloseCard)
STUB(VerifyPIN) STUB(ChangePIN) STUB(UnblockPIN) STUB(ReadData) STUB(WriteData)
STUB(DeleteData) STUB(SetDataSize) STUB(GetRandom) STUB(GetReaderName) STUB(GetReaderType)
STUB(IsDataExist) STUB(GetCardID) STUB(GetCardType) STUB(EnumApplications)
STUB(GetApplicationInfo) STUB(ReadLabel) STUB(WriteLabel) STUB(ReadDataApp) STUB(WriteDataApp)
STUB(SetDataSizeApp) STUB(ReadBIR) STUB(WriteBIR) STUB(SetBIRSize) STUB(DeleteBIR)
STUB(AnyReadersChanges) STUB(ExternalAuth) STUB(ChangeIssuerKey) STUB(FormatCard)
STUB(UnformatCard)

// Support library names besides AboutDialog
STUB(DeleteConfigKey) STUB(ReadConfigKey) STUB(WriteConfigKey) STUB(CheckForUpdates)
STUB(Associate) STUB(SetRegistryKey) STUB(UnAssociate)

static RecordedAboutCall g_about;

static void CopyText(char* target, size_t size, const char* text)
{
    std::strncpy(target, text ? text : "(null)", size - 1);
}

// The maker's library does not fix the About box's convention: one variant uses cdecl.
#ifdef ABOUT_DIALOG_CDECL
#define ABOUT_DIALOG_CONVENTION __cdecl
#else
#define ABOUT_DIALOG_CONVENTION WINAPI
#endif

extern "C" int ABOUT_DIALOG_CONVENTION AboutDialog(HINSTANCE executable, HMODULE languageModule, HWND owner,
                                  int iconId, const char* const* componentFiles, const char* title,
                                  int reserved1, const char* webHost, const char* supportEmail,
                                  int bitmapId, int reserved2, int reserved3, const char* company,
                                  int reserved4)
{
    ++g_about.calls;
    g_about.executable = executable;
    g_about.languageModule = languageModule;
    g_about.owner = owner;
    g_about.iconId = iconId;
    for (int i = 0; i < 6; ++i)
        g_about.componentFiles[i] = componentFiles[i];
    g_about.title = title;
    g_about.reserved1 = reserved1;
    CopyText(g_about.webHost, sizeof g_about.webHost, webHost);
    CopyText(g_about.supportEmail, sizeof g_about.supportEmail, supportEmail);
    g_about.bitmapId = bitmapId;
    g_about.reserved2 = reserved2;
    g_about.reserved3 = reserved3;
    CopyText(g_about.company, sizeof g_about.company, company);
    g_about.reserved4 = reserved4;
    return 7;
}

extern "C" const RecordedAboutCall* WINAPI LastAboutCall() { return &g_about; }
