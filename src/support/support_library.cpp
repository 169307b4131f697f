#include "support/support_library.h"

#include "common/library_binding.h"
#include "core/app_context.h"

#include <iterator>
#include <type_traits>

SupportLibrary g_supportLib;
GuardedLibrary g_supportLibGuard;

const char* const kComponentFiles[6] = {kKeyLibraryFile, kLanguageLibraryFile,
                                        kSupportLibraryFile, kExecutableFile, nullptr, nullptr};

namespace {

DEFINE_ENTRY_POINT_LOOKUP(LookUpEntryPoints, SupportLibrary, SUPPORT_LIBRARY_ENTRY_POINTS)

} // namespace

bool BindSupportLibrary(HMODULE* library)
{
    return LoadAndBind(kSupportLibraryFile, library, g_supportLib, LookUpEntryPoints, g_supportLibGuard);
}

namespace {

// Calls `function` with `count` 32-bit arguments and gives its result, whether the callee
// removes its arguments (WINAPI) or leaves them to the caller (cdecl): the stack pointer is
// kept in ESI, which both conventions preserve, and put back after the call.
int CallWithEitherConvention(const void* function, const DWORD* arguments, int count)
{
    int result;
    asm volatile("movl %%esp, %%esi\n\t"
                 "1:\n\t"
                 "pushl -4(%%edi,%%ecx,4)\n\t"
                 "loop 1b\n\t"
                 "call *%%ebx\n\t"
                 "movl %%esi, %%esp"
                 : "=a"(result), "+c"(count)
                 : "b"(function), "D"(arguments)
                 : "esi", "edx", "memory", "cc");
    return result;
}

template <typename T>
DWORD AsArgument(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(value));
    else
        return static_cast<DWORD>(value);
}

} // namespace

// The maker's library does not fix the About box's calling convention, and plain C
// exports are often cdecl; either must leave the stack as it was.
int ShowAbout(HINSTANCE executable, HMODULE languageModule, HWND owner, int iconId,
              const char* const* componentFiles, const char* title, int reserved1,
              const char* webHost, const char* supportEmail, int bitmapId, int reserved2,
              int reserved3, const char* company, int reserved4)
{
    const DWORD arguments[] = {AsArgument(executable),   AsArgument(languageModule),
                               AsArgument(owner),        AsArgument(iconId),
                               AsArgument(componentFiles), AsArgument(title),
                               AsArgument(reserved1),    AsArgument(webHost),
                               AsArgument(supportEmail), AsArgument(bitmapId),
                               AsArgument(reserved2),    AsArgument(reserved3),
                               AsArgument(company),      AsArgument(reserved4)};
    return CallWithEitherConvention(reinterpret_cast<const void*>(g_supportLib.AboutDialog),
                                    arguments, static_cast<int>(std::size(arguments)));
}
