// Checks the resources that the build put into keyprep.exe itself.
#include "support/dialog_template.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kCredentialStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kMasked = kEdit | ES_PASSWORD;
constexpr DWORD kOk = kChild | BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCancel = kChild | WS_TABSTOP;
constexpr DWORD kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kCentered = kChild | SS_CENTER | WS_GROUP;
constexpr DWORD kBox = kChild | BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kFrame = kChild | BS_GROUPBOX;

const char kClearAll[] = "Clear all Key's data";
const char kNote[] = "Note that this option will delete all previous data from the Key.";

struct ExpectedDialog {
    int id;
    bool extended;
    DWORD style;
    int cx, cy;
    std::vector<TemplateControl> controls;
};

class ProgramFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(JoinPath(BinDir(), "keyprep.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_) << "keyprep.exe not built in " << BinDir();
    }
    void TearDown() override { FreeLibrary(module_); }

    std::string resourceBytes(int id, LPCSTR type)
    {
        HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!found)
            return "";
        const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

std::vector<ExpectedDialog> ExpectedDialogs()
{
    const DWORD mainStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER |
                            DS_CONTEXTHELP | DS_SETFONT;
    const char soPinHelp[] = "Usually SO PIN is \"24682468\". If the Key doesn't have enough free "
                             "space for formatting you could select \"Clear all Key's data\" option.";
    const char adminHelp[] = "Usually Admin PIN is \"52738164\". \"Clear all Key's data\" option "
                             "should be set for formatting this type of Key.";
    const char passHelp[] = "Usually Pass Phrase is \"LANTERNS\" or empty. If you don't know the Pass "
                            "Phrase or your Key is finally blocked you could select \"Clear all "
                            "Key's data\" option to proceed without entering Pass Phrase. ";
    return {
        {101, true, mainStyle, 252, 82,
         {{1002, "Button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 176, 7, 72, 19, "&Format"},
          {1004, "Button", kChild | BS_PUSHBUTTON | WS_TABSTOP, 176, 31, 72, 19, "&Unformat"},
          {1032, "Button", kChild | BS_PUSHBUTTON | WS_TABSTOP, 176, 55, 72, 19, "Several &Keys"},
          {1003, "Static", kChild | SS_BITMAP | SS_NOTIFY | SS_REALSIZEIMAGE, 8, 13, 15, 13, ""},
          {1012, "Static", kCentered, 51, 18, 116, 21,
           "Key formatting utility for tokens and smart cards."},
          {9, "Button", kChild | BS_PUSHBUTTON | WS_TABSTOP, 51, 60, 55, 14, "&Help"},
          {1043, "Button", kChild | BS_PUSHBUTTON | WS_TABSTOP, 112, 60, 55, 14, "&About"}}},
        {107, false, kCredentialStyle, 180, 94,
         {{1015, "Static", kLabel, 7, 7, 166, 32,
           "Please enter Transport Key required for this type of Key."},
          {1041, "Static", kLabel, 7, 42, 166, 8, "T&ransport key:"},
          {1004, "Edit", kEdit, 7, 52, 166, 14, ""},
          {1, "Button", kOk, 38, 73, 50, 14, "OK"},
          {2, "Button", kCancel, 98, 73, 50, 14, "Cancel"}}},
        {119, false, kCredentialStyle, 180, 94,
         {{1015, "Static", kLabel, 7, 7, 166, 32,
           "Please enter Formatting password required for this type of Key."},
          {1041, "Static", kLabel, 7, 42, 166, 8, "Formatting &password:"},
          {1004, "Edit", kEdit, 7, 52, 166, 14, ""},
          {1, "Button", kOk, 38, 73, 50, 14, "OK"},
          {2, "Button", kCancel, 98, 73, 50, 14, "Cancel"}}},
        {112, false, kCredentialStyle, 153, 71,
         {{1017, "Static", kLabel, 7, 7, 139, 21, "Please enter PIN of the Key."},
          {1042, "Static", kLabel, 14, 33, 40, 8, "&PIN:"},
          {1008, "Edit", kMasked, 56, 30, 84, 14, ""},
          {1, "Button", kOk, 29, 51, 50, 14, "OK"},
          {2, "Button", kCancel, 89, 51, 50, 14, "Cancel"}}},
        {113, false, kCredentialStyle, 153, 71,
         {{1018, "Static", kLabel, 7, 7, 139, 21, "Please enter SO PIN of the Key."},
          {1022, "Static", kLabel, 14, 33, 40, 8, "&SO PIN:"},
          {1009, "Edit", kMasked, 56, 30, 84, 14, ""},
          {1, "Button", kOk, 29, 51, 50, 14, "OK"},
          {2, "Button", kCancel, 89, 51, 50, 14, "Cancel"}}},
        {118, false, kCredentialStyle, 243, 153,
         {{1018, "Static", kCentered, 40, 7, 166, 10, "Please enter SO PIN of the Key."},
          {1024, "Static", kLabel, 27, 18, 191, 27, soPinHelp},
          {-1, "Button", kFrame, 8, 48, 227, 52, ""},
          {1010, "Button", kBox, 14, 55, 205, 10, kClearAll},
          {1023, "Static", kCentered, 14, 68, 215, 26, kNote},
          {1022, "Static", kLabel, 14, 113, 67, 8, "&SO PIN:"},
          {1009, "Edit", kMasked, 84, 110, 126, 14, ""},
          {1, "Button", kOk, 66, 132, 50, 14, "OK"},
          {2, "Button", kCancel, 126, 132, 50, 14, "Cancel"}}},
        {120, false, kCredentialStyle, 243, 153,
         {{1026, "Static", kCentered, 40, 7, 166, 10, "Please enter Admin PIN of the Key."},
          {1028, "Static", kLabel, 27, 18, 191, 27, adminHelp},
          {-1, "Button", kFrame, 8, 48, 227, 52, ""},
          {1010, "Button", kBox, 14, 55, 205, 10, kClearAll},
          {1023, "Static", kCentered, 14, 68, 215, 26, kNote},
          {1027, "Static", kLabel, 14, 113, 67, 8, "Admin &PIN:"},
          {1025, "Edit", kMasked, 84, 110, 126, 14, ""},
          {1, "Button", kOk, 66, 132, 50, 14, "OK"},
          {2, "Button", kCancel, 126, 132, 50, 14, "Cancel"}}},
        {108, false, kCredentialStyle, 236, 164,
         {{1016, "Static", kCentered, 7, 7, 222, 10, "Please enter Pass Phrase of the Key."},
          {1019, "Static", kLabel, 10, 20, 221, 40, passHelp},
          {-1, "Button", kFrame, 4, 61, 227, 52, ""},
          {1010, "Button", kBox, 10, 68, 205, 10, kClearAll},
          {1023, "Static", kCentered, 10, 81, 215, 26, kNote},
          {1021, "Static", kLabel, 10, 124, 70, 8, "&Pass Phrase:"},
          {1011, "Edit", kMasked, 83, 121, 126, 14, ""},
          {1, "Button", kOk, 68, 142, 50, 14, "OK"},
          {2, "Button", kCancel, 128, 142, 50, 14, "Cancel"}}},
    };
}

const std::map<int, std::string>& ExpectedStrings()
{
    static const std::map<int, std::string> strings = {
        {1, "Please connect your Key to the computer and press OK."},
        {2, "This Key is already formatted for Veltrax applications. \n              Do you wish to reformat it?"},
        {3, "An error occurred while unformatting the Key. Please contact support@veltrax.example."},
        {4, "An error occurred while formatting the Key. Please contact support@veltrax.example."},
        {6, "An error occurred while initializing the Key. Please reconnect the Key and try again. If the problem remains please contact support@veltrax.example."},
        {8, "Incorrect formatting password. It should be 8 bytes long and written in hex."},
        {14, "Not enough free space on Key for formatting."},
        {16, "All your Veltrax applications data WILL BE LOST.\nNon-Veltrax applications data will not be affected. \n              Do you wish to continue?"},
        {19, "Key formatting utility"},
        {20, "Key formatting utility for tokens and smart cards."},
        {21, "Please enter Formatting password required for this type of Key."},
        {23, "Please enter Pass Phrase of the Key."},
        {24, "Please enter PIN of the Key."},
        {25, "Please enter SO PIN of the Key."},
        {26, "The SO PIN you entered is incorrect!"},
        {27, "Usually Pass Phrase is \"LANTERNS\" or empty. If you forgot the Pass Phrase or your Key is finally blocked you could select \"Clear all Key's data\" option to proceed without entering Pass Phrase."},
        {28, "Note that this option will delete all previous data from the Key."},
        {29, "&Pass Phrase:"},
        {30, "The Pass Phrase you entered is incorrect!"},
        {31, "Warning all previous data will be deleted from the Key!"},
        {32, "Serious ERROR occurred! Please don't try to format/unformat this Key any more and contact support@veltrax.example."},
        {33, "&SO PIN:"},
        {34, "Usually SO PIN is \"24682468\". If the Key doesn't have enough free space for formatting you could select \"Clear all Key's data\" option."},
        {35, "Usually Admin PIN is \"52738164\". \"Clear all Key's data\" option should be set for formatting this type of Key."},
        {36, "Admin &PIN:"},
        {37, "Please enter Admin PIN of the Key."},
        {38, "The Admin PIN you entered is incorrect!"},
        {39, "Usually Formatting password is"},
        {40, "Please enter Transport key required for this type of Key."},
        {41, "Usually Transport key is"},
        {42, "The Key has already refused this PIN. It was not sent again, so no try was used. Please check it and type the right one."},
        {43, "The Key has already refused this SO PIN. It was not sent again, so no try was used. Please check it and type the right one."},
        {44, "The Key has already refused this Admin PIN. It was not sent again, so no try was used. Please check it and type the right one."},
        {45, "The Key has already refused this Pass Phrase. It was not sent again, so no try was used. Please check it and type the right one."},
        {46, "The Key has already refused this transport key. It was not sent again, so no try was used. Please check it and type the right one."},
        {47, "The Key has already refused this formatting password. It was not sent again, so no try was used. Please check it and type the right one."},
        {48, "The Key's Pass Phrase is blocked after too many wrong entries. The Key can still be formatted: press "
             "Format again and tick \"Clear all Key's data\". This deletes all data from the Key."},
        {49, "More than one Key is connected. Choose the reader that holds the Key to format, then press OK."},
        {50, "More than one Key is connected. Choose the reader that holds the Key to unformat, then press OK."},
        {51, "&Readers with a Key:"},
        {52, "What you typed before this window appeared was not used, because part of it went elsewhere. "
             "Please type it again here."},
        {53, "No Key reader was found. Please connect the Key, or the card reader with the card in it, and try again."},
        {55, "The Key reader is not available: another program may be using it. Please close the other program that "
             "uses the Key, then try again."},
        {56, "The reader \"%s\" named on the command line was not found. Connected readers: %s. The name must match "
             "exactly, capital letters included."},
        {57, "The Key was removed while it was being formatted and may have lost its preparation. Please reconnect the "
             "Key and press Format again."},
        {58, "The Key was removed while it was being unformatted and may have lost its preparation. Please reconnect "
             "the Key and press Unformat again."},
        {59, "Not enough free space on Key for formatting. Press Format again and tick \"Clear all Key's data\": this "
             "deletes all data from the Key and frees all its space."},
        {60, "&PIN:"},
        {61, "T&ransport key:"},
        {62, "Formatting &password:"},
        {63, "This type of Key is only formatted with all its data cleared. Tick \"Clear all Key's data\" to go on."},
        {64, "&About"},
        {70, "Unable to activate Help! The help file readme.txt was not found beside the program. Please copy it into "
             "the program's folder, or install the program again."},
        {80, "Several &Keys"},
        {81, "Every Key that you connect to the reader \"%s\" until you press Stop will be formatted: its "
             "Veltrax data is erased and laid out anew. Data of other applications is kept. A Key that is in "
             "the reader already is the first one formatted.\n\nDo you wish to start?"},
        {82, "&Reformat Keys that already hold Veltrax data without asking"},
        {83, "Waiting for a Key in \"%s\". Connect the next Key."},
        {84, "Working on the Key in \"%s\". Do not remove it."},
        {85, "Done. Remove the Key from \"%s\"."},
        {86, "Keys formatted: %s    Failed: %s    Not formatted: %s"},
        {87, "S&top"},
        {88, "Sho&w receipts"},
        {89, "Use this for the &next Keys of this type. A Key with another one refuses it and loses one try."},
        {90, "Choose the reader in which you will connect the Keys, then press OK."},
        {91, "Cancelled."},
        {92, "The series has ended."},
        {93, "The receipts file cannot be written: %s"},
        {94, "&Start"},
        {95, "Failed: set this Key aside and remove it from \"%s\".\n%s"},
        {96, "Stopping after this Key. Do not remove it from \"%s\" yet."},
        {97, "Kept for the next Keys: %s"},
        {98, "Nothing is kept for the next Keys."},
        {99, "The kept %s was refused by this Key, which has lost one try. Nothing is kept any more: type the "
             "credentials again for the next Keys."},
        {100, "PIN"},
        {101, "SO PIN"},
        {102, "Admin PIN"},
        {103, "Pass Phrase"},
        {104, "transport key"},
        {105, "formatting password"},
        {106, "R&esults:"},
        {107, "Not started: the Key was removed before any work on it."},
        {108, "Skipped: the Key was left as it was."},
        {109, "The receipt of Key %s in \"%s\" (%s) could not be written to %s: %s\nThe series has stopped, so "
             "that no Key is formatted without a receipt."},
        {110, "The session ended while the Key was being worked on: its state is not known. Set it aside and "
             "format it again."},
        {111, "The Key was removed while it was being formatted and may have lost its preparation. Set it aside "
             "and format it again later."},
        {112, "Not enough free space on Key for formatting. Set it aside: formatted alone with \"Clear all Key's "
             "data\" ticked, it loses all its data and gets all its space."},
        {113, "The Key's Pass Phrase is blocked after too many wrong entries. Set it aside: formatted alone with "
             "\"Clear all Key's data\" ticked, it loses all its data and is formatted."},
        {114, "Not formatted. Remove the Key from \"%s\"."},
        {115, "Key %s: %s"},
        {116, "Receipts are kept on this computer until the share can be reached."},
        {130, "Clear all data on the Key in \"%s\"?\n\nEvery application's data on this Key is erased, not only Veltrax data, and cannot be brought back. No leaves the Key as it is."},
        {131, "Formatted"},
        {132, "FAILED"},
        {133, "Not formatted"},
        {134, "&Go on"},
        {135, "Failed: %s\nSet that Key aside. Waiting for the next Key in \"%s\"."},
        {136, "The series has ended. The last Key failed: %s"},
        {137, "Waiting for the first reader or token to appear. Connect it with a Key in it."},
        {138, "The reader \"%s\" is not connected. Connected readers: %s.\n\nA USB token appears as a reader only while it is plugged in. Wait for this reader to appear?"},
        {139, "No Key reader is connected. A USB token appears as a reader only while it is plugged in.\n\nWait for the first reader or token to appear?"},
        {140, "the first reader that appears"},
        {150, "Set by your administrator:"},
        {151, "Unformat is off."},
        {152, "Unformat is allowed."},
        {153, "Credentials are not kept for the next Keys."},
        {154, "Credentials may be kept for the next Keys."},
        {155, "Receipts folder: %s"},
        {156, "Unformat is turned off by your administrator (policy \"Allow Unformat\"). The Key was not changed; Format is still allowed."},
        {160, "Receipts that waited on this computer have reached the share."},
        {161, "Bytes of the receipts queue that are no receipt were kept aside in %s."},
        {162, "Receipts folder %s cannot be used: %s Receipts are written as without this setting."},
        {163, "it names an environment variable that is not set."},
        {164, "it is not a full path (a drive or \\\\server\\share)."},
        {165, "it ends in a space or a dot."},
        {166, "it is a file, not a folder."},
        {170, "%s is whole: receipts %s to %s, each there once, in order and unchanged."},
        {171, "%s is whole: receipts %s to %s, each there once, in order and unchanged. The first continues an earlier file, which is needed to check the receipts before it."},
        {172, "Line %s of %s: receipt %s is missing before it."},
        {173, "Line %s of %s: receipt %s is there twice."},
        {174, "Line %s of %s: receipt %s is out of order."},
        {175, "Line %s of %s: the receipt was changed after it was written, or is cut off."},
        {176, "%s cannot be read."},
        {177, "%s does not start with the header of a receipts file."},
        {178, "%s holds no receipts yet."},
        {2002, "Cancel"},
        {2007, "E&xit"},
        {2008, "&Format"},
        {2010, "&OK"},
        {2012, "&Unformat"},
        {2016, "&Clear all Key's data"},
        {2022, "&Help"},
        {2111, "Product version:"},
        {2114, "Cardwyn version:"},
        {2320, "Formatting . . ."},
        {2321, "Unformatting . . ."},
        {2425, "The process is successfully completed."},
        {2504, "The PIN you entered is incorrect!"},
        {2505, "PIN for this type of Key should be at least 4 characters!"},
        {2514, "The Key has not been found in the Key reader! Please insert the Key into the reader, or plug it in, "
               "and try again."},
        {2518, "An error occurred while loading %s!"},
        {2529, "Unable to activate Help!"},
        {2532, "Wrong formatting password!"},
        {2542, "Unable to unformat this type of Key!"},
        {2543, "The Key's PIN or password is blocked after too many wrong entries. Please contact support@veltrax.example."},
        {2600, "The key library stopped working. Close this program, reconnect the Key and start the program again."},
        {2601, "The About box is not available: the support library stopped working."},
    };
    return strings;
}

std::string Describe(const TemplateControl& c)
{
    char text[160];
    snprintf(text, sizeof text, "id %d %s style %08lx at %d,%d %dx%d", c.id, c.className.c_str(),
             c.style, c.x, c.y, c.cx, c.cy);
    return text + std::string(" \"") + c.text + "\"";
}

} // namespace

TEST_F(ProgramFile, DialogTemplatesAreExact)
{
    for (const ExpectedDialog& expected : ExpectedDialogs()) {
        const DialogTemplate dialog = ReadDialogTemplate(module_, expected.id);
        ASSERT_TRUE(dialog.found) << "dialog " << expected.id;
        EXPECT_EQ(expected.extended, dialog.extended) << "dialog " << expected.id;
        EXPECT_EQ(expected.style, dialog.style) << "dialog " << expected.id;
        EXPECT_EQ(expected.id == 101 ? DWORD(WS_EX_CONTEXTHELP) : 0u, dialog.exStyle)
            << "dialog " << expected.id;
        EXPECT_EQ(expected.cx, dialog.cx) << "dialog " << expected.id;
        EXPECT_EQ(expected.cy, dialog.cy) << "dialog " << expected.id;
        EXPECT_EQ("Key formatting utility", dialog.title) << "dialog " << expected.id;
        EXPECT_EQ("MS Shell Dlg", dialog.font) << "dialog " << expected.id;
        EXPECT_EQ(8, dialog.pointSize) << "dialog " << expected.id;
        ASSERT_EQ(expected.controls.size(), dialog.controls.size()) << "dialog " << expected.id;
        for (size_t i = 0; i < expected.controls.size(); ++i)
            EXPECT_EQ(Describe(expected.controls[i]), Describe(dialog.controls[i]))
                << "dialog " << expected.id << " control " << i;
    }
}

TEST_F(ProgramFile, StringTableIsExact)
{
    std::vector<int> present;
    for (int id = 0; id < 65536; ++id) {
        char text[1024];
        if (LoadStringA(module_, id, text, sizeof text) > 0)
            present.push_back(id);
    }
    std::vector<int> expectedIds;
    for (const auto& [id, text] : ExpectedStrings()) {
        expectedIds.push_back(id);
        char loaded[1024] = {};
        LoadStringA(module_, id, loaded, sizeof loaded);
        EXPECT_EQ(text, loaded) << "string " << id;
    }
    EXPECT_EQ(expectedIds, present);
}

TEST_F(ProgramFile, VersionRecord)
{
    const std::string path = JoinPath(BinDir(), "keyprep.exe");
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(13, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(14, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04b0, translation[1]);

    const std::map<std::string, std::string> values = {
        {"FileVersion", "1.13.1"},
        {"ProductVersion", "1.14"},
        {"FileDescription", "Key formatting utility"},
        {"ProductName", "Key formatting utility"},
        {"InternalName", "keyprep.exe"},
        {"OriginalFilename", "keyprep.exe"},
        {"CompanyName", "Veltrax"},
    };
    for (const auto& [key, value] : values) {
        char* text = nullptr;
        const std::string query = "\\StringFileInfo\\040904b0\\" + key;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << key;
        EXPECT_EQ(value, text) << key;
    }
}

TEST_F(ProgramFile, IconHasTwoImages)
{
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const std::string group = resourceBytes(110, RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(2, count);
    std::map<int, int> depthBySize;
    for (WORD i = 0; i < count; ++i) {
        const auto* entry = reinterpret_cast<const GroupEntry*>(group.data() + 6 + i * sizeof(GroupEntry));
        const std::string image = resourceBytes(entry->id, RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        EXPECT_EQ(header->biWidth * 2, header->biHeight);
        depthBySize[header->biWidth] = header->biBitCount;
    }
    EXPECT_EQ((std::map<int, int>{{16, 4}, {32, 8}}), depthBySize);
}

TEST_F(ProgramFile, BitmapsHaveTheirSizesAndDepths)
{
    const struct {
        int id, width, height, bits;
    } cases[] = {{5009, 49, 49, 24}, {5006, 413, 65, 8}};
    for (const auto& c : cases) {
        const std::string bitmap = resourceBytes(c.id, RT_BITMAP);
        ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER)) << "bitmap " << c.id;
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap.data());
        EXPECT_EQ(c.width, header->biWidth) << "bitmap " << c.id;
        EXPECT_EQ(c.height, std::abs(header->biHeight)) << "bitmap " << c.id;
        EXPECT_EQ(c.bits, header->biBitCount) << "bitmap " << c.id;
    }
}

TEST_F(ProgramFile, HandCursorIsMonochromeWithItsHotSpot)
{
    const std::string group = resourceBytes(5008, RT_GROUP_CURSOR);
    ASSERT_GE(group.size(), 20u);
    EXPECT_EQ(1, *reinterpret_cast<const WORD*>(group.data() + 4));
    const WORD imageId = *reinterpret_cast<const WORD*>(group.data() + 6 + 12);
    const std::string image = resourceBytes(imageId, RT_CURSOR);
    ASSERT_GE(image.size(), 4 + sizeof(BITMAPINFOHEADER));
    const WORD* hotSpot = reinterpret_cast<const WORD*>(image.data());
    EXPECT_EQ(6, hotSpot[0]);
    EXPECT_EQ(0, hotSpot[1]);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(image.data() + 4);
    EXPECT_EQ(32, header->biWidth);
    EXPECT_EQ(64, header->biHeight);
    EXPECT_EQ(1, header->biBitCount);
}

TEST_F(ProgramFile, ManifestAsksForCommonControlsSixAndDpiAwareness)
{
    const std::string manifest = resourceBytes(1, RT_MANIFEST);
    for (const char* part :
         {"<assemblyIdentity name=\"Veltrax\" version=\"1.0.0.0\" processorArchitecture=\"X86\" type=\"win32\"/>",
          "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
          "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"",
          "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
          "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, System</dpiAwareness>"})
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
}

TEST_F(ProgramFile, HasNoCredentialDialogIcon)
{
    EXPECT_EQ("", resourceBytes(105, RT_GROUP_ICON));
}
