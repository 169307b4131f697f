// What UnformatCard and FormatCard do to a simulated Key, apart from handles and files.
#pragma once
#include "key_set.h"

#include "core/key_contract.h"

// Published PC/SC codes that only the simulator sets; the program tells them apart from
// nothing, so they all read as "failure" there.
constexpr DWORD kScardInvalidHandle = 0x80100003;    // SCARD_E_INVALID_HANDLE
constexpr DWORD kScardInvalidParameter = 0x80100004; // SCARD_E_INVALID_PARAMETER
constexpr DWORD kScardUnknownReader = 0x80100009;    // SCARD_E_UNKNOWN_READER
constexpr DWORD kScardNotReady = 0x80100010;         // SCARD_E_NOT_READY

struct KeyResult {
    DWORD error = 0;      // 0 or the PC/SC code of the failure
    bool changed = false; // the Key's state changed (also on failure: a try used, a fault fired)
    bool pulled = false;  // the Key left the reader during the call
};

// Checks the credential as the Key would, using up or restoring its tries.
KeyResult CheckCredential(Key& key, const unsigned char* credential, int flags);

KeyResult UnformatKey(Key& key, const unsigned char* credential, int flags);
KeyResult FormatKey(Key& key, const unsigned char* credential, const DWORD* spaceRequest, int flags);

// The Key's status for InitCard: the override, or whether the maker's area exists.
int KeyStatus(const Key& key);
