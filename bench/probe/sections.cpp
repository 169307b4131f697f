#include "probe.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kSymbolSize = 18; // a COFF symbol record

// Names longer than eight characters (".eh_frame") are "/offset" into the COFF string table,
// which follows the symbols and which strip keeps for these names.
std::string SectionName(const IMAGE_SECTION_HEADER& header, const IMAGE_FILE_HEADER& file,
                        const std::vector<char>& bytes)
{
    const char* name = reinterpret_cast<const char*>(header.Name);
    std::string shortName(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
    if (shortName.size() < 2 || shortName[0] != '/' || file.PointerToSymbolTable == 0)
        return shortName;
    const size_t at = file.PointerToSymbolTable + file.NumberOfSymbols * kSymbolSize +
                      std::strtoul(shortName.c_str() + 1, nullptr, 10);
    if (at >= bytes.size())
        return shortName;
    return std::string(bytes.data() + at, strnlen(bytes.data() + at, bytes.size() - at));
}

} // namespace

ExeLayout ReadExeLayout(const std::string& path)
{
    ExeLayout layout;
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) {
        layout.failure = path + ": cannot be read or is too short";
        return layout;
    }
    layout.fileBytes = static_cast<DWORD>(bytes.size());

    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, bytes.data(), sizeof dos);
    const size_t ntAt = static_cast<size_t>(dos.e_lfanew);
    IMAGE_NT_HEADERS32 nt;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || ntAt + sizeof nt > bytes.size()) {
        layout.failure = path + ": not a PE file";
        return layout;
    }
    std::memcpy(&nt, bytes.data() + ntAt, sizeof nt);
    if (nt.Signature != IMAGE_NT_SIGNATURE) {
        layout.failure = path + ": not a PE file";
        return layout;
    }
    size_t sectionAt = ntAt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i, sectionAt += sizeof(IMAGE_SECTION_HEADER)) {
        IMAGE_SECTION_HEADER header;
        if (sectionAt + sizeof header > bytes.size()) {
            layout.failure = path + ": section table cut short";
            return layout;
        }
        std::memcpy(&header, bytes.data() + sectionAt, sizeof header);
        layout.sections.push_back({SectionName(header, nt.FileHeader, bytes), header.SizeOfRawData,
                                   header.Misc.VirtualSize});
    }
    return layout;
}
