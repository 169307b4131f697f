#include "sim_library.h"

#include "support/test_paths.h"

#include <algorithm>

namespace {

class sim_DefaultSet : public SimLibraryTest {
protected:
    std::string BesideLibrary() const { return folder_.file("cardwyn-sim.ini"); }
    bool Exists(const std::string& path) const { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
};

} // namespace

TEST_F(sim_DefaultSet, UsedWhenThereIsNoFile)
{
    Load();
    EXPECT_STREQ("Simulated Reader 0", EnumReaders(0));
    EXPECT_EQ(nullptr, EnumReaders(1));
    EXPECT_EQ(kUsableReaderType, GetReaderType("Simulated Reader 0"));
    int status = 99;
    const int handle = Open("Simulated Reader 0", &status);
    EXPECT_EQ(0, status) << "formatted";
    int cardType = 0;
    GetCardType(handle, &cardType);
    EXPECT_EQ(8, cardType);
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_FALSE(Exists(BesideLibrary())) << "nothing written without a change";
}

TEST_F(sim_DefaultSet, WrittenBesideTheLibraryOnTheFirstChange)
{
    Load();
    const int handle = Open("Simulated Reader 0");
    Credential wrong = TextCredential("00000000");
    EXPECT_FALSE(UnformatCard(handle, wrong.data(), kClearAllData));
    EXPECT_EQ(Hex(kScardInvalidChv), Hex(GetLastError())) << "clear-all does not waive the SO PIN";
    ASSERT_TRUE(Exists(BesideLibrary())) << "a used try is a change";

    const struct {
        const char* section;
        const char* name;
        const char* value;
    } values[] = {
        {"Reader Simulated Reader 0", "Type", "30"},
        {"Key Token1", "CardType", "8"},
        {"Key Token1", "Credential", "24682468"},
        {"Key Token1", "Tries", "9"},
        {"Key Token1", "MaxTries", "10"},
        {"Key Token1", "Capacity", "32000"},
        {"Key Token1", "MakerArea", "7000"},
    };
    for (const auto& v : values)
        EXPECT_EQ(v.value, SavedFrom(BesideLibrary(), v.section, v.name)) << v.section << " " << v.name;
    const std::string otherApps = SavedFrom(BesideLibrary(), "Key Token1", "OtherApps");
    EXPECT_EQ(1, std::count(otherApps.begin(), otherApps.end(), ':')) << "one other application: " << otherApps;
    EXPECT_EQ(std::string::npos, otherApps.find(',')) << otherApps;

    Credential pin = TextCredential("24682468");
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    EXPECT_TRUE(FormatCard(handle, pin.data(), "", nullptr, kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    const DWORD otherSize = std::stoul(otherApps.substr(otherApps.find(':') + 1));
    EXPECT_EQ(std::to_string(32000 - otherSize), SavedFrom(BesideLibrary(), "Key Token1", "MakerArea"))
        << "all free space beside the other application";
    EXPECT_EQ("10", SavedFrom(BesideLibrary(), "Key Token1", "Tries"));

    Reload();
    EXPECT_STREQ("Simulated Reader 0", EnumReaders(0));
    EXPECT_EQ(0, StatusOf("Simulated Reader 0"));
    const std::vector<std::string> expected = {"calls.log", "cardwyn-sim.ini", "cardwyn32.dll"};
    EXPECT_EQ(expected, FolderContent());
}

TEST_F(sim_DefaultSet, FileBesideTheLibraryIsUsed)
{
    WriteWholeFile(BesideLibrary(), "[Reader Beside]\nKey=K\n[Key K]\nCardType=13\nMakerArea=0\n");
    Load();
    EXPECT_STREQ("Beside", EnumReaders(0));
    EXPECT_EQ(nullptr, EnumReaders(1));
    EXPECT_EQ(kKeyNotFormatted, StatusOf("Beside"));
}

TEST_F(sim_DefaultSet, VariableWinsOverTheFileBesideTheLibrary)
{
    WriteWholeFile(BesideLibrary(), "[Reader Beside]\nKey=\n");
    const std::string named = folder_.file("named.ini");
    SetEnvironmentVariableA("CARDWYN_SIM", named.c_str());
    Load();
    EXPECT_STREQ("Simulated Reader 0", EnumReaders(0)) << "a named file that does not exist yet";
    const int handle = Open("Simulated Reader 0");
    Credential pin = TextCredential("24682468");
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    EXPECT_EQ("0", SavedFrom(named, "Key Token1", "MakerArea")) << "written where the variable says";
    EXPECT_EQ("[Reader Beside]\nKey=\n", ReadWholeFile(BesideLibrary())) << "untouched";
}

TEST_F(sim_DefaultSet, MatchesTheShippedDefaultKeySet)
{
    Load();
    const int handle = Open("Simulated Reader 0");
    Credential pin = TextCredential("24682468");
    EXPECT_TRUE(UnformatCard(handle, pin.data(), kKeepOtherData));
    EXPECT_EQ(0, CloseReader(handle));
    Unload();

    const std::string shipped = JoinPath(SourceDir(), "sim\\keysets\\default.ini");
    // The built-in set after an Unformat and the shipped file after the same Unformat.
    const std::string builtIn = ReadWholeFile(BesideLibrary());
    DeleteFileA(BesideLibrary().c_str());
    ASSERT_TRUE(CopyFileA(shipped.c_str(), KeySetPath().c_str(), FALSE)) << shipped;
    SetEnvironmentVariableA("CARDWYN_SIM", KeySetPath().c_str());
    Load();
    const int again = Open("Simulated Reader 0");
    EXPECT_TRUE(UnformatCard(again, pin.data(), kKeepOtherData));
    EXPECT_EQ(0, CloseReader(again));
    EXPECT_EQ(builtIn, ReadWholeFile(KeySetPath()));
}
