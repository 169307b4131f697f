#include "dialogs/hex.h"

namespace {

// Case is folded by clearing bit 5; anything that is not A to F keeps its low four bits,
// which is right for '0' to '9' and gives some nibble for every other character.
unsigned char NibbleOf(char c)
{
    const unsigned char raw = static_cast<unsigned char>(c);
    const unsigned char folded = raw & 0xDF;
    if (folded >= 'A' && folded <= 'F')
        return (folded + 9) & 0x0F;
    return raw & 0x0F;
}

char DigitOf(unsigned nibble)
{
    return static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
}

} // namespace

void HexToBytes(unsigned char* bytes, const char* text, int count)
{
    // An odd count takes the character after the last one (the terminator) as low nibble.
    const int rounded = (count + 1) & ~1;
    for (int i = 0; i < rounded; i += 2)
        bytes[i / 2] = static_cast<unsigned char>(NibbleOf(text[i]) << 4 | NibbleOf(text[i + 1]));
}

void BytesToHex(char* text, const unsigned char* bytes, int digits)
{
    int i = 0;
    for (; i < digits; ++i) {
        const unsigned char byte = bytes[i / 2];
        text[i] = DigitOf(i % 2 == 0 ? byte >> 4 : byte & 0x0F);
    }
    text[i] = '\0';
}
