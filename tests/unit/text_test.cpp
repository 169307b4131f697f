#include "core/app_context.h"
#include "support/program_state.h"
#include "support/test_paths.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const char kExecutableLoadFailed[] = "An error occurred while loading plinth.dll!";

class Texts : public ::testing::Test {
protected:
    void SetUp() override { ResetProgramState(); }

    // The test libraries do not lie beside the test program, where the program looks for its
    // language library, so a variant is loaded by its path as the language module.
    void LoadLanguage(const std::string& variant)
    {
        if (variant.empty()) {
            ASSERT_TRUE(LoadLanguageLibrary("keyprep"));
            return;
        }
        const std::string path = JoinPath(JoinPath(TestDllDir(), variant), "keyprep_lang.dll");
        g_app.languageModule = LoadLibraryA(path.c_str());
        ASSERT_NE(nullptr, g_app.languageModule) << path;
    }
};

} // namespace

TEST_F(Texts, WithoutLanguageLibraryTheExecutableSpeaks)
{
    LoadLanguage("");
    EXPECT_EQ(GetModuleHandleA(nullptr), g_app.languageModule);
    EXPECT_STREQ("Key formatting utility", LoadText(19));
    EXPECT_STREQ(kExecutableLoadFailed, FormatTextArg(2518, "plinth.dll"));
}

TEST_F(Texts, LanguageLibraryOverridesStringByString)
{
    LoadLanguage("lang_caption_only");
    EXPECT_NE(GetModuleHandleA(nullptr), g_app.languageModule);
    EXPECT_STREQ("Test caption from the language library", LoadText(19));
    EXPECT_STREQ(kExecutableLoadFailed, FormatTextArg(2518, "plinth.dll"));
}

TEST_F(Texts, EmptyStringInLanguageLibraryFallsBack)
{
    LoadLanguage("lang_empty_caption");
    EXPECT_STREQ("Key formatting utility", LoadText(19));
    EXPECT_STREQ("Hilfe nicht verfuegbar", LoadText(2529));
}

TEST_F(Texts, MissingIdGivesEmptyText)
{
    char own[32];
    memset(own, 'x', sizeof own);
    EXPECT_EQ(own, LoadText(4711, own, sizeof own));
    EXPECT_STREQ("", own);
    LoadText(19);
    EXPECT_STREQ("", LoadText(4711));
    EXPECT_STREQ("", FormatTextArg(4711, "plinth.dll"));
}

TEST_F(Texts, CallerBufferBoundsTheText)
{
    char small[10];
    EXPECT_EQ(small, LoadText(19, small, sizeof small));
    EXPECT_STREQ("Key forma", small);
}

TEST_F(Texts, SharedBufferHoldsOnlyTheLastText)
{
    const char* first = LoadText(19);
    const char* second = LoadText(20);
    EXPECT_EQ(first, second);
    EXPECT_STREQ("Key formatting utility for tokens and smart cards.", first);
}

TEST_F(Texts, FormatsIntoCallerBuffer)
{
    char target[64];
    EXPECT_EQ(target, FormatTextArg(2518, "cardwyn32.dll", target, sizeof target));
    EXPECT_STREQ("An error occurred while loading cardwyn32.dll!", target);
}

TEST_F(Texts, HostileFormatsNeverReachTheFormatter)
{
    LoadLanguage("lang_hostile");
    EXPECT_STREQ("Hostile caption", LoadText(19));
    const struct {
        unsigned id;
        const char* expected;
    } cases[] = {
        {2518, kExecutableLoadFailed}, // "%s and %s %n": the executable's own format instead
        {2514, ""},                    // "%d...": and the executable's has no %s either
        {2425, ""},                    // sixteen %s for one argument
        {2529, ""},                    // "%*s" would read a width argument
        {2532, ""},                    // "%ls" is not a single-byte text
        {2542, "100% sure: plinth.dll  |"},
        {2320, ""},                    // a width that only serves to exhaust the output
        {2321, ""},                    // flags beyond any sensible conversion
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.expected, FormatTextArg(c.id, "plinth.dll")) << "string " << c.id;
}

TEST_F(Texts, FormattedTextIsCutToTheTarget)
{
    const std::string longName(3000, 'n');
    const std::string shared = FormatTextArg(2518, longName.c_str());
    EXPECT_EQ(1023u, shared.size());
    EXPECT_EQ(0u, shared.find("An error occurred while loading nnn"));

    char target[20];
    memset(target, 'x', sizeof target);
    FormatTextArg(2518, longName.c_str(), target, sizeof target);
    EXPECT_STREQ("An error occurred w", target);
}

TEST_F(Texts, FaultWhileFormattingGivesEmptyText)
{
    char target[64] = "previous";
    const char* unreadable = reinterpret_cast<const char*>(0x10);
    EXPECT_EQ(target, FormatTextArg(2518, unreadable, target, sizeof target));
    EXPECT_STREQ("", target);
    // The guard is left in order: the next text formats normally.
    EXPECT_STREQ(kExecutableLoadFailed, FormatTextArg(2518, "plinth.dll"));
}

// The program's printf runs on the system's msvcrt, whose own cut texts lack the NUL and
// report -1: callers rely on a terminated text and the length the whole one needs.
TEST(Printf, CutTextEndsWithANulAndReportsTheLengthItNeeds)
{
    char text[8];
    EXPECT_EQ(15, std::snprintf(text, sizeof text, "%s-0x%08lX", "abcd", 0x8010002EUL));
    EXPECT_STREQ("abcd-0x", text);
    EXPECT_EQ(7, std::snprintf(text, sizeof text, "%02d:%04u", 5, 42u));
    EXPECT_STREQ("05:0042", text) << "a text that just fits";
}
