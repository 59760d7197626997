// SPDX-License-Identifier: MIT
#include "search/lengthconv.h"

#include <algorithm>
#include <string>

// The number is rounded from its decimal digits, not through a double: "2.50000000000000001" is above the
// half, yet the nearest double is exactly 2.5, which would round to 2.
std::optional<qint16> convertToInt16(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype n = trimmed.size();
    qsizetype i = 0;
    auto at = [&](qsizetype k) { return k < n ? trimmed.at(k).unicode() : char16_t(0); };
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };

    // [sign] digits [. digits] [e [sign] digits], with at least one digit in the mantissa.
    bool negative = false;
    if (at(i) == u'+' || at(i) == u'-')
        negative = at(i++) == u'-';
    std::string mantissa; // every mantissa digit, without the point
    qint64 scale = 0;     // the value is mantissa x 10^scale
    while (isDigit(at(i)))
        mantissa.push_back(char(at(i++)));
    if (at(i) == u'.') {
        ++i;
        while (isDigit(at(i))) {
            mantissa.push_back(char(at(i++)));
            --scale;
        }
    }
    if (mantissa.empty())
        return std::nullopt;
    if (at(i) == u'e' || at(i) == u'E') {
        ++i;
        bool negativeExponent = false;
        if (at(i) == u'+' || at(i) == u'-')
            negativeExponent = at(i++) == u'-';
        if (!isDigit(at(i)))
            return std::nullopt;
        qint64 exponent = 0;
        while (isDigit(at(i))) // saturates far beyond any text that could still hold a 16-bit number
            exponent = std::min<qint64>(exponent * 10 + (at(i++) - u'0'), qint64(1) << 40);
        scale += negativeExponent ? -exponent : exponent;
    }
    if (i != n)
        return std::nullopt;

    mantissa.erase(0, mantissa.find_first_not_of('0'));
    if (mantissa.empty())
        return qint16(0);
    // The whole part is the mantissa without its last -scale digits (or with scale zeros added).
    const qint64 wholeDigits = qint64(mantissa.size()) + scale;
    if (wholeDigits > 5) // at least 100000
        return std::nullopt;
    qint64 whole = 0;
    for (qint64 k = 0; k < wholeDigits; ++k)
        whole = whole * 10 + (k < qint64(mantissa.size()) ? mantissa[size_t(k)] - '0' : 0);

    // Compare the dropped digits with one half: above rounds up, exactly a half goes to the even neighbour.
    bool up = false;
    if (wholeDigits >= 0 && wholeDigits < qint64(mantissa.size())) {
        const char next = mantissa[size_t(wholeDigits)];
        const bool beyondHalf = mantissa.find_first_not_of('0', size_t(wholeDigits) + 1) != std::string::npos;
        up = next > '5' || (next == '5' && (beyondHalf || whole % 2 == 1));
    }
    const qint64 value = (negative ? -1 : 1) * (whole + (up ? 1 : 0));
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return qint16(value);
}
