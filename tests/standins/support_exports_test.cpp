// The support library stand-in's entry points, and what the two stand-in libraries import.
#include "standins_paths.h"

#include "common/proc_cast.h"
#include "support/support_library.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kInertEntryPoints[] = {"DeleteConfigKey", "ReadConfigKey", "WriteConfigKey",
                                         "CheckForUpdates", "Associate",     "SetRegistryKey",
                                         "UnAssociate"};

class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}
    ~LoadedLibrary()
    {
        if (module_)
            FreeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// A library file's headers and import directory, read from the file as it lies on disk.
class PeFile {
public:
    explicit PeFile(const std::string& path) : image_(ReadWholeFile(path))
    {
        if (image_.size() < sizeof(IMAGE_DOS_HEADER))
            return;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image_.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            image_.size() < static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32))
            return;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image_.data() + dos->e_lfanew);
        if (nt->Signature == IMAGE_NT_SIGNATURE)
            nt_ = nt;
    }

    const IMAGE_NT_HEADERS32* headers() const { return nt_; }

    // Names of the libraries in the import directory; an empty directory holds only its end marker.
    std::vector<std::string> importedLibraries() const
    {
        std::vector<std::string> names;
        if (nt_ == nullptr)
            return names;
        const IMAGE_DATA_DIRECTORY& imports = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* entry = static_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(imports.VirtualAddress));
             entry != nullptr && entry->Name != 0; ++entry) {
            const auto* name = static_cast<const char*>(at(entry->Name));
            names.emplace_back(name ? name : "?");
        }
        return names;
    }

private:
    // The file position of a relative virtual address, through the section table.
    const void* at(DWORD rva) const
    {
        if (rva == 0)
            return nullptr;
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt_);
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->SizeOfRawData) {
                const size_t offset = rva - section->VirtualAddress + section->PointerToRawData;
                return offset < image_.size() ? image_.data() + offset : nullptr;
            }
        }
        return nullptr;
    }

    std::string image_;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
};

std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    return folder;
}

TEST(standins_SupportExports, AllEightEntryPointsAreExportedUnderTheirPlainNames)
{
    LoadedLibrary plinth(PlinthPath());
    ASSERT_NE(plinth.get(), nullptr) << PlinthPath();
#define EXPECT_EXPORTED(name, type) \
    EXPECT_NE(GetProcAddress(plinth.get(), #name), nullptr) << #name;
    SUPPORT_LIBRARY_ENTRY_POINTS(EXPECT_EXPORTED)
#undef EXPECT_EXPORTED
}

TEST(standins_SupportExports, NoDecoratedNamesAreExported)
{
    LoadedLibrary plinth(PlinthPath());
    ASSERT_NE(plinth.get(), nullptr);
    EXPECT_EQ(GetProcAddress(plinth.get(), "AboutDialog@56"), nullptr);
    EXPECT_EQ(GetProcAddress(plinth.get(), "_AboutDialog@56"), nullptr);
    for (const char* name : kInertEntryPoints) {
        EXPECT_EQ(GetProcAddress(plinth.get(), (std::string(name) + "@0").c_str()), nullptr) << name;
        EXPECT_EQ(GetProcAddress(plinth.get(), ("_" + std::string(name) + "@0").c_str()), nullptr) << name;
    }
}

TEST(standins_SupportExports, TheSevenOtherEntryPointsReportFailure)
{
    LoadedLibrary plinth(PlinthPath());
    ASSERT_NE(plinth.get(), nullptr);
    for (const char* name : kInertEntryPoints) {
        auto entry = ProcAs<UnusedSupportFn>(plinth.get(), name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry(), 0) << name;
    }
}

TEST(standins_SupportExports, TheProgramsBindingAcceptsTheStandIn)
{
    // BindSupportLibrary looks for "plinth.dll" on PATH too; point it at the build's.
    const std::string plinth = PlinthPath();
    SetEnvironmentVariableA("PATH", plinth.substr(0, plinth.find_last_of("\\/")).c_str());
    LoadedLibrary preload(plinth);
    ASSERT_NE(preload.get(), nullptr);
    HMODULE bound = nullptr;
    ASSERT_TRUE(BindSupportLibrary(&bound)) << "error " << GetLastError();
    EXPECT_EQ(bound, preload.get());
    EXPECT_EQ(g_supportLib.AboutDialog,
              ProcAs<AboutDialogFn>(preload.get(), "AboutDialog"));
    FreeLibrary(bound);
    g_supportLib = SupportLibrary{};
}

TEST(standins_SupportExports, SupportLibraryImportsOnlySystemLibraries)
{
    const PeFile plinth(PlinthPath());
    ASSERT_NE(plinth.headers(), nullptr) << PlinthPath();
    const std::vector<std::string> imports = plinth.importedLibraries();
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports) {
        const std::string systemCopy = JoinPath(SystemFolder(), name);
        EXPECT_NE(GetFileAttributesA(systemCopy.c_str()), INVALID_FILE_ATTRIBUTES)
            << name << " is not a library of the system";
    }
}

TEST(standins_SupportExports, LanguageLibraryHoldsResourcesOnly)
{
    const PeFile language(GermanLibraryPath());
    const IMAGE_NT_HEADERS32* nt = language.headers();
    ASSERT_NE(nt, nullptr) << GermanLibraryPath();
    EXPECT_EQ(nt->OptionalHeader.AddressOfEntryPoint, 0u) << "a language library runs no code";
    for (const std::string& name : language.importedLibraries())
        ADD_FAILURE() << "a language library imports nothing, yet it imports " << name;
    EXPECT_NE(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size, 0u);
}

} // namespace
