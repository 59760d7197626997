// SPDX-License-Identifier: MIT
#include "target/targetrules.h"

#include "search/utf8name.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <optional>

namespace {

struct RuleWords
{
    TargetRule rule;
    const char* key;
    const char* title;
};

constexpr std::array<RuleWords, TargetRuleCount> RuleTable{{
    {TargetRule::ForbiddenCharacter, "forbidden-character", "forbidden characters"},
    {TargetRule::ControlCharacter, "control-character", "control characters"},
    {TargetRule::ReservedName, "reserved-name", "reserved names"},
    {TargetRule::TrailingPeriod, "trailing-period", "names ending with a period"},
    {TargetRule::TrailingSpace, "trailing-space", "names ending with a space"},
    {TargetRule::LeadingSpace, "leading-space", "names starting with a space"},
    {TargetRule::OwnName, "own-name", "names the target keeps for itself"},
    {TargetRule::NotUtf8, "not-utf8", "names that are not valid UTF-8"},
    {TargetRule::NameTooLong, "name-too-long", "names too long"},
    {TargetRule::PathTooLong, "path-too-long", "paths too long"},
    {TargetRule::FileTooLarge, "file-too-large", "files too large"},
    {TargetRule::CaseCollision, "case-collision", "names equal but for case"},
    {TargetRule::FormCollision, "form-collision", "names equal but for Unicode form"},
    {TargetRule::Unreadable, "unreadable", "unreadable items"},
}};

const RuleWords& wordsOf(TargetRule rule)
{
    return RuleTable[std::size_t(rule)];
}

// The name as the user sees it; a byte that is not UTF-8 becomes one U+FFFD, so positions agree with the
// name's length.
QString decoded(const QByteArray& name)
{
    thread_local std::u16string units;
    decodeUtf8(std::string_view(name.constData(), std::size_t(name.size())), units);
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

QString quoted(QStringView text)
{
    return u'"' + text.toString() + u'"';
}

QString codePoint(char16_t unit)
{
    return QStringLiteral("U+%1").arg(unsigned(unit), 4, 16, QLatin1Char('0')).toUpper();
}

QString unitWord(TargetUnit unit)
{
    return unit == TargetUnit::Bytes ? QStringLiteral("bytes") : QStringLiteral("characters");
}

// The reserved device name the name starts with, or empty: the stem (up to the first period) compared
// ignoring case, so "con.txt" and "NUL.tar.gz" are reserved as much as "CON".
QString reservedStem(const TargetProfile& profile, const QString& name)
{
    const qsizetype period = name.indexOf(u'.');
    const qsizetype stemLength = period < 0 ? name.size() : period;
    if (stemLength != 3 && stemLength != 4) // every reserved name is
        return {};
    const QString stem = name.left(stemLength);
    const QString upper = stem.toUpper();
    static const QStringList plain = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    if (plain.contains(upper))
        return stem;
    if (upper.size() == 4 && (upper.startsWith(u"COM") || upper.startsWith(u"LPT"))) {
        const QChar last = upper[3];
        if (last >= u'0' && last <= u'9')
            return stem;
        if (profile.refusesSuperscriptReservedNames &&
            (last == u'\u00B9' || last == u'\u00B2' || last == u'\u00B3'))
            return stem;
    }
    return {};
}

QString ownName(const TargetProfile& profile, const QString& name)
{
    for (const QString& own : profile.ownNames.whole)
        if (name.compare(own, Qt::CaseInsensitive) == 0)
            return own;
    for (const QString& prefix : profile.ownNames.prefixes)
        if (name.startsWith(prefix, Qt::CaseInsensitive))
            return prefix;
    for (const QString& infix : profile.ownNames.infixes)
        if (name.contains(infix, Qt::CaseInsensitive))
            return infix;
    return {};
}

// Every character some profile refuses, so that one table serves them all.
constexpr std::array<bool, 128> refusedSomewhere = [] {
    std::array<bool, 128> table{};
    for (int c = 0; c < 0x20; ++c)
        table[std::size_t(c)] = true;
    table[0x7F] = true;
    for (const char c : std::string_view("\\/:*?\"<>|"))
        table[std::size_t(c)] = true;
    return table;
}();

// Whether a stem's bytes may spell a reserved name: three ASCII letters, then an ASCII digit or a
// superscript one (UTF-8 C2 B9, C2 B2, C2 B3) after COM and LPT. The text rules are asked only then.
bool mayBeReservedStem(std::string_view stem)
{
    if (stem.size() < 3 || stem.size() > 5)
        return false;
    const auto upper = [](char c) { return char(c >= 'a' && c <= 'z' ? c - 0x20 : c); };
    const auto startsWith = [&](std::string_view word) {
        return upper(stem[0]) == word[0] && upper(stem[1]) == word[1] && upper(stem[2]) == word[2];
    };
    if (stem.size() == 3)
        return startsWith("CON") || startsWith("PRN") || startsWith("AUX") || startsWith("NUL");
    if (!startsWith("COM") && !startsWith("LPT"))
        return false;
    if (stem.size() == 4)
        return stem[3] >= '0' && stem[3] <= '9';
    return stem[3] == '\xC2' && (stem[4] == '\xB9' || stem[4] == '\xB2' || stem[4] == '\xB3');
}

// Bytes from 0x80 up belong to longer sequences, which no ASCII character hides in.
bool holdsRefusedAscii(std::string_view name)
{
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x80 && refusedSomewhere[byte];
    });
}

bool onlyAsciiForbidden(const TargetProfile& profile)
{
    return std::all_of(profile.forbiddenCharacters.begin(), profile.forbiddenCharacters.end(),
                       [](QChar c) { return c.unicode() < 128; });
}

} // namespace

QString ruleKey(TargetRule rule)
{
    return QString::fromLatin1(wordsOf(rule).key);
}

QString ruleTitle(TargetRule rule)
{
    return QString::fromLatin1(wordsOf(rule).title);
}

bool ruleFromKey(QStringView key, TargetRule* rule)
{
    for (const RuleWords& words : RuleTable) {
        if (key == QLatin1StringView(words.key)) {
            *rule = words.rule;
            return true;
        }
    }
    return false;
}

QString targetSizeText(qint64 bytes)
{
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    double value = double(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    // One decimal, none where it is 0: "5.2 GB", "4 GB".
    QString number = QString::number(value, 'f', 1);
    if (number.endsWith(QLatin1String(".0")))
        number.chop(2);
    return number + u' ' + QLatin1StringView(units[unit]);
}

TargetProblem unreadableProblem(const QString& systemError)
{
    return {TargetRule::Unreadable, QStringLiteral("cannot be read: ") + systemError};
}

std::vector<TargetProblem> checkName(const TargetProfile& profile, const TargetRuleSet& enabled,
                                     const TargetItem& item)
{
    std::vector<TargetProblem> problems;
    addNameProblems(profile, enabled, item, problems);
    return problems;
}

void addNameProblems(const TargetProfile& profile, const TargetRuleSet& enabled, const TargetItem& item,
                     std::vector<TargetProblem>& problems)
{
    const std::string_view bytes(item.name.constData(), std::size_t(item.name.size()));
    const bool ascii = utf8detail::allAscii(bytes.data(), bytes.size());
    // Most names break a rule that their bytes show: they are decoded only for the rules that read text.
    std::optional<QString> decodedName;
    const auto text = [&]() -> const QString& {
        if (!decodedName)
            decodedName = ascii ? QString::fromLatin1(item.name) : decoded(item.name);
        return *decodedName;
    };
    const bool onlyAscii = onlyAsciiForbidden(profile);
    const bool mayHoldRefused = !onlyAscii || holdsRefusedAscii(bytes);
    const auto wants = [&](TargetRule rule) { return enabled.contains(rule); };

    if (wants(TargetRule::ForbiddenCharacter) && !profile.forbiddenCharacters.isEmpty() && mayHoldRefused) {
        // Every forbidden character is ASCII: one table instead of a search of the list per character.
        std::array<bool, 128> forbidden{};
        for (const QChar c : profile.forbiddenCharacters)
            if (c.unicode() < 128)
                forbidden[c.unicode()] = true;
        const QString& name = text();
        for (qsizetype i = 0; i < name.size(); ++i)
            if (name[i].unicode() < 128 ? forbidden[name[i].unicode()]
                                        : !onlyAscii && profile.forbiddenCharacters.contains(name[i]))
                problems.push_back({TargetRule::ForbiddenCharacter,
                                    QStringLiteral("%1 at %2").arg(quoted(name.sliced(i, 1))).arg(i + 1)});
    }
    if (wants(TargetRule::ControlCharacter) && (profile.refusesControlCharacters || profile.refusesDelete) &&
        mayHoldRefused) {
        const QString& name = text();
        for (qsizetype i = 0; i < name.size(); ++i) {
            const char16_t unit = name[i].unicode();
            const bool control = unit >= 0x01 && unit <= 0x1F;
            if ((control && profile.refusesControlCharacters) || (unit == 0x7F && profile.refusesDelete))
                problems.push_back(
                    {TargetRule::ControlCharacter,
                     QStringLiteral("control character %1 at %2").arg(codePoint(unit)).arg(i + 1)});
        }
    }
    const std::size_t stemBytes = std::min(bytes.find('.'), bytes.size());
    if (wants(TargetRule::ReservedName) && profile.refusesReservedNames &&
        mayBeReservedStem(bytes.substr(0, stemBytes))) {
        const QString stem = reservedStem(profile, text());
        if (!stem.isEmpty())
            problems.push_back({TargetRule::ReservedName, QStringLiteral("reserved name ") + quoted(stem)});
    }
    // '.' and ' ' never stand inside a multi-byte sequence: the bytes tell the ends of any name.
    if (wants(TargetRule::TrailingPeriod) && profile.refusesTrailingPeriod && bytes.ends_with('.'))
        problems.push_back({TargetRule::TrailingPeriod, QStringLiteral("ends with a period")});
    if (wants(TargetRule::TrailingSpace) && profile.refusesTrailingSpace && bytes.ends_with(' '))
        problems.push_back({TargetRule::TrailingSpace, QStringLiteral("ends with a space")});
    if (wants(TargetRule::LeadingSpace) && profile.refusesLeadingSpace && bytes.starts_with(' '))
        problems.push_back({TargetRule::LeadingSpace, QStringLiteral("starts with a space")});
    if (wants(TargetRule::OwnName) && !profile.ownNames.owner.isEmpty()) {
        const QString own = ownName(profile, text());
        if (!own.isEmpty())
            problems.push_back(
                {TargetRule::OwnName,
                 QStringLiteral("name used by %1 %2").arg(profile.ownNames.owner, quoted(own))});
    }
    if (wants(TargetRule::NotUtf8) && profile.requiresUtf8 && !ascii &&
        !isValidUtf8(std::string_view(item.name.constData(), std::size_t(item.name.size()))))
        problems.push_back({TargetRule::NotUtf8, QStringLiteral("not valid UTF-8")});
    if (wants(TargetRule::NameTooLong)) {
        const qint64 length = profile.nameUnit == TargetUnit::Bytes ? item.name.size()
                              : item.nameUnits >= 0                 ? item.nameUnits
                                                                    : qint64(utf16Length(bytes));
        if (length > profile.nameLimit)
            problems.push_back({TargetRule::NameTooLong, QStringLiteral("name %1 %2, limit %3")
                                                             .arg(length)
                                                             .arg(unitWord(profile.nameUnit))
                                                             .arg(profile.nameLimit)});
    }
    if (wants(TargetRule::PathTooLong) && profile.pathLimit > 0 && item.pathLength > profile.pathLimit)
        problems.push_back({TargetRule::PathTooLong, QStringLiteral("path %1 %2 at the target, limit %3")
                                                         .arg(item.pathLength)
                                                         .arg(unitWord(profile.pathUnit))
                                                         .arg(profile.pathLimit)});
    if (wants(TargetRule::FileTooLarge) && !item.folder && profile.fileSizeLimit > 0 &&
        item.size > profile.fileSizeLimit) {
        QString size = targetSizeText(item.size);
        QString limit = targetSizeText(profile.fileSizeLimit);
        // 4 GiB against 4 GiB - 1 rounds to one text: the bytes then tell them apart.
        if (size == limit) {
            const QLocale english(QLocale::English);
            size = english.toString(item.size) + QStringLiteral(" bytes");
            limit = english.toString(profile.fileSizeLimit) + QStringLiteral(" bytes");
        }
        problems.push_back({TargetRule::FileTooLarge, QStringLiteral("file %1, limit %2").arg(size, limit)});
    }
}

bool surelyBreaksNothing(const TargetProfile& profile, const TargetRuleSet& enabled, std::string_view name,
                         bool folder, qint64 size, qint64 pathLength)
{
    if (name.empty())
        return false;
    if (enabled.contains(TargetRule::OwnName) && !profile.ownNames.owner.isEmpty())
        return false;
    // An ASCII name is as many UTF-16 units as bytes; any other is left to checkName.
    if (enabled.contains(TargetRule::NameTooLong) && qint64(name.size()) > profile.nameLimit)
        return false;
    if (enabled.contains(TargetRule::PathTooLong) && profile.pathLimit > 0 && pathLength > profile.pathLimit)
        return false;
    if (enabled.contains(TargetRule::FileTooLarge) && !folder && profile.fileSizeLimit > 0 &&
        size > profile.fileSizeLimit)
        return false;
    if (name.back() == '.' || name.back() == ' ' || name.front() == ' ')
        return false;
    const std::size_t stem = std::min(name.find('.'), name.size());
    if (profile.refusesReservedNames && mayBeReservedStem(name.substr(0, stem)))
        return false;
    // A name that holds a character some profile refuses is left to checkName, which knows which refuses
    // what.
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || refusedSomewhere[byte])
            return false;
    }
    return true;
}
