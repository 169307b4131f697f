#include "sim_library.h"

#include <type_traits>
#include <vector>

namespace {

class sim_Contract : public SimLibraryTest {};

const char kThreeReaders[] = R"(; readers deliberately not in alphabetical order
[Reader Zeta Reader (USB) #2]
Key=Formatted

[Reader Alpha Reader]
Type=12
Key=Unformatted

[Reader Mid Reader]
Type=30
Available=no
Key=

[Key Formatted]
CardType=3
MakerArea=7000

[Key Unformatted]
CardType=3
MakerArea=0
)";

struct EntryPoint {
    const char* name;
    bool unused; // bound only: fails as unsupported
};

const EntryPoint kEntryPoints[] = {
#define ENTRY_POINT(name, type) {#name, std::is_same_v<type, UnusedKeyFn>},
    KEY_LIBRARY_ENTRY_POINTS(ENTRY_POINT)
#undef ENTRY_POINT
};

} // namespace

TEST_F(sim_Contract, ExportsEveryEntryPointUndecorated)
{
    WriteKeySet(kThreeReaders);
    Load();
    int unused = 0;
    for (const EntryPoint& entry : kEntryPoints) {
        EXPECT_NE(nullptr, GetProcAddress(module_, entry.name)) << entry.name;
        EXPECT_EQ(nullptr, GetProcAddress(module_, (std::string(entry.name) + "@0").c_str())) << entry.name;
        unused += entry.unused;
    }
    EXPECT_EQ(34u, std::size(kEntryPoints));
    EXPECT_EQ(26, unused);
}

TEST_F(sim_Contract, UnusedEntryPointsFailAsUnsupported)
{
    WriteKeySet(kThreeReaders);
    Load();
    for (const EntryPoint& entry : kEntryPoints) {
        if (!entry.unused)
            continue;
        const auto call = reinterpret_cast<UnusedKeyFn>(reinterpret_cast<void*>(GetProcAddress(module_, entry.name)));
        ASSERT_NE(nullptr, call) << entry.name;
        SetLastError(0);
        EXPECT_EQ(0, call()) << entry.name;
        EXPECT_EQ(Hex(kScardUnsupportedFeature), Hex(GetLastError())) << entry.name;
        EXPECT_EQ(1u, LogCount(std::string(" ") + entry.name + "() -> 0 err=0x80100022")) << entry.name;
    }
}

TEST_F(sim_Contract, ListsReadersInFileOrder)
{
    WriteKeySet(kThreeReaders);
    Load();
    const struct {
        const char* name;
        int type;
    } readers[] = {{"Zeta Reader (USB) #2", 30}, {"Alpha Reader", 12}, {"Mid Reader", 30}};
    for (int i = 0; i < 3; ++i) {
        const char* name = EnumReaders(i);
        ASSERT_NE(nullptr, name) << "index " << i;
        EXPECT_STREQ(readers[i].name, name) << "index " << i;
        EXPECT_EQ(readers[i].type, GetReaderType(name)) << readers[i].name;
    }
    EXPECT_EQ(nullptr, EnumReaders(3));
    EXPECT_EQ(nullptr, EnumReaders(-1));
    EXPECT_STREQ("Zeta Reader (USB) #2", EnumReaders(0)) << "a second walk";
    EXPECT_EQ(0, GetReaderType("No Such Reader"));
    EXPECT_EQ(0, GetReaderType("alpha reader")) << "reader names are exact";
}

TEST_F(sim_Contract, NoReadersAtAll)
{
    WriteKeySet("; a Key set without readers\n");
    Load();
    EXPECT_EQ(nullptr, EnumReaders(0));
    EXPECT_EQ(kNoHandle, InitReader("Simulated Reader 0"));
}

TEST_F(sim_Contract, InitReaderGivesDistinctHandles)
{
    WriteKeySet(kThreeReaders);
    Load();
    const int first = InitReader("Zeta Reader (USB) #2");
    const int second = InitReader("Zeta Reader (USB) #2");
    const int third = InitReader("Alpha Reader");
    EXPECT_NE(kNoHandle, first);
    EXPECT_NE(kNoHandle, second);
    EXPECT_NE(kNoHandle, third);
    EXPECT_NE(first, second);
    EXPECT_NE(first, third);
    EXPECT_NE(second, third);
    EXPECT_EQ(0, CloseReader(first));
    const int fourth = InitReader("Zeta Reader (USB) #2");
    EXPECT_NE(first, fourth) << "a closed handle is not given out again";
    for (int handle : {second, third, fourth})
        EXPECT_EQ(0, CloseReader(handle)) << "handle " << handle;
}

TEST_F(sim_Contract, InitReaderRefusesUnknownAndUnavailableReaders)
{
    WriteKeySet(kThreeReaders);
    Load();
    const struct {
        const char* name;
        DWORD error;
    } cases[] = {
        {"Mid Reader", kScardReaderUnavailable},
        {"No Such Reader", kScardUnknownReader},
        {"zeta reader (usb) #2", kScardUnknownReader},
        {"Zeta Reader (USB) #2 ", kScardUnknownReader},
        {"", kScardUnknownReader},
        {nullptr, kScardUnknownReader},
    };
    for (const auto& c : cases) {
        const std::string shown = c.name ? "\"" + std::string(c.name) + "\"" : "NULL";
        SetLastError(0);
        EXPECT_EQ(kNoHandle, InitReader(c.name)) << shown;
        EXPECT_EQ(Hex(c.error), Hex(GetLastError())) << shown;
    }
    Unload();
    EXPECT_EQ(0u, LogCount("LEAK")) << "refused readers hold nothing open";
}

TEST_F(sim_Contract, InitCardReportsTheKeyStatus)
{
    const struct {
        const char* keyLines; // null: the reader holds no Key
        int status;
    } cases[] = {
        {nullptr, kNoHandle},
        {"MakerArea=7000", 0},
        {"MakerArea=1", 0},
        {"MakerArea=0", kKeyNotFormatted},
        {"", kKeyNotFormatted},
        {"MakerArea=7000\nInitStatus=1", 1},
        {"MakerArea=7000\nInitStatus=2", 2},
        {"MakerArea=0\nInitStatus=3", 3},
        {"CardType=5\nInitStatus=-7", kKeyClearAllOnly},
        {"MakerArea=7000\nInitStatus=-5", -5},
        {"MakerArea=7000\nInitStatus=-1", kNoHandle},
    };
    std::string keySet;
    for (size_t i = 0; i < std::size(cases); ++i) {
        keySet += "[Reader R" + std::to_string(i) + "]\n";
        keySet += cases[i].keyLines ? "Key=K" + std::to_string(i) + "\n" : "Key=\n";
    }
    for (size_t i = 0; i < std::size(cases); ++i)
        if (cases[i].keyLines)
            keySet += "[Key K" + std::to_string(i) + "]\n" + cases[i].keyLines + "\n";
    WriteKeySet(keySet);
    Load();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string reader = "R" + std::to_string(i);
        const int handle = InitReader(reader.c_str());
        ASSERT_NE(kNoHandle, handle) << reader;
        EXPECT_EQ(cases[i].status, InitCard(handle, 0))
            << reader << " with " << (cases[i].keyLines ? cases[i].keyLines : "no Key");
        EXPECT_EQ(0, CloseReader(handle)) << reader;
    }
}

TEST_F(sim_Contract, GetCardTypeWritesTheCode)
{
    const char* const cardTypes[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "0", "none"};
    std::string keySet;
    for (const char* type : cardTypes)
        keySet += "[Reader R" + std::string(type) + "]\nKey=K" + type + "\n";
    for (const char* type : cardTypes)
        keySet += "[Key K" + std::string(type) + "]\nCardType=" + type + "\nMakerArea=7000\n";
    WriteKeySet(keySet);
    Load();
    for (const char* type : cardTypes) {
        const std::string reader = std::string("R") + type;
        int status = 99;
        const int handle = Open(reader.c_str(), &status);
        ASSERT_NE(kNoHandle, handle) << reader;
        ASSERT_EQ(0, status) << reader;
        int cardType = -77;
        GetCardType(handle, &cardType);
        const int expected = std::string(type) == "none" ? -77 : std::stoi(type);
        EXPECT_EQ(expected, cardType) << "CardType=" << type;
        EXPECT_EQ(0, CloseReader(handle)) << reader;
    }
}

TEST_F(sim_Contract, OperationsNeedAKeyOpenedByInitCard)
{
    WriteKeySet(R"([Reader Empty]
Key=
[Reader Full]
Key=K
[Key K]
CardType=3
MakerArea=7000
)");
    Load();
    Credential credential = TextCredential("");
    const DWORD space = 7000;
    const int empty = Open("Empty");
    const int notInitialised = InitReader("Full");
    const struct {
        const char* what;
        int handle;
        DWORD error;
    } cases[] = {
        {"reader without a Key", empty, kScardNoSmartcard},
        {"InitCard not called", notInitialised, kScardNotReady},
        {"unknown handle", 4711, kScardInvalidHandle},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(UnformatCard(c.handle, credential.data(), kKeepOtherData)) << c.what;
        EXPECT_EQ(Hex(c.error), Hex(GetLastError())) << "UnformatCard, " << c.what;
        SetLastError(0);
        EXPECT_FALSE(FormatCard(c.handle, credential.data(), "", &space, kKeepOtherData)) << c.what;
        EXPECT_EQ(Hex(c.error), Hex(GetLastError())) << "FormatCard, " << c.what;
        int cardType = -77;
        EXPECT_NE(0, GetCardType(c.handle, &cardType)) << c.what;
        EXPECT_EQ(-77, cardType) << c.what;
    }
    EXPECT_EQ("7000", Saved("Key K", "MakerArea")) << "nothing changed";
    EXPECT_EQ(0, CloseReader(empty));
    EXPECT_EQ(0, CloseReader(notInitialised));
}

TEST_F(sim_Contract, CarriesAVersionRecord)
{
    WriteKeySet(kThreeReaders);
    Load();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(DllPath().c_str(), &ignored);
    ASSERT_NE(0u, size) << "the main dialog shows the library's file version";
    std::vector<char> record(size);
    ASSERT_TRUE(GetFileVersionInfoA(DllPath().c_str(), 0, size, record.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_NE(0u, HIWORD(fixed->dwFileVersionMS)) << "major version";
    char* name = nullptr;
    ASSERT_TRUE(VerQueryValueA(record.data(), "\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &length));
    EXPECT_STREQ("cardwyn32.dll", name);
}
