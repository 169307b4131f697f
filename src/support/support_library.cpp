#include "support/support_library.h"

#include "app/app_context.h"
#include "common/library_binding.h"
#include "common/proc_cast.h"

SupportLibrary g_supportLib;

const char* const kComponentFiles[6] = {kKeyLibraryFile, kLanguageLibraryFile,
                                        kSupportLibraryFile, kExecutableFile, nullptr, nullptr};

namespace {

bool BindEntryPoints(HMODULE library)
{
#define BIND_ENTRY_POINT(name, type)                                     \
    if ((g_supportLib.name = ProcAs<type>(library, #name)) == nullptr) \
        return false;
    SUPPORT_LIBRARY_ENTRY_POINTS(BIND_ENTRY_POINT)
#undef BIND_ENTRY_POINT
    return true;
}

void ClearEntryPoints() { g_supportLib = SupportLibrary{}; }

} // namespace

bool BindSupportLibrary(HMODULE* library)
{
    return LoadAndBind(kSupportLibraryFile, library, BindEntryPoints, ClearEntryPoints);
}

int ShowAbout(HINSTANCE executable, HMODULE languageModule, HWND owner, int iconId,
              const char* const* componentFiles, const char* title, int reserved1,
              const char* webHost, const char* supportEmail, int bitmapId, int reserved2,
              int reserved3, const char* company, int reserved4)
{
    return g_supportLib.AboutDialog(executable, languageModule, owner, iconId, componentFiles,
                                    title, reserved1, webHost, supportEmail, bitmapId, reserved2,
                                    reserved3, company, reserved4);
}
