// SPDX-License-Identifier: MIT
// Fuzzes the native path module. collapseSeparators: a leading run of separators becomes one, every other run
// of k becomes ceil(k/2) (so applying it twice may change the text again, and nothing here assumes
// otherwise); runs never grow; everything that is not a separator stays, in order. The split helpers: folder
// plus name give the path back, and the byte forms cut where the text forms cut.
#include "fuzzcheck.h"
#include "platform/nativepath.h"

#include <cstdint>

namespace {
constexpr QChar sep = u'/';

// The run lengths of the path, rebuilt from scratch rather than by scanning pairs.
QString runModel(const QString& path)
{
    QString out;
    for (qsizetype i = 0; i < path.size();) {
        if (path[i] != sep) {
            out += path[i++];
            continue;
        }
        const qsizetype start = i;
        while (i < path.size() && path[i] == sep)
            ++i;
        const qsizetype run = i - start;
        out += QString(start == 0 ? 1 : (run + 1) / 2, sep);
    }
    return out;
}

qsizetype longestRun(const QString& text)
{
    qsizetype longest = 0;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c == sep ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

QString withoutSeparators(QString text)
{
    return text.remove(sep);
}

void check(bool holds, const char* property, const QString& input, const QString& result)
{
    if (!holds)
        fuzzFail(property, input, QStringLiteral("result: ") + QString::fromUtf8(fuzzQuoted(result)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = QString::fromUtf8(bytes);

    const QString normal = collapseSeparators(path);
    check(normal == runModel(path),
          "a leading run becomes one separator, any other run of k becomes ceil(k/2)", path, normal);
    check(longestRun(normal) <= longestRun(path), "runs of separators never grow", path, normal);
    check(withoutSeparators(normal) == withoutSeparators(path), "everything else stays, in order", path,
          normal);
    if (!path.contains(sep))
        check(normal == path, "a text without separators is unchanged", path, normal);
    if (path.startsWith(sep))
        check(normal.startsWith(sep) && !normal.startsWith(QString(2, sep)),
              "a rooted path keeps exactly one root", path, normal);

    const QString name = fileNameOf(path);
    const QString folder = folderOf(path);
    check(folder + name == path, "folder and name give the path back", path, folder + u'|' + name);
    check(!name.contains(sep), "a name holds no separator", path, name);
    check(folder.isEmpty() || folder.endsWith(sep), "a folder ends in a separator", path, folder);
    check(QString::fromUtf8(fileNameOf(bytes)) == name,
          "the byte form cuts the name where the text form does", path, QString::fromUtf8(fileNameOf(bytes)));
    check(QString::fromUtf8(folderOf(bytes)) == folder,
          "the byte form cuts the folder where the text form does", path, QString::fromUtf8(folderOf(bytes)));
    return 0;
}
