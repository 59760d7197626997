// SPDX-License-Identifier: MIT
#include "search/utf8name.h"

namespace {

// Inlined into the loops below, which run over every name of a target check.
[[gnu::always_inline]] inline int sequenceLength(const unsigned char* s, std::size_t i, std::size_t n)
{
    const unsigned char b = s[i];
    if (b < 0x80)
        return 1;
    auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return k < n && s[k] >= lo && s[k] <= hi;
    };
    if (b >= 0xC2 && b <= 0xDF)
        return cont(i + 1) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const unsigned lo = b == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = b == 0xED ? 0x9F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const unsigned lo = b == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = b == 0xF4 ? 0x8F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

} // namespace

int utf8SequenceLength(const unsigned char* s, std::size_t i, std::size_t n)
{
    return sequenceLength(s, i, n);
}

std::size_t utf16Length(std::string_view name)
{
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    if (utf8detail::allAscii(name.data(), n))
        return n;
    std::size_t units = 0;
    for (std::size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++units;
            ++i;
            continue;
        }
        const int len = sequenceLength(s, i, n);
        units += len == 4 ? 2 : 1;
        i += len ? std::size_t(len) : 1;
    }
    return units;
}

void decodeUtf8(std::string_view name, std::u16string& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    out.resize(n); // never more units than bytes
    char16_t* o = out.data();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        switch (sequenceLength(s, i, n)) {
        case 2:
            *o++ = char16_t(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
            break;
        case 3:
            *o++ = char16_t(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
            break;
        case 4: {
            const char32_t c =
                ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            *o++ = char16_t(0xD800 + ((c - 0x10000) >> 10));
            *o++ = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            i += 4;
            break;
        }
        default:
            *o++ = u'\uFFFD';
            ++i;
        }
    }
    out.resize(std::size_t(o - out.data()));
}

bool isValidUtf8(std::string_view name)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
    for (std::size_t i = 0; i < name.size();) {
        const int length = sequenceLength(bytes, i, name.size());
        if (length == 0)
            return false;
        i += std::size_t(length);
    }
    return true;
}

void appendUtf8(std::u16string_view text, std::string& out)
{
    // Most text is ASCII throughout: its leading run goes in at once.
    std::size_t i = 0;
    while (i < text.size() && text[i] < 0x80)
        ++i;
    const std::size_t at = out.size();
    out.resize(at + i);
    for (std::size_t k = 0; k < i; ++k)
        out[at + k] = char(text[k]);
    for (; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            const bool pair =
                c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            c = pair ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00) : 0xFFFD;
        }
        appendCodePoint(c, out);
    }
}
