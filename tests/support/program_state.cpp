#include "support/program_state.h"

#include "core/app_context.h"
#include "core/attempt_state.h"
#include "keylib/key_library.h"
#include "support/support_library.h"
#include "support/test_paths.h"

void ResetProgramState()
{
    g_app = AppContext{};
    g_app.instance = GetModuleHandleA(nullptr);
    g_app.languageModule = GetModuleHandleA(nullptr);
    lstrcpyA(g_app.caption, "Key formatting utility");
    g_keyLib = KeyLibrary{};
    g_supportLib = SupportLibrary{};
    g_keyLibGuard.reset();
    g_supportLibGuard.reset();
    ResetAttemptState();
}

void UseTestLibraries(const std::string& variant)
{
    SetDllDirectoryA(variant.empty() ? nullptr : JoinPath(TestDllDir(), variant).c_str());
}
