#include "sim_library.h"

#include "support/test_paths.h"

namespace {

class sim_Space : public SimLibraryTest {};

DWORD Elapsed(ULONGLONG since) { return static_cast<DWORD>(GetTickCount64() - since); }

} // namespace

TEST_F(sim_Space, UnformatRemovesTheMakersAreaOnly)
{
    const struct {
        int flags;
        const char* otherAppsAfter;
    } cases[] = {
        {kKeepOtherData, "Mail:3000,Vpn:1500"},
        {kClearAllData, ""},
    };
    for (const auto& c : cases) {
        WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nCapacity=32000\nMakerArea=7000\n"
                    "OtherApps=Mail:3000, Vpn:1500\n");
        Load();
        int status = 99;
        const int handle = Open("R", &status);
        EXPECT_EQ(0, status) << "flags " << c.flags;
        Credential credential{};
        EXPECT_TRUE(UnformatCard(handle, credential.data(), c.flags)) << "flags " << c.flags;
        EXPECT_EQ("0", Saved("Key K", "MakerArea")) << "flags " << c.flags;
        EXPECT_EQ(c.otherAppsAfter, Saved("Key K", "OtherApps")) << "flags " << c.flags;
        EXPECT_EQ("32000", Saved("Key K", "Capacity")) << "flags " << c.flags;
        EXPECT_EQ(0, CloseReader(handle));
        EXPECT_EQ(kKeyNotFormatted, StatusOf("R")) << "flags " << c.flags << ": reopened";
        Unload();
    }
}

TEST_F(sim_Space, UnformatOfAnUnformattedKeySucceeds)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=8\nCredential=24682468\nMakerArea=0\nOtherApps=Mail:10\n");
    Load();
    int status = 99;
    const int handle = Open("R", &status);
    EXPECT_EQ(kKeyNotFormatted, status);
    Credential credential = TextCredential("24682468");
    EXPECT_TRUE(UnformatCard(handle, credential.data(), kKeepOtherData));
    EXPECT_EQ("0", Saved("Key K", "MakerArea"));
    EXPECT_EQ("Mail:10", Saved("Key K", "OtherApps"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Space, FormatCreatesTheMakersAreaInTheFreeSpace)
{
    const struct {
        DWORD capacity;
        const char* otherApps;
        DWORD request; // 0: a null request, occupy all free space
        int flags;
        DWORD error;
        const char* areaAfter;
        const char* otherAppsAfter;
    } cases[] = {
        {32000, "Mail:3000,Vpn:1500", 7000, kKeepOtherData, 0, "7000", "Mail:3000,Vpn:1500"},
        {32000, "Mail:3000,Vpn:1500", 27500, kKeepOtherData, 0, "27500", "Mail:3000,Vpn:1500"},
        {32000, "Mail:3000,Vpn:1500", 27501, kKeepOtherData, kScardNoMemory, "0", "Mail:3000,Vpn:1500"},
        {32000, "Mail:3000,Vpn:1500", 0, kKeepOtherData, 0, "27500", "Mail:3000,Vpn:1500"},
        {32000, "", 0, kKeepOtherData, 0, "32000", ""},
        {5000, "Mail:4500", 7000, kKeepOtherData, kScardNoMemory, "0", "Mail:4500"},
        {5000, "Mail:4500", 0, kKeepOtherData, 0, "500", "Mail:4500"},
        {4500, "Mail:4500", 0, kKeepOtherData, kScardNoMemory, "0", "Mail:4500"},
        {4500, "Mail:4000,Vpn:1000", 0, kKeepOtherData, kScardNoMemory, "0", "Mail:4000,Vpn:1000"},
        {4500, "Mail:4500", 4500, kClearAllData, 0, "4500", ""},
        {4500, "Mail:4500", 0, kClearAllData, 0, "4500", ""},
        {0, "", 0, kClearAllData, kScardNoMemory, "0", ""},
    };
    for (const auto& c : cases) {
        const std::string what = "capacity " + std::to_string(c.capacity) + ", other apps \"" + c.otherApps +
                                 "\", request " + (c.request ? std::to_string(c.request) : "NULL") + ", flags " +
                                 std::to_string(c.flags);
        WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nCapacity=" + std::to_string(c.capacity) +
                    "\nMakerArea=0\nOtherApps=" + c.otherApps + "\n");
        Load();
        int status = 99;
        const int handle = Open("R", &status);
        EXPECT_EQ(kKeyNotFormatted, status) << what;
        Credential credential{};
        SetLastError(0);
        const BOOL ok = FormatCard(handle, credential.data(), "", c.request ? &c.request : nullptr, c.flags);
        EXPECT_EQ(c.error == 0, ok != 0) << what;
        EXPECT_EQ(Hex(c.error), Hex(ok ? 0 : GetLastError())) << what;
        EXPECT_EQ(c.areaAfter, Saved("Key K", "MakerArea")) << what;
        EXPECT_EQ(c.otherAppsAfter, Saved("Key K", "OtherApps")) << what;
        EXPECT_EQ(0, CloseReader(handle)) << what;
        EXPECT_EQ(c.error ? kKeyNotFormatted : 0, StatusOf("R")) << what << ": reopened";
        Unload();
    }
}

TEST_F(sim_Space, FormatReplacesAnExistingMakersArea)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nCapacity=10000\nMakerArea=7000\nOtherApps=Mail:2000\n");
    Load();
    const int handle = Open("R");
    Credential credential{};
    const DWORD space = 8000;
    EXPECT_TRUE(FormatCard(handle, credential.data(), "", &space, kKeepOtherData));
    EXPECT_EQ("8000", Saved("Key K", "MakerArea"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Space, ZeroSpaceRequestIsInvalid)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=3\nCapacity=10000\nMakerArea=0\n");
    Load();
    const int handle = Open("R");
    Credential credential{};
    const DWORD zero = 0;
    EXPECT_FALSE(FormatCard(handle, credential.data(), "", &zero, kKeepOtherData));
    EXPECT_EQ(Hex(kScardInvalidParameter), Hex(GetLastError()));
    EXPECT_EQ(kKeyNotFormatted, InitCard(handle, 0));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Space, KeyThatCannotBeUnformatted)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=8\nCredential=24682468\nMaxTries=10\n"
                "MakerArea=7000\nOtherApps=Mail:10\nCannotUnformat=yes\n");
    Load();
    const std::string before = ReadWholeFile(KeySetPath());
    const int handle = Open("R");
    for (const char* pin : {"24682468", "wrong"}) {
        Credential credential = TextCredential(pin);
        for (int flags : {kKeepOtherData, kClearAllData}) {
            SetLastError(0);
            EXPECT_FALSE(UnformatCard(handle, credential.data(), flags)) << pin << ", flags " << flags;
            EXPECT_EQ(Hex(kScardUnsupportedFeature), Hex(GetLastError())) << pin << ", flags " << flags;
        }
    }
    EXPECT_EQ(before, ReadWholeFile(KeySetPath())) << "refused before the credential: no try used";
    Credential right = TextCredential("24682468");
    const DWORD space = 5000;
    EXPECT_TRUE(FormatCard(handle, right.data(), "", &space, kKeepOtherData)) << "formatting still works";
    EXPECT_EQ("5000", Saved("Key K", "MakerArea"));
    EXPECT_EQ("10", Saved("Key K", "Tries"));
    EXPECT_EQ("Mail:10", Saved("Key K", "OtherApps"));
    EXPECT_EQ(0, CloseReader(handle));
}

TEST_F(sim_Space, SlowOperationsTakeTheirTime)
{
    WriteKeySet("[Reader R]\nKey=K\n[Key K]\nCardType=8\nCredential=24682468\nMakerArea=7000\n"
                "UnformatMs=400\nFormatMs=300\n");
    Load();
    const int handle = Open("R");
    Credential wrong = TextCredential("wrong");
    Credential right = TextCredential("24682468");
    const DWORD space = 7000;

    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(UnformatCard(handle, wrong.data(), kKeepOtherData));
    EXPECT_LT(Elapsed(start), 300u) << "a rejected credential answers at once";
    start = GetTickCount64();
    EXPECT_TRUE(UnformatCard(handle, right.data(), kKeepOtherData));
    EXPECT_GE(Elapsed(start), 380u) << "UnformatMs=400";
    start = GetTickCount64();
    EXPECT_TRUE(FormatCard(handle, right.data(), "", &space, kKeepOtherData));
    EXPECT_GE(Elapsed(start), 280u) << "FormatMs=300";
    EXPECT_EQ(0, CloseReader(handle));
}
