#include "key_set.h"

#include "call_log.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kReaderPrefix[] = "Reader ";
const char kKeyPrefix[] = "Key ";
// Profile functions return the default for a missing value; this one cannot be written.
const char kMissing[] = "\x01";
const int kReplaceAttempts = 100;
const DWORD kReplaceRetryMs = 10;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const size_t length = strlen(prefix);
    return text.size() > length && _strnicmp(text.c_str(), prefix, length) == 0;
}

bool SameNoCase(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseUnsigned(const std::string& text, DWORD* value)
{
    const std::string digits = Trim(text);
    if (digits.empty() || digits[0] == '-' || digits[0] == '+')
        return false;
    const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = strtoull(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || errno != 0 || parsed > 0xFFFFFFFFull)
        return false;
    *value = static_cast<DWORD>(parsed);
    return true;
}

// Signed decimal, or 0x hex for error values such as 0x80100001 (read as their 32 bits).
bool ParseInt(const std::string& text, int* value)
{
    const std::string digits = Trim(text);
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        DWORD bits = 0;
        if (!ParseUnsigned(digits, &bits))
            return false;
        *value = static_cast<int>(bits);
        return true;
    }
    if (digits.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = strtoll(digits.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool ParseBool(const std::string& text, bool* value)
{
    const std::string word = Trim(text);
    for (const char* yes : {"yes", "true", "1", "on"}) {
        if (SameNoCase(word, yes)) {
            *value = true;
            return true;
        }
    }
    for (const char* no : {"no", "false", "0", "off"}) {
        if (SameNoCase(word, no)) {
            *value = false;
            return true;
        }
    }
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseTransportKey(const std::string& text, std::string* bytes)
{
    const std::string hex = Trim(text);
    if (hex.size() != 2 * kTransportKeySize)
        return false;
    std::string raw;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        raw.push_back(static_cast<char>(high * 16 + low));
    }
    *bytes = raw;
    return true;
}

bool ParseOtherApps(const std::string& text, std::vector<OtherApp>* apps)
{
    std::vector<OtherApp> parsed;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string pair = Trim(text.substr(start, end - start));
        if (!pair.empty()) {
            const size_t colon = pair.rfind(':');
            OtherApp app;
            if (colon == std::string::npos || colon == 0 || !ParseUnsigned(pair.substr(colon + 1), &app.size))
                return false;
            app.name = Trim(pair.substr(0, colon));
            parsed.push_back(app);
        }
        start = end + 1;
    }
    *apps = parsed;
    return true;
}

// Reads one section's values and reports, in the log's words, what it could not use.
class SectionReader {
public:
    SectionReader(const std::string& path, const std::string& section, std::vector<std::string>& warnings)
        : path_(path), section_(section), warnings_(warnings)
    {
    }

    bool Get(const char* name, std::string* value) const
    {
        char buffer[4096];
        GetPrivateProfileStringA(section_.c_str(), name, kMissing, buffer, sizeof buffer, path_.c_str());
        if (strcmp(buffer, kMissing) == 0)
            return false;
        *value = buffer;
        return true;
    }

    template <typename T, typename Parse>
    void Read(const char* name, T* field, Parse parse) const
    {
        std::string text;
        if (Get(name, &text) && !Trim(text).empty() && !parse(text, field))
            Warn(name, text);
    }

    void Warn(const char* name, const std::string& text) const
    {
        warnings_.push_back("[" + section_ + "] " + name + "=\"" + text + "\" is not usable; default kept");
    }

private:
    const std::string& path_;
    std::string section_;
    std::vector<std::string>& warnings_;
};

Key LoadKey(const std::string& path, const std::string& section, std::vector<std::string>& warnings)
{
    const SectionReader in(path, section, warnings);
    Key key;
    key.id = section.substr(strlen(kKeyPrefix));

    std::string cardType;
    if (in.Get("CardType", &cardType) && SameNoCase(Trim(cardType), "none"))
        key.hasCardType = false;
    else
        in.Read("CardType", &key.cardType, ParseInt);

    std::string credential;
    if (in.Get("TransportKey", &credential) && !Trim(credential).empty()) {
        if (ParseTransportKey(credential, &key.credential))
            key.credentialKind = CredentialKind::TransportKey;
        else
            in.Warn("TransportKey", credential);
    } else if (in.Get("Credential", &credential) && !credential.empty()) {
        key.credentialKind = CredentialKind::Text;
        key.credential = credential;
    }

    in.Read("MaxTries", &key.maxTries, ParseInt);
    if (key.maxTries < 1) {
        in.Warn("MaxTries", std::to_string(key.maxTries));
        key.maxTries = 10;
    }
    key.tries = key.maxTries;
    in.Read("Tries", &key.tries, ParseInt);
    if (key.tries < 0 || key.tries > key.maxTries) {
        in.Warn("Tries", std::to_string(key.tries));
        key.tries = key.maxTries;
    }

    in.Read("Capacity", &key.capacity, ParseUnsigned);
    in.Read("MakerArea", &key.makerArea, ParseUnsigned);
    in.Read("OtherApps", &key.otherApps, ParseOtherApps);
    if (static_cast<unsigned long long>(key.makerArea) + UsedByOtherApps(key) > key.capacity)
        warnings.push_back("[" + section + "] holds more than its Capacity; it has no free space");

    std::string status;
    if (in.Get("InitStatus", &status) && !Trim(status).empty()) {
        if (ParseInt(status, &key.initStatus))
            key.hasInitStatus = true;
        else
            in.Warn("InitStatus", status);
    }
    in.Read("CannotUnformat", &key.cannotUnformat, ParseBool);
    in.Read("InitCardMs", &key.initCardMs, ParseUnsigned);
    in.Read("UnformatMs", &key.unformatMs, ParseUnsigned);
    in.Read("FormatMs", &key.formatMs, ParseUnsigned);
    in.Read("FailNextUnformat", &key.failNextUnformat, ParseUnsigned);
    in.Read("FailNextFormat", &key.failNextFormat, ParseUnsigned);
    in.Read("PullDuringNextUnformat", &key.pullDuringNextUnformat, ParseBool);
    in.Read("PullDuringNextFormat", &key.pullDuringNextFormat, ParseBool);
    in.Read("ProbeMemory", &key.probeMemory, ParseBool);
    in.Read("FaultInUnformat", &key.faultInUnformat, ParseBool);
    return key;
}

Reader LoadReader(const std::string& path, const std::string& section, std::vector<std::string>& warnings)
{
    const SectionReader in(path, section, warnings);
    Reader reader;
    reader.name = section.substr(strlen(kReaderPrefix));
    in.Read("Type", &reader.type, ParseInt);
    in.Read("Available", &reader.available, ParseBool);
    std::string keyId;
    if (in.Get("Key", &keyId))
        reader.keyId = Trim(keyId);
    return reader;
}

std::vector<std::string> SectionNames(const std::string& path)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetPrivateProfileSectionNamesA(buffer.data(), size, path.c_str());
        // A full buffer is reported as its size minus two.
        if (length < size - 2 || buffer.size() >= (1u << 24))
            break;
        buffer.resize(buffer.size() * 4);
    }
    std::vector<std::string> names;
    for (const char* name = buffer.data(); *name; name += strlen(name) + 1)
        names.push_back(name);
    return names;
}

void AppendLine(std::string& text, const std::string& line) { text += line + "\r\n"; }

const char* YesNo(bool value) { return value ? "yes" : "no"; }

std::string HexBytes(const std::string& bytes)
{
    std::string text;
    char pair[3];
    for (const char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(byte));
        text += pair;
    }
    return text;
}

} // namespace

Key* KeySet::KeyIn(const Reader& reader)
{
    if (reader.keyId.empty())
        return nullptr;
    for (Key& key : keys)
        if (SameNoCase(key.id, reader.keyId))
            return &key;
    return nullptr;
}

DWORD UsedByOtherApps(const Key& key)
{
    unsigned long long used = 0;
    for (const OtherApp& app : key.otherApps)
        used += app.size;
    return used > 0xFFFFFFFFull ? 0xFFFFFFFF : static_cast<DWORD>(used);
}

KeySet DefaultKeySet()
{
    Key key;
    key.id = "Token1";
    key.cardType = 8;
    key.credentialKind = CredentialKind::Text;
    key.credential = "24682468";
    key.tries = key.maxTries = 10;
    key.capacity = 32000;
    key.makerArea = 7000;
    key.otherApps = {{"Mail", 4000}};

    Reader reader;
    reader.name = "Simulated Reader 0";
    reader.type = 30;
    reader.keyId = key.id;

    KeySet set;
    set.readers.push_back(reader);
    set.keys.push_back(key);
    return set;
}

KeySet LoadKeySet(const std::string& path, std::vector<std::string>& warnings)
{
    KeySet set;
    for (const std::string& section : SectionNames(path)) {
        if (StartsWithNoCase(section, kReaderPrefix))
            set.readers.push_back(LoadReader(path, section, warnings));
        else if (StartsWithNoCase(section, kKeyPrefix))
            set.keys.push_back(LoadKey(path, section, warnings));
        else
            warnings.push_back("[" + section + "] is neither a reader nor a Key; ignored");
    }
    // Drops this file from the profile cache, so that the next load reads the disk again.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());

    std::vector<std::string> inserted;
    for (Reader& reader : set.readers) {
        if (reader.keyId.empty())
            continue;
        const Key* key = set.KeyIn(reader);
        bool taken = false;
        for (const std::string& id : inserted)
            taken = taken || (key && SameNoCase(id, key->id));
        if (!key || taken) {
            warnings.push_back("[Reader " + reader.name + "] Key=\"" + reader.keyId +
                               (key ? "\" is already in another reader" : "\" has no [Key] section") +
                               "; the reader is empty");
            reader.keyId.clear();
            continue;
        }
        inserted.push_back(key->id);
    }
    return set;
}

std::string KeySetText(const KeySet& set)
{
    std::string text;
    AppendLine(text, "; Key set of the simulated key library, rewritten after every change.");
    AppendLine(text, "; Readers are listed in the order of their sections. Format: sim/keysets/README.md");
    for (const Reader& reader : set.readers) {
        AppendLine(text, "");
        AppendLine(text, "[" + std::string(kReaderPrefix) + reader.name + "]");
        AppendLine(text, "Type=" + std::to_string(reader.type));
        AppendLine(text, std::string("Available=") + YesNo(reader.available));
        AppendLine(text, "Key=" + reader.keyId);
    }
    for (const Key& key : set.keys) {
        AppendLine(text, "");
        AppendLine(text, "[" + std::string(kKeyPrefix) + key.id + "]");
        AppendLine(text, "CardType=" + (key.hasCardType ? std::to_string(key.cardType) : std::string("none")));
        // Quotes keep leading and trailing spaces: the profile functions strip one pair.
        if (key.credentialKind == CredentialKind::Text)
            AppendLine(text, "Credential=\"" + key.credential + "\"");
        else if (key.credentialKind == CredentialKind::TransportKey)
            AppendLine(text, "TransportKey=" + HexBytes(key.credential));
        AppendLine(text, "Tries=" + std::to_string(key.tries));
        AppendLine(text, "MaxTries=" + std::to_string(key.maxTries));
        AppendLine(text, "Capacity=" + std::to_string(key.capacity));
        AppendLine(text, "MakerArea=" + std::to_string(key.makerArea));
        std::string apps;
        for (const OtherApp& app : key.otherApps)
            apps += (apps.empty() ? "" : ",") + app.name + ":" + std::to_string(app.size);
        AppendLine(text, "OtherApps=" + apps);
        if (key.hasInitStatus)
            AppendLine(text, "InitStatus=" + std::to_string(key.initStatus));
        AppendLine(text, std::string("CannotUnformat=") + YesNo(key.cannotUnformat));
        if (key.initCardMs)
            AppendLine(text, "InitCardMs=" + std::to_string(key.initCardMs));
        AppendLine(text, "UnformatMs=" + std::to_string(key.unformatMs));
        AppendLine(text, "FormatMs=" + std::to_string(key.formatMs));
        if (key.failNextUnformat)
            AppendLine(text, "FailNextUnformat=" + Hex32(key.failNextUnformat));
        if (key.failNextFormat)
            AppendLine(text, "FailNextFormat=" + Hex32(key.failNextFormat));
        if (key.pullDuringNextUnformat)
            AppendLine(text, "PullDuringNextUnformat=yes");
        if (key.pullDuringNextFormat)
            AppendLine(text, "PullDuringNextFormat=yes");
        if (key.probeMemory)
            AppendLine(text, "ProbeMemory=yes");
        if (key.faultInUnformat)
            AppendLine(text, "FaultInUnformat=yes");
    }
    return text;
}

DWORD SaveKeySet(const KeySet& set, const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    char temp[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "cws", 0, temp))
        return GetLastError();

    const std::string text = KeySetText(set);
    DWORD error = 0;
    HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        DWORD written = 0;
        if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            !FlushFileBuffers(file))
            error = GetLastError();
        else if (written != text.size())
            error = ERROR_DISK_FULL;
        CloseHandle(file);
    }
    // One rename: a reader of the file sees either the old or the new Key set, never a part.
    // A file that someone else has open cannot be replaced, so wait a little for them.
    for (int attempt = 0; !error; ++attempt) {
        if (MoveFileExA(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            break;
        error = GetLastError();
        if ((error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) && attempt < kReplaceAttempts) {
            error = 0;
            Sleep(kReplaceRetryMs);
        }
    }
    if (error)
        DeleteFileA(temp);
    return error;
}
