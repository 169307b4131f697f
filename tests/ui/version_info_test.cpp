// The version readers against test libraries with chosen version records.
#include "support/test_paths.h"
#include "ui/version_info.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string VersionLibrary(const std::string& name)
{
    return JoinPath(JoinPath(TestDllDir(), "versions"), name + ".dll");
}

struct Record {
    char dotted[kVersionFieldSize];
    char path[kVersionFieldSize];
    char description[kVersionFieldSize];
    char productName[kVersionFieldSize];
    char productVersion[kVersionFieldSize];
    char legal[kVersionFieldSize];
};

Record ReadFile(const std::string& file)
{
    Record r;
    memset(&r, 'x', sizeof r);
    ReadVersionRecord(nullptr, file.c_str(), r.dotted, r.path, r.description, r.productName,
                      r.productVersion, r.legal);
    return r;
}

} // namespace

TEST(FileVersionText, MajorAndTwoDigitMinor)
{
    const struct {
        const char* library;
        const char* text;
    } cases[] = {{"v3_5_0_0", "3.05"},   {"v3_10_0_0", "3.10"}, {"v10_123_7_9", "10.123"},
                 {"v1_5_0_0", "1.05"},   {"v2_0_3_4", "2.00"},  {"v65535_65535_65535_65535", "65535.65535"}};
    for (const auto& c : cases) {
        char text[kVersionFieldSize] = "untouched";
        EXPECT_TRUE(GetFileVersionText(VersionLibrary(c.library).c_str(), text)) << c.library;
        EXPECT_STREQ(c.text, text) << c.library;
    }
}

TEST(FileVersionText, WithoutNameReadsTheRunningProgram)
{
    char text[kVersionFieldSize] = "untouched";
    ASSERT_TRUE(GetFileVersionText(nullptr, text));
    EXPECT_STREQ("1.13", text) << "the test program carries keyprep's version record";
}

TEST(FileVersionText, NoRecordLeavesTheTextAlone)
{
    char text[kVersionFieldSize] = "untouched";
    const std::string noRecord = JoinPath(JoinPath(TestDllDir(), "lang_caption_only"), "keyprep_lang.dll");
    EXPECT_FALSE(GetFileVersionText(noRecord.c_str(), text));
    EXPECT_FALSE(GetFileVersionText("Z:\\no\\such\\file.dll", text));
    EXPECT_STREQ("untouched", text);
}

// A fixed part of 2 bytes is no version: its numbers would be read from beyond the record.
TEST(FileVersionText, ShortFixedPartIsNoVersion)
{
    char text[kVersionFieldSize] = "untouched";
    EXPECT_FALSE(GetFileVersionText(VersionLibrary("short_fixed_part").c_str(), text));
    EXPECT_STREQ("untouched", text);
}

TEST(DottedVersion, LeavesOutWhatIsZero)
{
    const struct {
        const char* library;
        const char* dotted;
    } cases[] = {{"v1_5_0_0", "1.05"},         {"v1_13_0_0", "1.13"},       {"v1_13_1_0", "1.13.1"},
                 {"v1_13_0_7", "1.13.0.7"},    {"v2_0_3_4", "2.00.3.4"},    {"v10_123_7_9", "10.123.7.9"},
                 {"v65535_65535_65535_65535", "65535.65535.65535.65535"}};
    for (const auto& c : cases)
        EXPECT_STREQ(c.dotted, ReadFile(VersionLibrary(c.library)).dotted) << c.library;
}

TEST(VersionRecord, ReadsEveryString)
{
    const std::string file = VersionLibrary("v1_13_1_0");
    const Record r = ReadFile(file);
    EXPECT_STREQ("Versioned test library", r.productName);
    EXPECT_STREQ("7.1 beta", r.productVersion);
    EXPECT_STREQ("A library with a version", r.description);
    EXPECT_STREQ("Nobody", r.legal);
    EXPECT_EQ(0, _stricmp(file.c_str(), r.path)) << r.path;
}

// Without a product name, or without a whole translation to find it by.
TEST(VersionRecord, MissingProductNameLeavesEverythingUnknown)
{
    for (const char* library : {"no_product_name", "short_translation"}) {
        const Record r = ReadFile(VersionLibrary(library));
        for (const char* field : {r.productName, r.productVersion, r.description, r.legal, r.dotted})
            EXPECT_STREQ("Unknown", field) << library;
    }
}

TEST(VersionRecord, StopsAtTheFirstMissingString)
{
    const Record r = ReadFile(VersionLibrary("no_copyright"));
    EXPECT_STREQ("Named", r.productName);
    EXPECT_STREQ("7.1", r.productVersion);
    EXPECT_STREQ("Described", r.description);
    EXPECT_STREQ("Unknown", r.legal);
    EXPECT_STREQ("Unknown", r.dotted) << "the dotted version needs all four strings";
}

TEST(VersionRecord, FirstTranslationOnly)
{
    const Record r = ReadFile(VersionLibrary("two_translations"));
    EXPECT_STREQ("Erste Sprache", r.productName);
    EXPECT_STREQ("1.0 de", r.productVersion);
}

TEST(VersionRecord, LongValueIsCutTo259Characters)
{
    const Record r = ReadFile(VersionLibrary("long_value"));
    EXPECT_EQ(259u, strlen(r.productName));
    EXPECT_EQ(0, strncmp("abcdefghijabcdefghij", r.productName, 20));
}

TEST(VersionRecord, NoFileMeansUnknownEverywhere)
{
    const Record r = ReadFile("no-such-library-anywhere.dll");
    for (const char* field : {r.path, r.productName, r.productVersion, r.description, r.legal, r.dotted})
        EXPECT_STREQ("Unknown", field);
}

TEST(VersionRecord, OnlyTheRequestedOutputsAreWritten)
{
    char productVersion[kVersionFieldSize] = "untouched";
    ReadVersionRecord(GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr, nullptr,
                      productVersion, nullptr);
    EXPECT_STREQ("1.14", productVersion);
    char path[kVersionFieldSize] = "";
    ReadVersionRecord(nullptr, nullptr, nullptr, path, nullptr, nullptr, nullptr, nullptr);
    char own[MAX_PATH];
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    EXPECT_STREQ(own, path);
}
