// The simulated world behind the key library: readers, the Keys in them, and the INI file
// (the Key set) that keeps them between runs.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

enum class CredentialKind { None, Text, TransportKey };

constexpr size_t kTransportKeySize = 8;

struct OtherApp {
    std::string name;
    DWORD size = 0;
};

struct Key {
    std::string id; // the section is "[Key <id>]"
    bool hasCardType = true; // false: "CardType=none", GetCardType writes nothing
    int cardType = 0;
    CredentialKind credentialKind = CredentialKind::None;
    std::string credential; // the text, or the 8 raw bytes of a transport key
    int tries = 10;
    int maxTries = 10;
    DWORD capacity = 32000;
    DWORD makerArea = 0; // 0: not formatted
    std::vector<OtherApp> otherApps;
    bool hasInitStatus = false;
    int initStatus = 0;
    bool cannotUnformat = false;
    DWORD initCardMs = 0;
    DWORD unformatMs = 0;
    DWORD formatMs = 0;
    // One-shot faults: each fires once, is cleared and the clearing is saved.
    DWORD failNextUnformat = 0;
    DWORD failNextFormat = 0;
    bool pullDuringNextUnformat = false;
    bool pullDuringNextFormat = false;
    // A library's own faults: a probe of an unreadable address that IsBadReadPtr handles in
    // UnformatCard and FormatCard, and an access violation in UnformatCard under its lock.
    bool probeMemory = false;
    bool faultInUnformat = false;
};

struct Reader {
    std::string name; // the section is "[Reader <name>]"
    int type = 30;
    bool available = true;
    std::string keyId; // empty: no Key in this reader
};

struct KeySet {
    std::vector<Reader> readers; // in file order
    std::vector<Key> keys;       // in file order, also those in no reader

    Key* KeyIn(const Reader& reader); // null when the reader holds no Key
};

// The set used when no Key-set file exists yet.
KeySet DefaultKeySet();

// Reads the file through the profile functions; `warnings` receives one line per value that
// could not be used as written (the default is used instead).
KeySet LoadKeySet(const std::string& path, std::vector<std::string>& warnings);

// The complete INI text of the set, as SaveKeySet writes it.
std::string KeySetText(const KeySet& set);

// Replaces the file atomically: a temporary file in the same folder, then one rename.
// Returns 0 or the Win32 error that prevented the save (the file is then unchanged).
DWORD SaveKeySet(const KeySet& set, const std::string& path);

DWORD UsedByOtherApps(const Key& key);
