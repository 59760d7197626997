// SPDX-License-Identifier: MIT
#include "fileops/namefix.h"

#include "fileops/shorten.h"
#include "search/utf8name.h"

#include <QStringList>

#include <array>
#include <utility>

namespace {

std::string_view viewOf(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), std::size_t(bytes.size()));
}

LengthUnit lengthUnitOf(TargetUnit unit)
{
    return unit == TargetUnit::Bytes ? LengthUnit::Bytes : LengthUnit::Name;
}

qint64 lengthIn(const QByteArray& name, TargetUnit unit)
{
    return measureName(viewOf(name), lengthUnitOf(unit));
}

bool pathRuleApplies(const NameFixRequest& request)
{
    return request.pathAbove >= 0 && request.profile->pathLimit > 0 &&
           request.rules.contains(TargetRule::PathTooLong);
}

TargetItem itemOf(const NameFixRequest& request, const QByteArray& name)
{
    const qint64 path =
        request.pathAbove >= 0 ? request.pathAbove + lengthIn(name, request.profile->pathUnit) : 0;
    return {name, request.folder, request.size, path};
}

QByteArray replacingInvalidBytes(const QByteArray& name)
{
    QByteArray out;
    const auto* s = reinterpret_cast<const unsigned char*>(name.constData());
    for (std::size_t i = 0; i < std::size_t(name.size());) {
        const int len = utf8SequenceLength(s, i, std::size_t(name.size()));
        if (len > 0) {
            out.append(name.constData() + i, len);
            i += std::size_t(len);
        } else {
            out.append('_');
            ++i;
        }
    }
    return out;
}

// Every character the profile refuses is ASCII, so the bytes are mended in place whatever the encoding.
QByteArray replacingRefusedBytes(const QByteArray& name, const NameFixRequest& request)
{
    const TargetProfile& profile = *request.profile;
    const bool forbidden =
        request.rules.contains(TargetRule::ForbiddenCharacter) && !profile.forbiddenCharacters.isEmpty();
    const bool control = request.rules.contains(TargetRule::ControlCharacter);
    // Every refused character is ASCII: a table rather than a search of the list for every byte.
    std::array<bool, 128> refused{};
    if (forbidden)
        for (const QChar c : profile.forbiddenCharacters)
            if (c.unicode() < 128)
                refused[c.unicode()] = true;
    QByteArray out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (control && ((u >= 0x01 && u <= 0x1F && profile.refusesControlCharacters) ||
                        (u == 0x7F && profile.refusesDelete)))
            continue;
        if (u < 0x80 && refused[u]) {
            const char16_t alike = lookAlikeOf(u);
            if (request.characters == FixCharacters::LookAlike && alike) {
                // Every look-alike lies in U+FF00 to U+FFEF: three bytes of UTF-8.
                out.append(char(0xE0 | (alike >> 12)));
                out.append(char(0x80 | ((alike >> 6) & 0x3F)));
                out.append(char(0x80 | (alike & 0x3F)));
            } else
                out.append('_');
            continue;
        }
        out.append(c);
    }
    return out;
}

QByteArray trimmed(QByteArray name, const NameFixRequest& request)
{
    const TargetProfile& profile = *request.profile;
    const bool period = profile.refusesTrailingPeriod && request.rules.contains(TargetRule::TrailingPeriod);
    const bool trailing = profile.refusesTrailingSpace && request.rules.contains(TargetRule::TrailingSpace);
    const bool leading = profile.refusesLeadingSpace && request.rules.contains(TargetRule::LeadingSpace);
    while (!name.isEmpty() && ((period && name.endsWith('.')) || (trailing && name.endsWith(' '))))
        name.chop(1);
    while (leading && name.startsWith(' '))
        name.remove(0, 1);
    return name;
}

// A name the target keeps for itself changed so that it no longer is one: a whole name or a prefix gets "_"
// before it, an infix loses its first character wherever it stands.
QByteArray outsideOwnNames(const QByteArray& name, const TargetProfile& profile)
{
    QString text = QString::fromUtf8(name);
    const TargetProfile::OwnNames& own = profile.ownNames;
    for (const QString& infix : own.infixes)
        for (qsizetype at = text.indexOf(infix, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(infix, at, Qt::CaseInsensitive))
            text.remove(at, 1);
    bool prefixed = false;
    for (const QString& whole : own.whole)
        prefixed = prefixed || text.compare(whole, Qt::CaseInsensitive) == 0;
    for (const QString& prefix : own.prefixes)
        prefixed = prefixed || text.startsWith(prefix, Qt::CaseInsensitive);
    if (prefixed)
        text.prepend(u'_');
    return text.toUtf8();
}

bool breaks(const NameFixRequest& request, const QByteArray& name, TargetRule rule)
{
    TargetRuleSet only = TargetRuleSet::none();
    only.set(rule, request.rules.contains(rule));
    return !checkName(*request.profile, only, itemOf(request, name)).empty();
}

// "CON.txt" becomes "CON_.txt": the stem, up to the first period, is what Windows reserves.
QByteArray outsideReservedNames(QByteArray name, const NameFixRequest& request)
{
    // Every reserved stem is 3 or 4 characters, a superscript digit taking 2 bytes: no other needs a look.
    const qsizetype stem = std::min(name.indexOf('.') < 0 ? name.size() : name.indexOf('.'), name.size());
    if (stem < 3 || stem > 5 || !breaks(request, name, TargetRule::ReservedName))
        return name;
    const qsizetype period = name.indexOf('.');
    name.insert(period < 0 ? name.size() : period, '_');
    return name;
}

// The name cut, and given its counter, so that it fits the name limit and the room the path leaves.
std::optional<QByteArray> fitted(const QByteArray& name, const NameFixRequest& request, int counter,
                                 QString* note)
{
    const TargetProfile& profile = *request.profile;
    const bool nameRule = request.rules.contains(TargetRule::NameTooLong);
    const bool pathRule = pathRuleApplies(request);
    const qint64 pathRoom = pathRule ? profile.pathLimit - request.pathAbove : 0;
    const auto fits = [&](const QByteArray& n) {
        return (!nameRule || lengthIn(n, profile.nameUnit) <= profile.nameLimit) &&
               (!pathRule || lengthIn(n, profile.pathUnit) <= pathRoom);
    };
    if (counter == 1 && fits(name))
        return name;
    const QByteArray suffix = "~" + QByteArray::number(counter);
    // Long enough for the whole name and its counter; the limits then cut it down.
    int nameLimit = int(lengthIn(name, profile.nameUnit) + lengthIn(suffix, profile.nameUnit));
    if (nameRule)
        nameLimit = std::min(nameLimit, profile.nameLimit);
    std::optional<QByteArray> cut =
        shortenedName(viewOf(name), {nameLimit, lengthUnitOf(profile.nameUnit)}, counter);
    if (cut && !fits(*cut) && pathRule && pathRoom > 0)
        cut = shortenedName(viewOf(name), {int(pathRoom), lengthUnitOf(profile.pathUnit)}, counter);
    if (!cut || !fits(*cut)) {
        *note = pathRule && pathRoom < nameLimit
                    ? QStringLiteral("no name fits the %1 left for it in the path")
                          .arg(std::max<qint64>(pathRoom, 0))
                    : QStringLiteral("cannot be shortened to %1").arg(profile.nameLimit);
        return std::nullopt;
    }
    return cut;
}

QByteArray mended(QByteArray name, const NameFixRequest& request)
{
    const TargetProfile& profile = *request.profile;
    if (profile.requiresUtf8 && request.rules.contains(TargetRule::NotUtf8))
        name = replacingInvalidBytes(name);
    name = replacingRefusedBytes(name, request);
    const bool valid = isValidUtf8(viewOf(name));
    if (valid && profile.normalizationInsensitive &&
        !utf8detail::allAscii(name.constData(), std::size_t(name.size())))
        name = QString::fromUtf8(name).normalized(QString::NormalizationForm_C).toUtf8();
    if (valid && !profile.ownNames.owner.isEmpty() && request.rules.contains(TargetRule::OwnName))
        name = outsideOwnNames(name, profile);
    name = trimmed(std::move(name), request);
    if (name.isEmpty())
        name = "_";
    return outsideReservedNames(std::move(name), request);
}

} // namespace

char16_t lookAlikeOf(char16_t c)
{
    static constexpr std::pair<char16_t, char16_t> LookAlikes[] = {
        {u':', u'\uFF1A'}, {u'?', u'\uFF1F'}, {u'*', u'\uFF0A'},  {u'<', u'\uFF1C'}, {u'>', u'\uFF1E'},
        {u'|', u'\uFF5C'}, {u'"', u'\uFF02'}, {u'\\', u'\uFF3C'}, {u'/', u'\uFF0F'},
    };
    for (const auto& [refused, alike] : LookAlikes)
        if (refused == c)
            return alike;
    return 0;
}

NameFixResult fixName(const NameFixRequest& request, const QByteArray& name, int counter)
{
    NameFixResult result;
    // The size belongs to the file, not its name: no new name mends it.
    TargetRuleSet ownRules = request.rules;
    ownRules.set(TargetRule::FileTooLarge, false);
    NameFixRequest own = request;
    own.rules = ownRules;
    for (const TargetProblem& problem : checkName(*request.profile, ownRules, itemOf(own, name)))
        if (result.broken.empty() || result.broken.back() != problem.rule)
            result.broken.push_back(problem.rule);

    QByteArray candidate = name;
    // A cut can leave a new trailing period or a reserved stem ("CON.d" cut to "CON"): mended again.
    for (int round = 0; round < 3; ++round) {
        candidate = mended(candidate, own);
        const std::optional<QByteArray> cut = fitted(candidate, own, round == 0 ? counter : 1, &result.note);
        if (!cut)
            return {{}, result.broken, result.note};
        candidate = *cut;
        const std::vector<TargetProblem> left = checkName(*request.profile, ownRules, itemOf(own, candidate));
        if (left.empty()) {
            result.name = candidate;
            result.note.clear();
            return result;
        }
        QStringList details;
        for (const TargetProblem& problem : left)
            details << problem.detail;
        result.note =
            QStringLiteral("no name found that breaks no rule (%1)").arg(details.join(QStringLiteral("; ")));
    }
    return {{}, result.broken, result.note};
}
