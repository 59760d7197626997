// SPDX-License-Identifier: MIT
#include "fileops/shorten.h"

#include "fileops/takennames.h"
#include "platform/filemove.h"
#include "platform/nativepath.h"
#include "search/lengthconv.h"
#include "search/utf8name.h"

#include <QHash>
#include <QTextBoundaryFinder>

namespace {

constexpr int MaxExtensionUnits = 16;

// A piece of a name that a cut may not split: a grapheme cluster of valid UTF-8, or one invalid byte.
struct Piece
{
    int bytes;
    int units; // UTF-16 units
};

// Grapheme pieces of one run of valid UTF-8.
void splitValidRun(std::string_view run, std::vector<Piece>& out)
{
    bool ascii = true;
    for (char c : run)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80 && c != '\r';
    if (ascii) { // ASCII but CR: every character is a grapheme of its own
        for (std::size_t i = 0; i < run.size(); ++i)
            out.push_back({1, 1});
        return;
    }
    const QString text = QString::fromUtf8(run.data(), qsizetype(run.size()));
    // Byte offset of every UTF-16 position, so boundaries found in the text map back onto the bytes.
    std::vector<int> byteAt(std::size_t(text.size()) + 1, 0);
    {
        const auto* s = reinterpret_cast<const unsigned char*>(run.data());
        int unit = 0;
        for (std::size_t i = 0; i < run.size();) {
            const int len = utf8SequenceLength(s, i, run.size());
            byteAt[std::size_t(unit)] = int(i);
            if (len == 4)
                byteAt[std::size_t(unit) + 1] = int(i);
            unit += len == 4 ? 2 : 1;
            i += std::size_t(len);
        }
        byteAt[std::size_t(text.size())] = int(run.size());
    }
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1; end = graphemes.toNextBoundary()) {
        if (end == start)
            continue;
        out.push_back({byteAt[std::size_t(end)] - byteAt[std::size_t(start)], int(end) - start});
        start = int(end);
    }
}

std::vector<Piece> pieces(std::string_view name)
{
    std::vector<Piece> out;
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    std::size_t runStart = 0;
    std::size_t i = 0;
    while (i < name.size()) {
        const int len = utf8SequenceLength(s, i, name.size());
        if (len > 0) {
            i += std::size_t(len);
            continue;
        }
        if (i > runStart)
            splitValidRun(name.substr(runStart, i - runStart), out);
        out.push_back({1, 1});
        runStart = ++i;
    }
    if (i > runStart)
        splitValidRun(name.substr(runStart, i - runStart), out);
    return out;
}

} // namespace

std::optional<ShortenLimit> parseShortenLimit(const QString& text)
{
    // The names a limit shortens are those greater than it.
    const std::optional<LengthCriterion> read = parseLengthCriterion(text, Comparison::GreaterThan);
    if (!read || read->value < 1 || (read->unit != LengthUnit::Name && read->unit != LengthUnit::Bytes))
        return std::nullopt;
    return ShortenLimit{read->value, read->unit};
}

QString limitText(const ShortenLimit& limit)
{
    return limit.unit == LengthUnit::Bytes ? QStringLiteral("%1 bytes").arg(limit.value)
                                           : QString::number(limit.value);
}

int measureName(std::string_view name, LengthUnit unit)
{
    return int(measuredLength(unit, {}, name));
}

std::optional<QByteArray> shortenedName(std::string_view name, const ShortenLimit& limit, int counter)
{
    const std::size_t lastPeriod = name.rfind('.');
    std::size_t stemEnd = name.size();
    if (lastPeriod != std::string_view::npos && lastPeriod > 0 &&
        utf16Length(name.substr(lastPeriod + 1)) <= MaxExtensionUnits)
        stemEnd = lastPeriod;
    const std::string_view stem = name.substr(0, stemEnd);
    const std::string_view extension = name.substr(stemEnd); // with its period
    const QByteArray suffix = (counter > 1 ? "~" + QByteArray::number(counter) : QByteArray()) +
                              QByteArray(extension.data(), qsizetype(extension.size()));
    const int room =
        limit.value -
        measureName(std::string_view(suffix.constData(), std::size_t(suffix.size())), limit.unit);
    if (room <= 0)
        return std::nullopt;

    const std::vector<Piece> stemPieces = pieces(stem);
    std::size_t keep = 0;
    int used = 0;
    int bytes = 0;
    while (keep < stemPieces.size()) {
        const Piece& p = stemPieces[keep];
        const int cost = limit.unit == LengthUnit::Bytes ? p.bytes : p.units;
        if (used + cost > room)
            break;
        used += cost;
        bytes += p.bytes;
        ++keep;
    }
    // A name ending in a blank or period is refused or silently changed by several file systems.
    while (bytes > 0 && (stem[std::size_t(bytes) - 1] == ' ' || stem[std::size_t(bytes) - 1] == '.'))
        --bytes;
    if (bytes == 0)
        return std::nullopt;
    return QByteArray(stem.data(), bytes) + suffix;
}

bool nameExistsOnDisk(const QByteArray& folder, const QByteArray& name)
{
    return existsWithoutFollowing(folder + name);
}

std::vector<ShortenItem> planShortening(const std::vector<ShortenCandidate>& candidates,
                                        const ShortenLimit& limit, const NameExists& exists)
{
    // The names are meant for targets that ignore case and Unicode form: a new name equal to a neighbour
    // there is as bad as an equal one here.
    TakenNames taken(NameFolding{}, exists);
    QHash<QByteArray, int> nextCounter;
    std::vector<ShortenItem> plan;
    for (const ShortenCandidate& candidate : candidates) {
        ShortenItem item;
        item.rowId = candidate.rowId;
        item.folder = folderOf(candidate.path);
        item.oldName = candidate.path.mid(item.folder.size());
        const std::string_view old(item.oldName.constData(), std::size_t(item.oldName.size()));
        if (measureName(old, limit.unit) <= limit.value)
            continue;
        const QByteArray key = taken.folderKey(item.folder) + '/';
        // Many names cut to the same stem: each search for a free counter goes on where the last one stopped.
        const std::optional<QByteArray> first = shortenedName(old, limit, 1);
        int& next = nextCounter[key + taken.keyOf(first.value_or(QByteArray()))];
        for (int counter = std::max(next, 1);; ++counter) {
            next = counter + 1;
            const std::optional<QByteArray> name = shortenedName(old, limit, counter);
            if (!name) {
                item.note = counter == 1 ? QStringLiteral("cannot be shortened to %1").arg(limit.value)
                                         : QStringLiteral("no free name within %1").arg(limit.value);
                break;
            }
            if (taken.isFree(item.folder, *name, item.oldName)) {
                item.newName = *name;
                item.newLength =
                    measureName(std::string_view(name->constData(), std::size_t(name->size())), limit.unit);
                taken.take(item.folder, *name);
                break;
            }
        }
        plan.push_back(std::move(item));
    }
    return plan;
}
