#include "call_log.h"

#include "key_set.h"

#include "core/key_contract.h"

#include <cstdio>
#include <cstring>

namespace {

std::string g_logPath;
bool g_logSecrets = false;

std::string Environment(const char* name)
{
    char value[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string Escaped(const char* text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

void OpenCallLog()
{
    g_logPath = Environment("CARDWYN_SIM_LOG");
    g_logSecrets = Environment("CARDWYN_SIM_LOG_SECRETS") == "1";
}

bool CallLogEnabled() { return !g_logPath.empty(); }

void LogLine(const std::string& text)
{
    if (g_logPath.empty())
        return;
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "pid=%lu tid=%lu ", GetCurrentProcessId(), GetCurrentThreadId());
    const std::string line = prefix + text + "\r\n";
    // Opened per line for appending, so that lines of several processes never overwrite
    // each other and every line is on disk when the call returns.
    HANDLE file = CreateFileA(g_logPath.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Quoted(const char* text)
{
    if (!text)
        return "NULL";
    return "\"" + Escaped(text, strlen(text)) + "\"";
}

std::string LoggedCredential(const unsigned char* credential, bool transportKey)
{
    if (!credential)
        return "credential=NULL";
    const char* text = reinterpret_cast<const char*>(credential);
    if (!g_logSecrets)
        return "credential[len=" + std::to_string(strnlen(text, kCredentialSize)) + "]";
    if (!transportKey)
        return "credential=" + Quoted(std::string(text, strnlen(text, kCredentialSize)).c_str());
    std::string hex = "credential=hex:";
    char pair[3];
    for (size_t i = 0; i < kTransportKeySize; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", credential[i]);
        hex += pair;
    }
    return hex;
}

std::string Hex32(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}
