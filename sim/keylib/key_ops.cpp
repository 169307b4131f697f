#include "key_ops.h"

#include <cstring>

namespace {

constexpr int kPassPhraseCardType = 5;

bool ClearsAll(int flags) { return (flags & kClearAllData) != 0; }

// A verification without data only asks a card for its status, so it never costs a try.
bool IsEmpty(const Key& key, const unsigned char* credential)
{
    if (!credential)
        return true;
    if (key.credentialKind == CredentialKind::TransportKey) {
        for (size_t i = 0; i < kTransportKeySize; ++i)
            if (credential[i])
                return false;
        return true;
    }
    return credential[0] == '\0';
}

bool Matches(const Key& key, const unsigned char* credential)
{
    if (key.credentialKind == CredentialKind::TransportKey)
        return memcmp(credential, key.credential.data(), kTransportKeySize) == 0;
    const char* text = reinterpret_cast<const char*>(credential);
    return std::string(text, strnlen(text, kCredentialSize)) == key.credential;
}

// As a library that checks its arguments does: the fault of the probe is its own to handle.
void ProbeMemory(const Key& key)
{
    if (key.probeMemory)
        IsBadReadPtr(reinterpret_cast<const void*>(0x10), sizeof(int));
}

// A one-shot fault fires once; clearing it is a change to save.
bool Fire(DWORD& fault, KeyResult& result)
{
    if (!fault)
        return false;
    result.error = fault;
    result.changed = true;
    fault = 0;
    return true;
}

bool Pull(bool& pending, DWORD delayMs, KeyResult& result)
{
    if (!pending)
        return false;
    pending = false;
    Sleep(delayMs / 2); // the Key leaves the reader half way through the operation
    result.error = kScardRemovedCard;
    result.changed = true;
    result.pulled = true;
    return true;
}

} // namespace

KeyResult CheckCredential(Key& key, const unsigned char* credential, int flags)
{
    KeyResult result;
    if (key.credentialKind == CredentialKind::None)
        return result;
    // Clearing all data resets a pass-phrase Key, so the forgotten pass phrase is not needed.
    if (key.hasCardType && key.cardType == kPassPhraseCardType && ClearsAll(flags))
        return result;
    if (key.tries <= 0) {
        result.error = kScardChvBlocked;
    } else if (IsEmpty(key, credential)) {
        result.error = kScardInvalidChv;
    } else if (Matches(key, credential)) {
        result.changed = key.tries != key.maxTries;
        key.tries = key.maxTries;
    } else {
        --key.tries;
        result.changed = true;
        result.error = kScardInvalidChv;
    }
    return result;
}

KeyResult UnformatKey(Key& key, const unsigned char* credential, int flags)
{
    if (key.cannotUnformat) {
        KeyResult refused;
        refused.error = kScardUnsupportedFeature;
        return refused;
    }
    ProbeMemory(key);
    if (key.faultInUnformat)
        *static_cast<volatile int*>(nullptr) = 0; // with the library's lock taken, for good
    KeyResult result = CheckCredential(key, credential, flags);
    if (result.error || Fire(key.failNextUnformat, result))
        return result;
    // Pulled after the maker's area went and before other data was touched.
    if (Pull(key.pullDuringNextUnformat, key.unformatMs, result)) {
        key.makerArea = 0;
        return result;
    }
    Sleep(key.unformatMs);
    result.changed = result.changed || key.makerArea != 0 || (ClearsAll(flags) && !key.otherApps.empty());
    key.makerArea = 0;
    if (ClearsAll(flags))
        key.otherApps.clear();
    return result;
}

KeyResult FormatKey(Key& key, const unsigned char* credential, const DWORD* spaceRequest, int flags)
{
    ProbeMemory(key);
    KeyResult result = CheckCredential(key, credential, flags);
    if (result.error || Fire(key.failNextFormat, result))
        return result;
    if (spaceRequest && *spaceRequest == 0) {
        result.error = kScardInvalidParameter;
        return result;
    }
    // A new maker's area replaces an existing one, so only other data takes space.
    const DWORD used = ClearsAll(flags) ? 0 : UsedByOtherApps(key);
    const DWORD free = key.capacity > used ? key.capacity - used : 0;
    const DWORD wanted = spaceRequest ? *spaceRequest : free;
    if (wanted == 0 || wanted > free) {
        result.error = kScardNoMemory;
        return result;
    }
    // Pulled before the new area was written: the Key keeps what it held.
    if (Pull(key.pullDuringNextFormat, key.formatMs, result))
        return result;
    Sleep(key.formatMs);
    if (ClearsAll(flags))
        key.otherApps.clear();
    key.makerArea = wanted;
    result.changed = true;
    return result;
}

int KeyStatus(const Key& key)
{
    if (key.hasInitStatus)
        return key.initStatus;
    return key.makerArea ? 0 : kKeyNotFormatted;
}
