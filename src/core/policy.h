// What administrators set by Group Policy: read once at start-up, from the machine's
// policy key, and from the user's for each value that the machine does not set.
#pragma once
#include <windows.h>

inline constexpr char kPolicyKey[] = "Software\\Policies\\Veltrax\\keyprep";

enum PolicyValue : int {
    kPolicyReceiptsFolder,
    kPolicyAllowUnformat,
    kPolicyAllowKeptCredentials,
    kPolicyEventLog,
    kPolicyValueCount
};

// A folder: REG_SZ or REG_EXPAND_SZ, of `low` to `high` characters once expanded. A switch:
// REG_DWORD from `low` to `high`. Any other type or size counts as not set.
enum class PolicyKind : unsigned char { Folder, Switch };

struct PolicyEntry {
    const char* name;
    PolicyKind kind;
    DWORD low;
    DWORD high;
};

constexpr int kPolicyFolderSize = MAX_PATH; // the longest folder, its terminator included

// One row per value, in the order of PolicyValue; the templates' check reads it too.
inline constexpr PolicyEntry kPolicyTable[kPolicyValueCount] = {
    {"ReceiptsFolder", PolicyKind::Folder, 1, MAX_PATH - 1},
    {"AllowUnformat", PolicyKind::Switch, 0, 1},
    {"AllowKeptCredentials", PolicyKind::Switch, 0, 1},
    {"EventLog", PolicyKind::Switch, 0, 1},
};

// Reads the values; whatever is missing, of the wrong type or out of range is left unset.
void ReadPolicy();

bool PolicySet(PolicyValue value);
// A value is set that the window shows (the event log's changes nothing there).
bool AnyPolicySet();
// Unformat may be started, and its button enabled; Format is never restricted.
bool UnformatAllowed();
// Whether a button of the main dialog may be enabled: Unformat only while it is allowed. Every
// place that turns the start buttons back on asks this.
bool PolicyAllowsButton(int controlId);
// A credential dialog may offer to keep what was typed for the next Keys of a series.
bool KeptCredentialsAllowed();
// Events go to the Windows event log.
bool EventLogAllowed();
// The folder for receipts with its environment variables expanded (a UNC path stays as it
// is), or null when no policy sets one or the one it sets cannot be used.
const char* PolicyReceiptsFolder();
// The folder as the policy sets it, expanded, and why it cannot be used: a string ID, or 0.
// It cannot when it still holds a '%', is not a full path (a drive or a UNC path), ends in
// a space or a dot, or is a file.
const char* PolicyReceiptsFolderAsSet();
UINT PolicyReceiptsFolderProblem();
