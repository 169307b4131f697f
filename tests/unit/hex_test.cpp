// HexToBytes and BytesToHex: the transport key's conversions between digits and bytes.
#include "dialogs/hex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kUntouched = 0xA5;

std::string Hex(const unsigned char* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace

TEST(HexToBytes, ConvertsPairsHighNibbleFirst)
{
    const struct {
        const char* text;
        int count;
        const char* bytes; // what is written, as upper-case hex
    } cases[] = {
        {"1f", 2, "1F"},
        {"1F", 2, "1F"},
        {"00", 2, "00"},
        {"ff", 2, "FF"},
        {"0123456789ABCDEF", 16, "0123456789ABCDEF"},
        {"0123456789abcdef", 16, "0123456789ABCDEF"},
        {"aAbBcCdDeEfF", 12, "AABBCCDDEEFF"},
        {"1122334455667788FFFF", 16, "1122334455667788"}, // the rest is not read
        {"0123456789ABCDEF", 4, "0123"},
    };
    for (const auto& c : cases) {
        unsigned char bytes[16];
        std::memset(bytes, kUntouched, sizeof bytes);
        HexToBytes(bytes, c.text, c.count);
        const size_t written = std::strlen(c.bytes) / 2;
        EXPECT_EQ(c.bytes, Hex(bytes, written)) << c.text << " n=" << c.count;
        for (size_t i = written; i < sizeof bytes; ++i)
            EXPECT_EQ(kUntouched, bytes[i]) << c.text << " n=" << c.count << ": byte " << i;
    }
}

TEST(HexToBytes, AnyOtherCharacterGivesItsLowFourBits)
{
    const struct {
        const char* text;
        const char* bytes;
    } cases[] = {
        {"G7", "77"}, {"g7", "77"}, {"z-", "AD"}, {"Z:", "AA"}, {"  ", "00"},
        {"0 ", "00"}, {" 1", "01"}, {"/?", "FF"}, {"@`", "00"}, {"Gg", "77"},
        {"\xC1\xE6", "16"}, // bytes above 0x7F fold to no letter either
    };
    for (const auto& c : cases) {
        unsigned char byte = kUntouched;
        HexToBytes(&byte, c.text, 2);
        EXPECT_EQ(c.bytes, Hex(&byte, 1)) << "text \"" << c.text << "\"";
    }
}

TEST(HexToBytes, OddCountTakesTheTerminatorAsLastLowNibble)
{
    unsigned char bytes[4];
    std::memset(bytes, kUntouched, sizeof bytes);
    HexToBytes(bytes, "ABC", 3);
    EXPECT_EQ("ABC0", Hex(bytes, 2));
    EXPECT_EQ(kUntouched, bytes[2]);

    // Not a terminator: the character after the n-th is still the low nibble.
    std::memset(bytes, kUntouched, sizeof bytes);
    HexToBytes(bytes, "1234", 1);
    EXPECT_EQ("12", Hex(bytes, 1));
    EXPECT_EQ(kUntouched, bytes[1]);
}

TEST(HexToBytes, ZeroOrNegativeCountWritesNothing)
{
    for (const int count : {0, -1, -2, -17}) {
        unsigned char bytes[2] = {kUntouched, kUntouched};
        HexToBytes(bytes, "1234", count);
        EXPECT_EQ(kUntouched, bytes[0]) << "n=" << count;
        EXPECT_EQ(kUntouched, bytes[1]) << "n=" << count;
    }
}

TEST(HexToBytes, LeavesTheTextAsItWas)
{
    char text[] = "abcdef12";
    unsigned char bytes[4];
    HexToBytes(bytes, text, 8);
    EXPECT_STREQ("abcdef12", text);
}

TEST(BytesToHex, WritesUpperCaseDigitsAndATerminator)
{
    const unsigned char bytes[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const struct {
        int digits;
        const char* text;
    } cases[] = {
        {16, "0123456789ABCDEF"}, {4, "0123"}, {1, "0"}, {3, "012"}, {15, "0123456789ABCDE"},
    };
    for (const auto& c : cases) {
        char text[20];
        std::memset(text, 'x', sizeof text);
        BytesToHex(text, bytes, c.digits);
        EXPECT_STREQ(c.text, text) << "n=" << c.digits;
        EXPECT_EQ('x', text[c.digits + 1]) << "n=" << c.digits << ": nothing after the terminator";
    }
}

TEST(BytesToHex, OddCountGivesOnlyTheHighNibbleOfTheLastByte)
{
    const unsigned char bytes[] = {0xAB, 0xCD};
    char text[8];
    BytesToHex(text, bytes, 3);
    EXPECT_STREQ("ABC", text);
}

TEST(BytesToHex, ZeroOrNegativeCountWritesAnEmptyText)
{
    const unsigned char bytes[] = {0x12};
    for (const int digits : {0, -1, -5}) {
        char text[4] = {'x', 'x', 'x', 'x'};
        BytesToHex(text, bytes, digits);
        EXPECT_EQ('\0', text[0]) << "n=" << digits;
        EXPECT_EQ('x', text[1]) << "n=" << digits;
    }
}

TEST(BytesToHex, RoundTripWithHexToBytesGivesTheSameEightBytes)
{
    const std::vector<std::vector<unsigned char>> keys = {
        {0, 0, 0, 0, 0, 0, 0, 0},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
        {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF},
        {0xA0, 0x0B, 0x10, 0x9F, 0xF9, 0x5A, 0xC3, 0x3C},
    };
    for (const auto& key : keys) {
        char digits[17];
        BytesToHex(digits, key.data(), 16);
        unsigned char back[8];
        std::memset(back, kUntouched, sizeof back);
        HexToBytes(back, digits, 16);
        EXPECT_EQ(Hex(key.data(), 8), Hex(back, 8)) << "digits " << digits;
    }
}
