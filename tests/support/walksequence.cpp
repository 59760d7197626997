// SPDX-License-Identifier: MIT
#include "support/walksequence.h"

#include <atomic>

QByteArrayList walkSequence(const QByteArray& root, const SequenceWalk& how)
{
    std::atomic<bool> stop{false};
    LiveCriteria criteria;
    criteria.set(LengthCriterion{Comparison::GreaterThan, -1, LengthUnit::Name});
    WalkSettings settings;
    settings.stop = &stop;
    settings.criteria = &criteria;
    settings.readers = how.readers;
    settings.beforeOpen = how.beforeOpen;
    settings.listings = how.listings;
    settings.maxRows = how.maxRows;
    settings.sliceMs = 0;
    QString error;
    if (how.targetCheck)
        settings.target = std::make_shared<const TargetCheckSetup>(
            *resolveTargetSetup(QStringLiteral("windows"), QByteArray(), TargetRuleSet::all(), &error));
    QByteArrayList seen;
    walkFolder(fsys::openFolder(root.constData()).fd, folderPathForWalk(root), settings, [&](WalkReport&& r) {
        if (!r.header.isEmpty())
            seen << "> " + r.header;
        for (std::size_t i = 0; i < r.rows.size(); ++i) {
            const ResultBatch::Entry& e = r.rows.entries[i];
            QByteArray row(r.rows.bytes.data() + e.offset, e.pathBytes);
            if (how.targetCheck)
                row += '\t' + r.rows.problemText(i).toUtf8();
            seen << row;
        }
        if (r.failure)
            seen << "! " + r.failure->path;
        if (how.stopAfter >= 0 && seen.size() >= how.stopAfter)
            stop = true;
        return ResultBatch();
    });
    return seen;
}
