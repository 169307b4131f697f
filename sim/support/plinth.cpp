// Entry points of the support library stand-in: a real About box, and the configuration,
// update and file-association calls as inert stubs that report failure.
#include "about_dialog.h"

#include "support/support_library.h"

extern "C" {

int WINAPI AboutDialog(HINSTANCE executable, HMODULE languageModule, HWND owner, int iconId,
                       const char* const* componentFiles, const char* title, int reserved1,
                       const char* webHost, const char* supportEmail, int bitmapId,
                       int reserved2, int reserved3, const char* company, int reserved4);

// No-argument WINAPI stubs pop nothing off the stack, so a caller that passed arguments
// would be left with a skewed stack: safe only because the program binds but never calls them.
int WINAPI DeleteConfigKey() { return 0; }
int WINAPI ReadConfigKey() { return 0; }
int WINAPI WriteConfigKey() { return 0; }
int WINAPI CheckForUpdates() { return 0; }
int WINAPI Associate() { return 0; }
int WINAPI SetRegistryKey() { return 0; }
int WINAPI UnAssociate() { return 0; }

} // extern "C"

// The binding header's type is the contract: a different signature or calling convention
// fails to compile here instead of corrupting the caller's stack.
[[maybe_unused]] constexpr AboutDialogFn kAboutDialogMatchesBinding = &AboutDialog;

// The language module is not consulted: the stand-in's texts are its own, in English.
// The reserved numbers carry nothing that the stand-in needs.
int WINAPI AboutDialog(HINSTANCE executable, HMODULE, HWND owner, int iconId,
                       const char* const* componentFiles, const char* title, int,
                       const char* webHost, const char* supportEmail, int bitmapId, int, int,
                       const char* company, int)
{
    AboutRequest request;
    request.executable = executable;
    request.owner = owner;
    request.iconId = iconId;
    request.componentFiles = componentFiles;
    request.title = title;
    request.webHost = webHost;
    request.supportEmail = supportEmail;
    request.bitmapId = bitmapId;
    request.company = company;
    return RunAboutDialog(request);
}
