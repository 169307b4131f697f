#include "core/policy.h"

#include "res/resource.h"

#include <cstring>

namespace {

struct Policy {
    bool set[kPolicyValueCount];
    DWORD number[kPolicyValueCount];
    char folder[kPolicyFolderSize];
};

Policy g_policy;

// A text as stored may lack its terminator; one that does not fit is too long anyway.
bool ReadFolder(HKEY key, const PolicyEntry& entry, char* folder)
{
    char stored[kPolicyFolderSize + 1];
    DWORD type = REG_NONE;
    DWORD size = kPolicyFolderSize;
    if (RegQueryValueExA(key, entry.name, nullptr, &type, reinterpret_cast<BYTE*>(stored), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    stored[size] = '\0';
    const DWORD expanded = ExpandEnvironmentStringsA(stored, folder, kPolicyFolderSize);
    const size_t length = expanded != 0 && expanded <= kPolicyFolderSize ? std::strlen(folder) : 0;
    return length >= entry.low && length <= entry.high;
}

bool ReadSwitch(HKEY key, const PolicyEntry& entry, DWORD* number)
{
    DWORD type = REG_NONE;
    DWORD size = sizeof *number;
    return RegQueryValueExA(key, entry.name, nullptr, &type, reinterpret_cast<BYTE*>(number), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof *number && *number >= entry.low && *number <= entry.high;
}

bool ReadValue(HKEY key, int value)
{
    const PolicyEntry& entry = kPolicyTable[value];
    return entry.kind == PolicyKind::Folder ? ReadFolder(key, entry, g_policy.folder)
                                            : ReadSwitch(key, entry, &g_policy.number[value]);
}

bool Allows(PolicyValue value) { return !g_policy.set[value] || g_policy.number[value] != 0; }

} // namespace

void ReadPolicy()
{
    std::memset(&g_policy, 0, sizeof g_policy);
    // Group Policy writes the system's own view of the registry, which a 32-bit program on a
    // 64-bit system only sees when it asks for it (a 32-bit system ignores the flag).
    HKEY keys[2] = {};
    const HKEY roots[2] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
    for (int i = 0; i < 2; ++i)
        if (RegOpenKeyExA(roots[i], kPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &keys[i]) != ERROR_SUCCESS)
            keys[i] = nullptr;
    // The machine's value wins; one that cannot be used counts as not set.
    for (int value = 0; value < kPolicyValueCount; ++value)
        for (HKEY key : keys)
            if (key != nullptr && !g_policy.set[value])
                g_policy.set[value] = ReadValue(key, value);
    for (HKEY key : keys)
        if (key != nullptr)
            RegCloseKey(key);
}

bool PolicySet(PolicyValue value) { return g_policy.set[value]; }

bool AnyPolicySet()
{
    for (int value = 0; value < kPolicyValueCount; ++value)
        if (g_policy.set[value] && value != kPolicyEventLog)
            return true;
    return false;
}

bool UnformatAllowed() { return Allows(kPolicyAllowUnformat); }

bool KeptCredentialsAllowed() { return Allows(kPolicyAllowKeptCredentials); }

bool EventLogAllowed() { return Allows(kPolicyEventLog); }

bool PolicyAllowsButton(int controlId) { return controlId != IDC_MAIN_UNFORMAT || UnformatAllowed(); }

const char* PolicyReceiptsFolder() { return g_policy.set[kPolicyReceiptsFolder] ? g_policy.folder : nullptr; }
