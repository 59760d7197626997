// SPDX-License-Identifier: MIT
#include "search/lengthconv.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

std::optional<qint16> convertToInt16(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 400)
        return std::nullopt;

    // Accept only [sign] digits [. digits] [e [sign] digits], with at least one digit in the mantissa.
    std::string ascii;
    ascii.reserve(trimmed.size());
    int i = 0;
    const int n = trimmed.size();
    auto at = [&](int k) { return k < n ? trimmed.at(k).unicode() : char16_t(0); };
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    if (at(i) == u'+' || at(i) == u'-')
        ascii.push_back(char(trimmed.at(i++).unicode()));
    int mantissaDigits = 0;
    while (isDigit(at(i))) {
        ascii.push_back(char(at(i++)));
        ++mantissaDigits;
    }
    if (at(i) == u'.') {
        ascii.push_back('.');
        ++i;
        while (isDigit(at(i))) {
            ascii.push_back(char(at(i++)));
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (at(i) == u'e' || at(i) == u'E') {
        ascii.push_back('e');
        ++i;
        if (at(i) == u'+' || at(i) == u'-')
            ascii.push_back(char(at(i++)));
        if (!isDigit(at(i)))
            return std::nullopt;
        while (isDigit(at(i)))
            ascii.push_back(char(at(i++)));
    }
    if (i != n)
        return std::nullopt;

    errno = 0;
    const double value = std::strtod(ascii.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode sends halves to even
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return static_cast<qint16>(rounded);
}
