#pragma once

// Converts `count` hexadecimal characters of `text` into (count + 1) / 2 bytes, high nibble
// first. No validation: any character gives a nibble (see the value rule in hex.cpp).
void HexToBytes(unsigned char* bytes, const char* text, int count);

// Writes `digits` upper-case hexadecimal digits of `bytes` and a terminator.
void BytesToHex(char* text, const unsigned char* bytes, int digits);
