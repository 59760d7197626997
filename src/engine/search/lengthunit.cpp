// SPDX-License-Identifier: MIT
#include "search/lengthunit.h"

#include "search/lengthconv.h"

#include <QRegularExpression>

std::optional<Comparison> comparisonAt(int listIndex)
{
    if (listIndex < 0 || listIndex > 2)
        return std::nullopt;
    return Comparison(listIndex);
}

std::optional<LengthCriterion> parseLengthCriterion(const QString& text, std::optional<Comparison> comparison)
{
    if (!comparison)
        return std::nullopt;
    // The unit is taken from the end, so the number keeps every form convertToInt16 knows (an exponent
    // "1e2" included); a unit must stand apart from the number only where a letter would join them.
    static const QRegularExpression unitAtEnd(QStringLiteral("^(.*?)\\s*\\b(path\\s+bytes|bytes|path)\\s*$"),
                                              QRegularExpression::CaseInsensitiveOption |
                                                  QRegularExpression::DotMatchesEverythingOption);
    LengthUnit unit = LengthUnit::Name;
    QString number = text;
    const QRegularExpressionMatch m = unitAtEnd.match(text);
    if (m.hasMatch()) {
        number = m.captured(1);
        const QString word = m.captured(2).toLower();
        unit = word == QLatin1String("bytes")  ? LengthUnit::Bytes
               : word == QLatin1String("path") ? LengthUnit::Path
                                               : LengthUnit::PathBytes;
    }
    const std::optional<qint16> length = convertToInt16(number);
    if (!length)
        return std::nullopt;
    return LengthCriterion{*comparison, *length, unit};
}

QString lengthRefusal(const QString& text)
{
    return QStringLiteral(
               "Length Of Filename: \"%1\" is not a number from -32768 to 32767, alone or followed "
               "by \"bytes\", \"path\" or \"path bytes\".")
        .arg(text);
}

QString lengthFormsHelp()
{
    return QStringLiteral("12: the name in characters\n"
                          "255 bytes: the name in bytes on disk\n"
                          "200 path: the path below the listed folder, name included\n"
                          "400 path bytes: that path in bytes");
}
