// SPDX-License-Identifier: MIT
#include "fileops/renamedpaths.h"

namespace {

// Walks the parts of path; rename(before, name) gives the name a part takes, where before is the path up to
// it as translated so far (forward: as it was; backward: as it was too, rebuilt).
template <class Rename> QByteArray translated(const QByteArray& path, Rename rename)
{
    const bool folder = path.endsWith('/') && path.size() > 1;
    const QByteArray bare = folder ? path.chopped(1) : path;
    QByteArray out;
    qsizetype done = 0;
    for (qsizetype end = bare.indexOf('/', 1);; end = bare.indexOf('/', end + 1)) {
        const qsizetype stop = end < 0 ? bare.size() : end;
        const qsizetype nameAt = bare.lastIndexOf('/', stop - 1) + 1;
        if (nameAt > done)
            out += bare.mid(done, nameAt - done);
        out += rename(bare.left(stop), out, bare.mid(nameAt, stop - nameAt));
        done = stop;
        if (end < 0)
            return folder ? out + '/' : out;
    }
}

} // namespace

QByteArray pathAfterRenames(const QByteArray& path, const QHash<QByteArray, QByteArray>& newNames)
{
    if (newNames.isEmpty())
        return path;
    return translated(path, [&](const QByteArray& asItWas, const QByteArray&, const QByteArray& name) {
        return newNames.value(asItWas, name);
    });
}

QByteArray pathBeforeRenames(const QByteArray& path, const QHash<QByteArray, QByteArray>& oldNames)
{
    if (oldNames.isEmpty())
        return path;
    return translated(path, [&](const QByteArray&, const QByteArray& folderAsItWas, const QByteArray& name) {
        return oldNames.value(folderAsItWas + name, name);
    });
}
