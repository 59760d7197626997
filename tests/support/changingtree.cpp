// SPDX-License-Identifier: MIT
#include "support/changingtree.h"

#include "support/walksequence.h"

#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>

Walked walk(const QByteArray& root, int readers, const std::shared_ptr<ListingCache>& listings, bool target)
{
    std::atomic<int> opened{0};
    const auto count = [&opened](std::string_view) {
        ++opened;
        return 0;
    };
    Walked out;
    out.sequence = walkSequence(root, SequenceWalk{readers, count, listings, target, -1, 5});
    out.opened = opened.load();
    return out;
}

void waitPastMargin()
{
    QThread::msleep(std::chrono::milliseconds(ListingCache::Margin).count() + 150);
}

void checkSearchesAgain(const QByteArray& top, ChangingTree& tree, int readers, bool target, bool kept)
{
    const auto listings = std::make_shared<ListingCache>();
    const auto same = [&](const char* when) -> int {
        const Walked reused = walk(top, readers, listings, target);
        const Walked fresh = walk(top, readers, nullptr, target);
        if (reused.sequence != fresh.sequence) {
            for (qsizetype i = 0; i < std::max(reused.sequence.size(), fresh.sequence.size()); ++i) {
                if (reused.sequence.value(i) != fresh.sequence.value(i)) {
                    qWarning("%s, at %lld: reused \"%s\", fresh \"%s\"", when, qlonglong(i),
                             reused.sequence.value(i).constData(), fresh.sequence.value(i).constData());
                    break;
                }
            }
        }
        if (reused.sequence != fresh.sequence)
            QTest::qFail(when, __FILE__, __LINE__);
        return reused.opened;
    };

    waitPastMargin();
    same("first search");
    if (QTest::currentTestFailed())
        return;
    // Only the folder holding a link is opened again: a link's kind is not in its folder's times. (The
    // walk alone opens each folder, and reads only its times.)
    const int opened = same("unchanged");
    if (readers > 0)
        QCOMPARE(opened, kept ? tree.linkFolders() : tree.subFolders());
    for (int round = 0; round < 4 && !QTest::currentTestFailed(); ++round) {
        tree.change(6);
        same(qPrintable(QStringLiteral("changed in round %1, searched at once").arg(round)));
    }
    if (QTest::currentTestFailed())
        return;
    waitPastMargin();
    same("changed, searched later");
    if (QTest::currentTestFailed())
        return;
    const int openedAgain = same("unchanged again");
    if (readers > 0)
        QCOMPARE(openedAgain, kept ? tree.linkFolders() : tree.subFolders());
}
