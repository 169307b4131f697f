#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* line;
    int count;
    std::vector<const char*> words; // null for an empty slot
};

std::string Show(const char* word)
{
    if (word == nullptr)
        return "null";
    std::string quoted(1, '"');
    quoted.append(word);
    quoted.push_back('"');
    return quoted;
}

} // namespace

TEST(SplitCommandLine, SplitsWordsAndQuotes)
{
    const SplitCase cases[] = {
        {"", 0, {nullptr, nullptr, nullptr}},
        {"     ", 0, {nullptr, nullptr, nullptr}},
        {"format \"Reader 1 (USB)\" occupy_all", 3, {"format", "Reader 1 (USB)", "occupy_all"}},
        {"format    rdr     occupy_all", 3, {"format", "rdr", "occupy_all"}},
        {"unformat \"\"", 2, {"unformat", "", nullptr}},
        {"format \"Reader with no end", 2, {"format", "Reader with no end", nullptr}},
        {"\"format\"", 1, {"format", nullptr, nullptr}},
        {"ab\"cd ef\"", 1, {"cd ef", nullptr, nullptr}},
        {"\"one\"tail two", 2, {"one", "two", nullptr}},
        {"format   ", 1, {"format", nullptr, nullptr}},
        {"   format", 1, {"format", nullptr, nullptr}},
        {"format\trdr", 1, {"format\trdr", nullptr, nullptr}},
        {"Format rdr", 2, {"Format", "rdr", nullptr}},
        {"a b c d", 3, {"a", "b", "c"}},
        {"\"a b\" \"c d\" \"e f\"", 3, {"a b", "c d", "e f"}},
    };
    for (const SplitCase& c : cases) {
        std::string text = c.line;
        char* slots[3] = {text.data(), text.data(), text.data()};
        const int count = SplitCommandLine(3, slots, text.data());
        EXPECT_EQ(c.count, count) << "line [" << c.line << "]";
        for (int i = 0; i < 3; ++i) {
            const bool bothNull = c.words[i] == nullptr && slots[i] == nullptr;
            const bool same = c.words[i] && slots[i] && std::string(c.words[i]) == slots[i];
            EXPECT_TRUE(bothNull || same)
                << "line [" << c.line << "] slot " << i << ": expected " << Show(c.words[i])
                << ", got " << Show(slots[i]);
        }
    }
}

TEST(SplitCommandLine, LeavesAFourthWordUntouched)
{
    char text[] = "format rdr occupy_all fourth word";
    char* slots[3];
    ASSERT_EQ(3, SplitCommandLine(3, slots, text));
    EXPECT_STREQ("occupy_all", slots[2]);
    // Only the separator before the fourth word became a terminator.
    EXPECT_EQ(std::string("fourth word"), std::string(slots[2] + strlen("occupy_all") + 1));
}

TEST(SplitCommandLine, NoSlotsTouchesNothing)
{
    char text[] = "format rdr";
    char* sentinel = reinterpret_cast<char*>(0x1234);
    char* slots[1] = {sentinel};
    EXPECT_EQ(0, SplitCommandLine(0, slots, text));
    EXPECT_EQ(0, SplitCommandLine(-1, slots, text));
    EXPECT_EQ(sentinel, slots[0]);
    EXPECT_STREQ("format rdr", text);
}

TEST(SplitCommandLine, FewerSlotsThanWords)
{
    char text[] = "format \"My Reader\"";
    char* slots[1];
    EXPECT_EQ(1, SplitCommandLine(1, slots, text));
    EXPECT_STREQ("format", slots[0]);
}
