// SPDX-License-Identifier: MIT
// Fuzzes the reading of the length box. Properties: the result equals an exact decimal reading of the text
// (the number grammar, halves to the even neighbour, the 16-bit range); blanks around the text change
// nothing; a sign in front mirrors the result.
#include "fuzzcheck.h"
#include "search/lengthconv.h"

#include <algorithm>
#include <cstdint>

namespace {
bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Reads [sign] digits [. digits] [e [sign] digits] without floating point: the digits stay text, the exponent
// only moves the decimal point, and rounding looks at the digits after the point.
std::optional<qint16> exactReading(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).isSpace())
        ++begin;
    while (end > begin && text.at(end - 1).isSpace())
        --end;
    const QStringView t = QStringView(text).mid(begin, end - begin);
    const qsizetype n = t.size();
    qsizetype i = 0;

    bool negative = false;
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    QByteArray digits;
    qint64 point = 0; // digits before the decimal point
    for (; i < n && isAsciiDigit(t[i]); ++i, ++point)
        digits += char(t[i].unicode());
    if (i < n && t[i] == u'.')
        for (++i; i < n && isAsciiDigit(t[i]); ++i)
            digits += char(t[i].unicode());
    if (digits.isEmpty())
        return std::nullopt;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            negativeExponent = t[i++] == u'-';
        if (i == n || !isAsciiDigit(t[i]))
            return std::nullopt;
        qint64 exponent = 0;
        for (; i < n && isAsciiDigit(t[i]); ++i)
            exponent = std::min<qint64>(exponent * 10 + (t[i].unicode() - u'0'), 1'000'000'000);
        point += negativeExponent ? -exponent : exponent;
    }
    if (i != n)
        return std::nullopt;

    const qsizetype zeros =
        std::find_if(digits.begin(), digits.end(), [](char c) { return c != '0'; }) - digits.begin();
    digits.remove(0, zeros);
    point -= zeros;
    if (digits.isEmpty())
        return qint16(0);
    if (point > 5) // the value is 0.d... times 10^point with d nonzero: at least 100000
        return std::nullopt;

    qint64 whole = 0;
    for (qint64 k = 0; k < point; ++k)
        whole = whole * 10 + (k < digits.size() ? digits[k] - '0' : 0);
    int first = 0;    // the first digit after the point
    bool more = true; // anything nonzero after that digit
    if (point >= 0) {
        first = point < digits.size() ? digits[point] - '0' : 0;
        more = point + 1 < digits.size() &&
               std::any_of(digits.begin() + point + 1, digits.end(), [](char c) { return c != '0'; });
    }
    const bool up = first > 5 || (first == 5 && (more || whole % 2 == 1));
    const qint64 value = (negative ? -1 : 1) * (whole + (up ? 1 : 0));
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return qint16(value);
}

QString shown(std::optional<qint16> value)
{
    return value ? QString::number(*value) : QStringLiteral("nothing");
}

void expectSame(const char* property, const QString& input, std::optional<qint16> got,
                std::optional<qint16> expected)
{
    if (got != expected)
        fuzzFail(property, input, QStringLiteral("got %1, expected %2").arg(shown(got), shown(expected)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<qint16> got = convertToInt16(text);
    expectSame("agrees with an exact decimal reading", text, got, exactReading(text));
    expectSame("blanks around the text change nothing", text,
               convertToInt16(QStringLiteral(" \t") + text + "\t "), got);

    const QString trimmed = text.trimmed();
    if (!trimmed.isEmpty() && (isAsciiDigit(trimmed.front()) || trimmed.front() == u'.')) {
        expectSame("a plus sign changes nothing", text, convertToInt16(u'+' + trimmed), got);
        const std::optional<qint16> negated = convertToInt16(u'-' + trimmed);
        // Only -32768 has no positive counterpart.
        if (got ? negated != qint16(-*got) : negated && *negated != -32768)
            fuzzFail("a minus sign mirrors the result", text,
                     QStringLiteral("without the sign %1, with it %2").arg(shown(got), shown(negated)));
    }
    return 0;
}
