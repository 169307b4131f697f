#include "ui/version_info.h"

#include "core/app_context.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr DWORD kFixedPartSignature = 0xFEEF04BD;

// A file's whole version record, read into a block of its own.
class VersionRecord {
public:
    explicit VersionRecord(const char* path)
    {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
        if (size == 0)
            return;
        block_.reset(static_cast<char*>(std::malloc(size)));
        if (block_ && !GetFileVersionInfoA(path, 0, size, block_.get()))
            block_.reset();
    }

    bool readable() const { return block_ != nullptr; }

    // A record can claim a fixed part that is shorter than the structure, or that is not
    // one at all; reading it would give bytes from beyond the record.
    const VS_FIXEDFILEINFO* fixedPart() const
    {
        UINT length = 0;
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query("\\", &length));
        if (fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != kFixedPartSignature)
            return nullptr;
        return fixed;
    }

    const void* query(const char* subBlock, UINT* length = nullptr) const
    {
        void* value = nullptr;
        UINT ignored = 0;
        if (!VerQueryValueA(block_.get(), subBlock, &value, length != nullptr ? length : &ignored))
            return nullptr;
        return value;
    }

private:
    struct Free {
        void operator()(char* block) const { std::free(block); }
    };
    std::unique_ptr<char, Free> block_;
};

void SetUnknown(char* output)
{
    if (output != nullptr)
        std::strcpy(output, kUnknownVersion);
}

void CopyField(char* output, const char* value)
{
    if (output == nullptr)
        return;
    std::memset(output, 0, kVersionFieldSize);
    std::memcpy(output, value, strnlen(value, kVersionFieldSize - 1));
}

void FindRecordFile(HMODULE module, const char* fileName, char* path)
{
    if (module != nullptr) {
        GetModuleFileNameA(module, path, kVersionFieldSize - 1);
    } else if (fileName != nullptr) {
        char* filePart = nullptr;
        SearchPathA(nullptr, fileName, nullptr, kVersionFieldSize - 1, path, &filePart);
    } else {
        GetModuleFileNameA(nullptr, path, kVersionFieldSize - 1);
    }
}

} // namespace

void FormatDottedVersion(DWORD versionMS, DWORD versionLS, char* text, int size)
{
    const unsigned major = HIWORD(versionMS), minor = LOWORD(versionMS);
    const unsigned third = HIWORD(versionLS), fourth = LOWORD(versionLS);
    int used = std::snprintf(text, size, "%u.%s%u", major, minor < 10 ? "0" : "", minor);
    if (used < 0 || used >= size)
        return;
    if (fourth != 0)
        std::snprintf(text + used, size - used, ".%u.%u", third, fourth);
    else if (third != 0)
        std::snprintf(text + used, size - used, ".%u", third);
}

bool GetFileVersionText(const char* fileName, char* text)
{
    char ownPath[MAX_PATH];
    if (fileName == nullptr) {
        GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
        fileName = ownPath;
    }
    const VersionRecord record(fileName);
    const VS_FIXEDFILEINFO* fixed = record.readable() ? record.fixedPart() : nullptr;
    if (fixed == nullptr)
        return false;
    std::sprintf(text, "%u.%02u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS));
    return true;
}

void ReadVersionRecord(HMODULE module, const char* fileName, char* dottedVersion, char* path,
                       char* description, char* productName, char* productVersion,
                       char* legalNotice)
{
    for (char* output : {dottedVersion, description, productName, productVersion, legalNotice})
        SetUnknown(output);

    char found[kVersionFieldSize] = {};
    FindRecordFile(module, fileName, found);
    if (path != nullptr) {
        if (found[0] != '\0')
            CopyField(path, found);
        else
            SetUnknown(path);
    }

    const VersionRecord record(found);
    if (!record.readable())
        return;
    // A language and a code page: two words, or the record holds no usable translation.
    UINT translationLength = 0;
    const auto* translation = static_cast<const WORD*>(record.query("\\VarFileInfo\\Translation", &translationLength));
    if (translation == nullptr || translationLength < 2 * sizeof(WORD))
        return;

    // Each string is read only after the one before it was found.
    const struct {
        const char* key;
        char* output;
    } strings[] = {{"ProductName", productName},
                   {"ProductVersion", productVersion},
                   {"FileDescription", description},
                   {"LegalCopyright", legalNotice}};
    for (const auto& entry : strings) {
        char subBlock[96];
        std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                      translation[1], entry.key);
        const auto* value = static_cast<const char*>(record.query(subBlock));
        if (value == nullptr)
            return;
        CopyField(entry.output, value);
    }

    const VS_FIXEDFILEINFO* fixed = record.fixedPart();
    if (dottedVersion != nullptr && fixed != nullptr)
        FormatDottedVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS, dottedVersion,
                            kVersionFieldSize);
}

void LoadedKeyLibraryVersion(char* text)
{
    char path[MAX_PATH] = {};
    const DWORD length = g_app.keyLibrary != nullptr ? GetModuleFileNameA(g_app.keyLibrary, path, MAX_PATH) : 0;
    if (!GetFileVersionText(length > 0 && length < MAX_PATH ? path : kKeyLibraryFile, text))
        std::strcpy(text, kUnknownVersion);
}
