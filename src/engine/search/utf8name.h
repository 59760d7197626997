// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// File names are bytes; the program counts and compares them as UTF-16. A byte that does not start a valid
// UTF-8 sequence stands for one U+FFFD, as in Qt's display of the name, so the length shown and the length
// tested agree. A leading byte-order mark is kept: it is a character of the name.

// The number of UTF-16 code units of the decoded name (a character outside the BMP counts 2).
std::size_t utf16Length(std::string_view name);

// Decodes into out (replacing its contents).
void decodeUtf8(std::string_view name, std::u16string& out);

// Length of the valid UTF-8 sequence starting at s[i] (1 to 4), or 0 when the byte there starts none; n is
// the length of s. The accepted second bytes follow the Unicode table of well-formed sequences: no overlong
// forms, no surrogates, nothing above U+10FFFF.
int utf8SequenceLength(const unsigned char* s, std::size_t i, std::size_t n);

// True when every byte of the name belongs to a valid UTF-8 sequence.
bool isValidUtf8(std::string_view name);

// Appends UTF-16 text as UTF-8 (a lone surrogate as U+FFFD), with no string made in between.
void appendUtf8(std::u16string_view text, std::string& out);
// Appends one code point as UTF-8.
inline void appendCodePoint(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out.push_back(char(c));
        return;
    }
    char bytes[4];
    int n;
    if (c < 0x800) {
        bytes[0] = char(0xC0 | (c >> 6));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = char(0xE0 | (c >> 12));
        bytes[1] = char(0x80 | ((c >> 6) & 0x3F));
        n = 3;
    } else {
        bytes[0] = char(0xF0 | (c >> 18));
        bytes[1] = char(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = char(0x80 | ((c >> 6) & 0x3F));
        n = 4;
    }
    bytes[n - 1] = char(0x80 | (c & 0x3F));
    out.append(bytes, std::size_t(n));
}

// The code point of the valid sequence of length (1 to 4, from utf8SequenceLength) at s.
inline char32_t codePointAt(const unsigned char* s, int length)
{
    switch (length) {
    case 2:
        return char32_t(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
    case 3:
        return char32_t(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
    case 4:
        return char32_t(((s[0] & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) | (s[3] & 0x3F));
    default:
        return s[0];
    }
}

namespace utf8detail {
inline bool allAscii(const char* p, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        __builtin_memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) & 0x80)
            return false;
    return true;
}
} // namespace utf8detail
