#include "records/receipt_line.h"

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kReceiptsStart[] = "\xEF\xBB\xBF"
                              "time,key,reader,card type,card type name,operation,clear all,result,message,error code,"
                              "program version,key library version,user,computer,series,sequence,chain\r\n";
const size_t kReceiptsStartLength = sizeof kReceiptsStart - 1;

namespace {

// A field's bytes in the line, quotes doubled, before its own quotes; seventeen of them and
// their separators always fit the line.
constexpr size_t kFieldBytes = 1800;
constexpr char kCutNote[] = " [cut]";

BCRYPT_ALG_HANDLE g_sha256;

// A spreadsheet takes a field that begins with one of these for a formula: such a field
// gets a leading apostrophe, which shows it as text.
bool LooksLikeFormula(const char* text)
{
    return text[0] != '\0' && std::strchr("=+-@\t\r", text[0]) != nullptr;
}

// `text` (in the system's code page) in UTF-8, in memory of its own; null when out of memory.
char* ToUtf8(const char* text)
{
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    auto* wide = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * (wideLength > 0 ? wideLength : 1)));
    if (wide == nullptr)
        return nullptr;
    if (wideLength <= 0 || MultiByteToWideChar(CP_ACP, 0, text, -1, wide, wideLength) <= 0)
        wide[0] = L'\0';
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    char* utf8 = static_cast<char*>(std::malloc(length > 0 ? length : 1));
    if (utf8 != nullptr && (length <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, length, nullptr, nullptr) <= 0))
        utf8[0] = '\0';
    std::free(wide);
    return utf8;
}

// The field in double quotes with its own quotes doubled, then the separator. A field too
// long is cut at a whole character and says so.
void AppendField(char* line, size_t& at, const char* text, char separator)
{
    char* utf8 = ToUtf8(text);
    const char* source = utf8 != nullptr ? utf8 : "";
    line[at++] = '"';
    const size_t start = at;
    if (LooksLikeFormula(source))
        line[at++] = '\'';
    const char* p = source;
    for (; *p != '\0' && at - start + 2 + sizeof kCutNote <= kFieldBytes; ++p) {
        if (*p == '"')
            line[at++] = '"';
        line[at++] = *p;
    }
    if (*p != '\0') {
        while (at > start && (static_cast<unsigned char>(*p) & 0xC0) == 0x80) {
            --p; // a UTF-8 character is never split: its lead byte goes back out too
            at -= *p == '"' ? 2 : 1;
        }
        std::memcpy(line + at, kCutNote, sizeof kCutNote - 1);
        at += sizeof kCutNote - 1;
    }
    line[at++] = '"';
    line[at++] = separator;
    std::free(utf8);
}

const char* FieldEnd(const char* p, const char* end)
{
    if (p >= end || *p != '"')
        return nullptr;
    for (++p; p < end; ++p)
        if (*p == '"' && (p + 1 == end || p[1] != '"'))
            return p + 1;
        else if (*p == '"')
            ++p;
    return nullptr;
}

bool IsHexChain(const char* p, size_t length)
{
    if (length != kChainSize - 1)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (std::strchr("0123456789abcdef", p[i]) == nullptr || p[i] == '\0')
            return false;
    return true;
}

} // namespace

bool ChainValue(const char* previous, const char* text, size_t length, char (&value)[kChainSize])
{
    // Opened once and kept: a verifier chains thousands of lines.
    if (g_sha256 == nullptr && BCryptOpenAlgorithmProvider(&g_sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
        g_sha256 = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    UCHAR digest[32];
    bool made = g_sha256 != nullptr && BCryptCreateHash(g_sha256, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
                BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(previous)),
                               static_cast<ULONG>(std::strlen(previous)), 0) >= 0 &&
                BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(text)), static_cast<ULONG>(length), 0) >= 0 &&
                BCryptFinishHash(hash, digest, sizeof digest, 0) >= 0;
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    for (int i = 0; made && i < 32; ++i)
        std::snprintf(value + 2 * i, 3, "%02x", digest[i]);
    return made;
}

size_t ComposeReceiptLine(char (&line)[kReceiptLineSize], const char* const (&fields)[kReceiptTextFields],
                          ReceiptChain& chain)
{
    size_t at = 0;
    for (const char* field : fields)
        AppendField(line, at, field, ',');
    at += static_cast<size_t>(std::snprintf(line + at, 24, "\"%lu\",", chain.sequence + 1));
    char value[kChainSize];
    if (!ChainValue(chain.value, line, at, value))
        return 0;
    at += static_cast<size_t>(std::snprintf(line + at, kChainSize + 5, "\"%s\"\r\n", value));
    ++chain.sequence;
    std::memcpy(chain.value, value, sizeof value);
    return at;
}

bool ParseReceiptLine(const char* line, size_t length, ReceiptLineParts& parts)
{
    const char* end = line + length;
    const char* p = line;
    const char* starts[kReceiptFieldCount];
    for (int field = 0; field < kReceiptFieldCount; ++field) {
        starts[field] = p;
        p = FieldEnd(p, end);
        if (p == nullptr || (field + 1 < kReceiptFieldCount ? p >= end || *p++ != ',' : p != end))
            return false;
    }
    if (std::memchr(line, '\0', length) != nullptr || std::memchr(line, '\n', length) != nullptr)
        return false;
    const char* sequence = starts[kReceiptFieldCount - 2] + 1;
    char* after = nullptr;
    parts.sequence = std::strtoul(sequence, &after, 10);
    const char* chain = starts[kReceiptFieldCount - 1] + 1;
    if (*sequence < '1' || *sequence > '9' || after != starts[kReceiptFieldCount - 1] - 2 ||
        !IsHexChain(chain, static_cast<size_t>(end - 1 - chain)))
        return false;
    std::memcpy(parts.chain, chain, kChainSize - 1);
    parts.chain[kChainSize - 1] = '\0';
    parts.chainedLength = static_cast<size_t>(starts[kReceiptFieldCount - 1] - line);
    return true;
}

size_t LeadingJunk(const char* text, size_t length)
{
    size_t junk = 0;
    while (junk < length && (text[junk] == '\0' || (length - junk >= 3 && std::memcmp(text + junk, "\xEF\xBB\xBF", 3) == 0)))
        junk += text[junk] == '\0' ? 1 : 3;
    return junk;
}

bool LastChainIn(const char* text, size_t length, ReceiptChain& chain)
{
    size_t end = length;
    while (end > 0) {
        while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'))
            --end;
        size_t start = end;
        while (start > 0 && text[start - 1] != '\n')
            --start;
        const size_t line = start + LeadingJunk(text + start, end - start);
        ReceiptLineParts parts;
        if (end > line && ParseReceiptLine(text + line, end - line, parts)) {
            chain.sequence = parts.sequence;
            std::memcpy(chain.value, parts.chain, kChainSize);
            return true;
        }
        end = start;
    }
    return false;
}
