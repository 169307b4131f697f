#include "core/policy.h"

#include "res/resource.h"

#include <cstring>

namespace {

// How long start-up waits to learn whether the folder is a file: a share may not answer.
constexpr DWORD kFolderLookupWait = 100;

struct Policy {
    bool set[kPolicyValueCount];
    DWORD number[kPolicyValueCount];
    char folder[kPolicyFolderSize];
    UINT folderProblem; // why the folder cannot be used; 0 when it can
};

Policy g_policy;
char g_lookedUp[kPolicyFolderSize]; // the lookup's own copy, which may outlive its wait

bool IsAbsolute(const char* folder)
{
    const bool drive = ((folder[0] | 0x20) >= 'a' && (folder[0] | 0x20) <= 'z') && folder[1] == ':' &&
                       (folder[2] == '\\' || folder[2] == '/');
    const char* share = folder[0] == '\\' && folder[1] == '\\' && folder[2] != '\\' && folder[2] != '\0'
                            ? std::strchr(folder + 2, '\\')
                            : nullptr;
    return drive || (share != nullptr && share[1] != '\0' && share[1] != '\\');
}

DWORD WINAPI LookUpFolder(LPVOID)
{
    const DWORD attributes = GetFileAttributesA(g_lookedUp);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? 1 : 0;
}

// A file in the folder's place; a share that does not answer in time counts as a folder, and
// the delivering thread finds out.
bool NamesFile(const char* folder)
{
    std::memcpy(g_lookedUp, folder, sizeof g_lookedUp);
    HANDLE lookup = CreateThread(nullptr, 0, LookUpFolder, nullptr, 0, nullptr);
    DWORD isFile = 0;
    if (lookup != nullptr && WaitForSingleObject(lookup, kFolderLookupWait) == WAIT_OBJECT_0)
        GetExitCodeThread(lookup, &isFile);
    if (lookup != nullptr)
        CloseHandle(lookup);
    return isFile == 1;
}

UINT FolderProblem(const char* folder)
{
    const size_t length = std::strlen(folder);
    if (std::strchr(folder, '%') != nullptr)
        return IDS_POLICY_FOLDER_VARIABLE;
    if (!IsAbsolute(folder))
        return IDS_POLICY_FOLDER_RELATIVE;
    if (folder[length - 1] == ' ' || folder[length - 1] == '.')
        return IDS_POLICY_FOLDER_END;
    return NamesFile(folder) ? IDS_POLICY_FOLDER_FILE : 0;
}

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
    if (g_policy.set[kPolicyReceiptsFolder])
        g_policy.folderProblem = FolderProblem(g_policy.folder);
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

const char* PolicyReceiptsFolder()
{
    return g_policy.set[kPolicyReceiptsFolder] && g_policy.folderProblem == 0 ? g_policy.folder : nullptr;
}

const char* PolicyReceiptsFolderAsSet() { return g_policy.folder; }

UINT PolicyReceiptsFolderProblem() { return g_policy.folderProblem; }
