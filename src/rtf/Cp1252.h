#pragma once

#include <cstdint>

// Windows code page 1252, the code page our RTF names and the one a reader
// assumes when a file names none. Bytes below 0x80 and from 0xA0 up are the
// same code points as Latin-1; only 0x80..0x9F differ. The five bytes that
// Windows leaves undefined map to the C1 control of the same value, as
// MultiByteToWideChar does, so every byte has a character and back.
namespace Cp1252 {

inline constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

inline constexpr char16_t toUnicode(unsigned char byte)
{
    return (byte >= 0x80 && byte < 0xA0) ? kHigh[byte - 0x80] : char16_t(byte);
}

// The byte for a character, or -1 when code page 1252 has none.
inline constexpr int fromUnicode(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return ch;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == ch)
            return 0x80 + i;
    return -1;
}

}  // namespace Cp1252
