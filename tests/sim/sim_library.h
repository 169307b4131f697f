// Test fixture for the simulated key library: a private copy of cardwyn32.dll in a
// temporary folder, its Key set and its call log beside it, entry points bound by name.
#pragma once
#include "core/key_contract.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

// PC/SC codes that the simulator sets besides those of the contract.
constexpr DWORD kScardInternalError = 0x80100001; // SCARD_F_INTERNAL_ERROR
constexpr DWORD kScardInvalidHandle = 0x80100003;
constexpr DWORD kScardInvalidParameter = 0x80100004;
constexpr DWORD kScardUnknownReader = 0x80100009;
constexpr DWORD kScardNotReady = 0x80100010;

using Credential = std::array<unsigned char, kCredentialSize>;
Credential TextCredential(const std::string& text);
Credential HexCredential(const std::string& hex); // raw bytes, the rest zero
std::string Hex(DWORD value);

class SimLibraryTest : public ::testing::Test {
protected:
    void TearDown() override;

    std::string KeySetPath() const { return folder_.file("keys.ini"); }
    std::string LogPath() const { return folder_.file("calls.log"); }
    std::string DllPath() const { return folder_.file("cardwyn32.dll"); }

    // Writes the Key set and names it in CARDWYN_SIM.
    void WriteKeySet(const std::string& text);
    // Copies the library into the folder (once), logs to LogPath() unless told not to,
    // loads it and binds the entry points.
    void Load(bool log = true);
    void Unload();
    void Reload();

    // InitReader, then InitCard when a handle came back; the handle or -1.
    int Open(const char* reader, int* status = nullptr);
    // The reader's InitCard status now, its handle closed again.
    int StatusOf(const char* reader);

    // A value of the Key-set file as it is on disk now, "(missing)" when absent.
    std::string Saved(const std::string& section, const std::string& name) const;
    std::string SavedFrom(const std::string& path, const std::string& section, const std::string& name) const;
    std::vector<std::string> LogLines() const;
    size_t LogCount(const std::string& text) const;
    std::vector<std::string> FolderContent() const;

    TempFolder folder_;
    HMODULE module_ = nullptr;
    EnumReadersFn EnumReaders = nullptr;
    GetReaderTypeFn GetReaderType = nullptr;
    InitReaderFn InitReader = nullptr;
    InitCardFn InitCard = nullptr;
    GetCardTypeFn GetCardType = nullptr;
    CloseReaderFn CloseReader = nullptr;
    UnformatCardFn UnformatCard = nullptr;
    FormatCardFn FormatCard = nullptr;
};
