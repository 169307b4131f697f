#include "sim_library.h"

#include "support/test_paths.h"

#include <atomic>

namespace {

class sim_KeySet : public SimLibraryTest {};
class sim_Faults : public SimLibraryTest {};

const char kSoPinKey[] = R"(; one SO PIN Key
[Reader R]
Type=30
Key=K

[Key K]
CardType=8
Credential=24682468
Tries=1000
MaxTries=1000
Capacity=32000
MakerArea=7000
OtherApps=Mail:3000,Vpn:1500
FormatMs=0
)";

struct Watch {
    std::string path;
    std::atomic<bool> stop{false};
    int snapshots = 0;
    int busy = 0;
    std::vector<std::string> bad;
    int lastTries = 1000000;
};

bool Complete(const std::string& text)
{
    for (const char* part : {"[Reader R]", "Key=K", "[Key K]", "CardType=8", "Tries=", "MaxTries=1000",
                             "OtherApps=Mail:3000,Vpn:1500", "FormatMs=0"})
        if (text.find(part) == std::string::npos)
            return false;
    return text.back() == '\n';
}

// A reader that finds the file busy for a moment tries again; what it must never see is a
// file that opens with less than a whole Key set in it.
bool Snapshot(const std::string& path, std::string* text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD read = 0;
    text->clear();
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
        text->append(buffer, read);
    CloseHandle(file);
    return true;
}

DWORD WINAPI WatchKeySet(void* parameter)
{
    Watch& watch = *static_cast<Watch*>(parameter);
    std::string text;
    for (; !watch.stop; Sleep(1)) {
        if (!Snapshot(watch.path, &text)) {
            ++watch.busy;
            continue;
        }
        ++watch.snapshots;
        if (!Complete(text)) {
            watch.bad.push_back(text);
            continue;
        }
        const int tries = std::stoi(text.substr(text.find("\nTries=") + 7));
        if (tries > watch.lastTries)
            watch.bad.push_back("Tries went up:\n" + text);
        watch.lastTries = tries;
    }
    return 0;
}

} // namespace

TEST_F(sim_KeySet, ChangesSurviveAReload)
{
    WriteKeySet(kSoPinKey);
    Load();
    Credential pin = TextCredential("24682468");
    Credential wrong = TextCredential("13579135");
    int handle = Open("R");
    EXPECT_FALSE(UnformatCard(handle, wrong.data(), kKeepOtherData));
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    EXPECT_FALSE(UnformatCard(handle, wrong.data(), kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_EQ("999", Saved("Key K", "Tries"));

    Reload();
    int status = 99;
    handle = Open("R", &status);
    EXPECT_EQ(kKeyNotFormatted, status) << "the Unformat was kept";
    int cardType = 0;
    GetCardType(handle, &cardType);
    EXPECT_EQ(8, cardType);
    const DWORD space = 12345;
    EXPECT_TRUE(FormatCard(handle, pin.data(), "", &space, kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));

    Reload();
    EXPECT_EQ(0, StatusOf("R")) << "the Format was kept";
    EXPECT_EQ("12345", Saved("Key K", "MakerArea"));
    EXPECT_EQ("1000", Saved("Key K", "Tries")) << "the right PIN of the Format restored the tries";
    EXPECT_EQ("Mail:3000,Vpn:1500", Saved("Key K", "OtherApps"));
}

TEST_F(sim_KeySet, SavingLeavesNoTemporaryFiles)
{
    WriteKeySet(kSoPinKey);
    Load();
    const int handle = Open("R");
    Credential pin = TextCredential("24682468");
    Credential wrong = TextCredential("1");
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(UnformatCard(handle, wrong.data(), kKeepOtherData));
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    EXPECT_TRUE(FormatCard(handle, pin.data(), "", nullptr, kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_EQ("27500", Saved("Key K", "MakerArea"));
    const std::vector<std::string> expected = {"calls.log", "cardwyn32.dll", "keys.ini"};
    EXPECT_EQ(expected, FolderContent());
}

TEST_F(sim_KeySet, FileIsAlwaysACompleteKeySet)
{
    WriteKeySet(kSoPinKey);
    Load();
    const int handle = Open("R");
    Watch watch;
    watch.path = KeySetPath();
    HANDLE thread = CreateThread(nullptr, 0, WatchKeySet, &watch, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    Credential wrong = TextCredential("wrong");
    for (int i = 0; i < 60; ++i)
        EXPECT_FALSE(UnformatCard(handle, wrong.data(), kKeepOtherData));
    watch.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_GT(watch.snapshots, 0);
    EXPECT_EQ(0u, watch.bad.size()) << "first bad snapshot:\n" << (watch.bad.empty() ? "" : watch.bad[0]);
    EXPECT_EQ("940", Saved("Key K", "Tries")) << "no save was lost to the reader, " << watch.busy << " busy";
    EXPECT_EQ(0u, LogCount(" WARN "));
}

TEST_F(sim_KeySet, SaveKeepsEveryValue)
{
    WriteKeySet(R"(; every value a Key set can hold
[Reader Second Reader]
Type=12
Available=no
Key=Odd

[Reader First Reader]
Key=Plain

[Reader Empty Reader]

[Key Plain]
CardType=3
MakerArea=7000

[Key Odd]
CardType=none
TransportKey=a1b2c3d4e5f60718
Tries=2
MaxTries=7
Capacity=64000
MakerArea=100
OtherApps= Mail : 3000 , Vpn:1500
InitStatus=-7
CannotUnformat=true
UnformatMs=5
FormatMs=6
FailNextUnformat=0x80100001
FailNextFormat=2148532254
PullDuringNextUnformat=yes
PullDuringNextFormat=1

[Key Spare]
CardType=13
Credential="  MOLDIRA+  "
)");
    Load();
    Credential empty{};
    const int handle = Open("First Reader");
    EXPECT_TRUE(UnformatCard(handle, empty.data(), kKeepOtherData)) << "a change, so the set is saved";
    EXPECT_EQ(0, CloseReader(handle));

    const struct {
        const char* section;
        const char* name;
        const char* value;
    } values[] = {
        {"Reader Second Reader", "Type", "12"},
        {"Reader Second Reader", "Available", "no"},
        {"Reader Second Reader", "Key", "Odd"},
        {"Reader First Reader", "Type", "30"},
        {"Reader First Reader", "Available", "yes"},
        {"Reader Empty Reader", "Key", ""},
        {"Key Plain", "MakerArea", "0"},
        {"Key Odd", "CardType", "none"},
        {"Key Odd", "TransportKey", "A1B2C3D4E5F60718"},
        {"Key Odd", "Credential", "(missing)"},
        {"Key Odd", "Tries", "2"},
        {"Key Odd", "MaxTries", "7"},
        {"Key Odd", "Capacity", "64000"},
        {"Key Odd", "MakerArea", "100"},
        {"Key Odd", "OtherApps", "Mail:3000,Vpn:1500"},
        {"Key Odd", "InitStatus", "-7"},
        {"Key Odd", "CannotUnformat", "yes"},
        {"Key Odd", "UnformatMs", "5"},
        {"Key Odd", "FormatMs", "6"},
        {"Key Odd", "FailNextUnformat", "0x80100001"},
        {"Key Odd", "FailNextFormat", "0x8010001E"},
        {"Key Odd", "PullDuringNextUnformat", "yes"},
        {"Key Odd", "PullDuringNextFormat", "yes"},
        {"Key Spare", "CardType", "13"},
        {"Key Spare", "Credential", "  MOLDIRA+  "},
    };
    for (const auto& v : values)
        EXPECT_EQ(v.value, Saved(v.section, v.name)) << "[" << v.section << "] " << v.name;

    const std::string text = ReadWholeFile(KeySetPath());
    const size_t second = text.find("[Reader Second Reader]");
    const size_t first = text.find("[Reader First Reader]");
    const size_t emptyReader = text.find("[Reader Empty Reader]");
    EXPECT_TRUE(second < first && first < emptyReader) << "readers keep their order:\n" << text;

    Reload();
    EXPECT_STREQ("Second Reader", EnumReaders(0));
    EXPECT_STREQ("First Reader", EnumReaders(1));
    EXPECT_STREQ("Empty Reader", EnumReaders(2));
    EXPECT_EQ(nullptr, EnumReaders(3));
    EXPECT_EQ(0u, LogCount(" WARN ")) << "the saved set reads back cleanly";
}

TEST_F(sim_KeySet, UnusableValuesAreLoggedAndDefaulted)
{
    WriteKeySet(R"([Reader R]
Type=thirty
Available=maybe
Key=K
[Reader Lost]
Key=Nowhere
[Reader Twin]
Key=K
[Settings]
Colour=blue
[Key K]
CardType=3
TransportKey=XYZ
Tries=many
Capacity=-5
MakerArea=0
OtherApps=Mail
UnformatMs=soon
)");
    Load();
    EXPECT_STREQ("R", EnumReaders(0));
    EXPECT_EQ(30, GetReaderType("R")) << "default type";
    EXPECT_EQ(kNoHandle, StatusOf("Lost")) << "a missing Key section leaves the reader empty";
    EXPECT_EQ(kNoHandle, StatusOf("Twin")) << "a Key is in one reader only";
    const int handle = Open("R");
    ASSERT_NE(kNoHandle, handle) << "default availability";
    Credential anything = TextCredential("anything");
    EXPECT_TRUE(UnformatCard(handle, anything.data(), kKeepOtherData)) << "no usable credential";
    EXPECT_TRUE(FormatCard(handle, anything.data(), "", nullptr, kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_EQ("32000", Saved("Key K", "MakerArea")) << "default capacity, no other apps";
    for (const char* value : {"Type=\"thirty\"", "Available=\"maybe\"", "TransportKey=\"XYZ\"", "Tries=\"many\"",
                              "Capacity=\"-5\"", "OtherApps=\"Mail\"", "UnformatMs=\"soon\"", "[Settings]",
                              "Key=\"Nowhere\"", "Key=\"K\" is already in another reader"})
        EXPECT_EQ(1u, LogCount(value)) << value;
    EXPECT_EQ(10u, LogCount(" WARN "));
}

TEST_F(sim_KeySet, NextWalkSeesKeysPluggedInMeanwhile)
{
    WriteKeySet("[Reader R]\nKey=\n[Key K]\nCardType=3\nMakerArea=7000\n");
    Load();
    EXPECT_STREQ("R", EnumReaders(0));
    EXPECT_EQ(kNoHandle, StatusOf("R"));
    const int held = InitReader("R");

    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nMakerArea=7000\n");
    EXPECT_STREQ("R", EnumReaders(0));
    EXPECT_EQ(kNoHandle, InitCard(held, 0)) << "not while a reader is open";
    EXPECT_EQ(0, CloseReader(held));
    EXPECT_EQ(kNoHandle, StatusOf("R")) << "only a new walk reads the file again";
    EXPECT_STREQ("R", EnumReaders(0));
    EXPECT_EQ(0, StatusOf("R"));
}

TEST_F(sim_KeySet, KeptInMemoryWhenTheFolderCannotBeWritten)
{
    const std::string path = folder_.file("no such folder\\keys.ini");
    SetEnvironmentVariableA("CARDWYN_SIM", path.c_str());
    Load();
    EXPECT_STREQ("Simulated Reader 0", EnumReaders(0)) << "the built-in set";
    const int handle = Open("Simulated Reader 0");
    Credential pin = TextCredential("24682468");
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_STREQ("Simulated Reader 0", EnumReaders(0));
    EXPECT_EQ(kKeyNotFormatted, StatusOf("Simulated Reader 0")) << "the change is kept in memory";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    EXPECT_EQ(1u, LogCount(" WARN Key set not saved to "));
    const std::vector<std::string> expected = {"calls.log", "cardwyn32.dll"};
    EXPECT_EQ(expected, FolderContent());
}

TEST_F(sim_Faults, FailNextFormatFiresOnceAfterTheCredential)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=11\nCredential=TRUVOSEK\nMakerArea=7000\n"
                "FailNextFormat=0x80100001\n");
    Load();
    const int handle = Open("R");
    Credential right = TextCredential("TRUVOSEK");
    Credential wrong = TextCredential("TRUVOSEX");
    const DWORD space = 7000;
    EXPECT_TRUE(UnformatCard(handle, right.data(), kKeepOtherData)) << "only FormatCard fails";
    EXPECT_FALSE(FormatCard(handle, wrong.data(), "", &space, kKeepOtherData));
    EXPECT_EQ(Hex(kScardInvalidChv), Hex(GetLastError()));
    EXPECT_EQ("0x80100001", Saved("Key K", "FailNextFormat")) << "still pending";
    EXPECT_FALSE(FormatCard(handle, right.data(), "", &space, kKeepOtherData));
    EXPECT_EQ(Hex(kScardInternalError), Hex(GetLastError()));
    EXPECT_EQ("(missing)", Saved("Key K", "FailNextFormat")) << "fired";
    EXPECT_EQ("0", Saved("Key K", "MakerArea"));
    EXPECT_TRUE(FormatCard(handle, right.data(), "", &space, kKeepOtherData));
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Faults, FailNextUnformatFiresOnce)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nMakerArea=7000\nFailNextUnformat=0x80100068\n");
    Load();
    const int handle = Open("R");
    Credential empty{};
    EXPECT_FALSE(UnformatCard(handle, empty.data(), kKeepOtherData));
    EXPECT_EQ(Hex(0x80100068), Hex(GetLastError()));
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
    EXPECT_EQ("(missing)", Saved("Key K", "FailNextUnformat"));
    EXPECT_TRUE(UnformatCard(handle, empty.data(), kKeepOtherData));
    EXPECT_EQ("0", Saved("Key K", "MakerArea"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Faults, KeyPulledDuringUnformat)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nMakerArea=7000\nOtherApps=Mail:3000\n"
                "UnformatMs=200\nPullDuringNextUnformat=yes\n");
    Load();
    const int handle = Open("R");
    Credential empty{};
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(UnformatCard(handle, empty.data(), kClearAllData));
    EXPECT_EQ(Hex(kScardRemovedCard), Hex(GetLastError()));
    EXPECT_GE(GetTickCount64() - start, 90u) << "pulled half way";
    EXPECT_EQ("0", Saved("Key K", "MakerArea")) << "the maker's area went first";
    EXPECT_EQ("Mail:3000", Saved("Key K", "OtherApps")) << "other data not yet touched";
    EXPECT_EQ("(missing)", Saved("Key K", "PullDuringNextUnformat"));

    const DWORD space = 7000;
    EXPECT_FALSE(FormatCard(handle, empty.data(), "", &space, kKeepOtherData));
    EXPECT_EQ(Hex(kScardRemovedCard), Hex(GetLastError())) << "the Key is gone from this handle";
    EXPECT_EQ(kNoHandle, InitCard(handle, 0));
    EXPECT_EQ(0, CloseReader(handle));

    EXPECT_EQ(kKeyNotFormatted, StatusOf("R")) << "plugged in again";
    Reload();
    EXPECT_EQ(kKeyNotFormatted, StatusOf("R"));
    const int again = Open("R");
    EXPECT_TRUE(UnformatCard(again, empty.data(), kClearAllData)) << "fired once";
    EXPECT_EQ("", Saved("Key K", "OtherApps"));
    EXPECT_EQ(0, CloseReader(again));
}

TEST_F(sim_Faults, KeyPulledDuringFormat)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nMakerArea=0\nPullDuringNextFormat=yes\n");
    Load();
    const int handle = Open("R");
    Credential empty{};
    const DWORD space = 7000;
    EXPECT_FALSE(FormatCard(handle, empty.data(), "", &space, kKeepOtherData));
    EXPECT_EQ(Hex(kScardRemovedCard), Hex(GetLastError()));
    EXPECT_EQ("0", Saved("Key K", "MakerArea")) << "nothing written";
    EXPECT_EQ("(missing)", Saved("Key K", "PullDuringNextFormat"));
    EXPECT_EQ(0, CloseReader(handle));
    const int again = Open("R");
    EXPECT_TRUE(FormatCard(again, empty.data(), "", &space, kKeepOtherData));
    EXPECT_EQ("7000", Saved("Key K", "MakerArea"));
    EXPECT_EQ(0, CloseReader(again));
}
