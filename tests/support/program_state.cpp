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

namespace {

const std::string g_originalPath = [] {
    char path[8192] = {};
    GetEnvironmentVariableA("PATH", path, sizeof path);
    return std::string(path);
}();

} // namespace

void UseTestLibraries(const std::string& variant)
{
    const std::string path = variant.empty() ? g_originalPath : JoinPath(TestDllDir(), variant) + ";" + g_originalPath;
    SetEnvironmentVariableA("PATH", path.c_str());
}
