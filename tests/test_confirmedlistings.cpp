// SPDX-License-Identifier: MIT
// Kept listings asked ahead of the walk: exactly the folders unchanged since are taken from memory, whatever
// changed around them, and a search again gives what a fresh walk gives.
#include "platform/dirlisting.h"
#include "search/confirmedlistings.h"
#include "search/walker.h"
#include "support/changingtree.h"
#include "support/filetree.h"
#include "support/testmain.h"

#include <QSet>

#include <algorithm>
#include <atomic>

#include <sys/stat.h>
#include <unistd.h>

class TestConfirmedListings : public QObject
{
    Q_OBJECT

private slots:
    // Trees big enough for the folders asked ahead of the walk to be shared out as sub-trees.
    void searchesAgainAsFresh_data()
    {
        QTest::addColumn<bool>("target");
        QTest::newRow("lengths") << false;
        QTest::newRow("target check") << true;
    }
    void searchesAgainAsFresh()
    {
        QFETCH(bool, target);
        ScratchDir scratch;
        ChangingTree tree(scratch.path(), 20261209);
        tree.make(600, 4000);
        checkSearchesAgain(scratch.path(), tree, 16, target, true);
    }

    // Asked ahead of the walk, exactly the folders unchanged since their listings were kept are found so:
    // however many threads ask, whatever changed above them, and with the listed folder's own listing lost.
    void confirmsExactlyTheUnchanged_data()
    {
        QTest::addColumn<unsigned>("threads");
        QTest::addColumn<bool>("rootKept");
        QTest::newRow("one thread") << 1u << true;
        QTest::newRow("four threads") << 4u << true;
        QTest::newRow("listed folder not kept") << 2u << false;
    }
    void confirmsExactlyTheUnchanged()
    {
        QFETCH(unsigned, threads);
        QFETCH(bool, rootKept);
        ScratchDir scratch;
        const QByteArray top = scratch.path();
        ChangingTree tree(top, 5150);
        tree.make(400, 800);
        waitPastMargin();
        const auto listings = std::make_shared<ListingCache>();
        walk(top, 16, listings, false);
        if (!rootKept)
            listings->forget(top.toStdString());
        // Picked among folders that hold folders, smallest sub-trees first, none inside another's.
        const QList<QByteArray> before = tree.folders();
        const auto below = [&](const QByteArray& f) {
            return std::count_if(before.begin(), before.end(),
                                 [&](const QByteArray& g) { return g.startsWith(f + '/'); });
        };
        QList<QByteArray> candidates;
        for (const QByteArray& f : before) {
            if (f != top && f != top + "/linked" && below(f) > 0)
                candidates << f;
        }
        std::stable_sort(candidates.begin(), candidates.end(),
                         [&](const QByteArray& a, const QByteArray& b) { return below(a) < below(b); });
        QList<QByteArray> parents;
        for (const QByteArray& f : candidates) {
            const auto related = [&](const QByteArray& p) {
                return f.startsWith(p + '/') || p.startsWith(f + '/') ||
                       f.left(f.lastIndexOf('/')) == p.left(p.lastIndexOf('/'));
            };
            if (std::none_of(parents.begin(), parents.end(), related))
                parents << f;
        }
        QVERIFY(parents.size() >= 4);
        const QByteArray added = parents[0], linkedAway = parents[1], permissions = parents[2],
                         moved = parents[3];
        QSet<QByteArray> changed{top,
                                 top + "/linked",
                                 added,
                                 permissions,
                                 linkedAway,
                                 moved.left(moved.lastIndexOf('/')),
                                 linkedAway.left(linkedAway.lastIndexOf('/'))};
        FileTree::write(added + "/new.txt", "x");
        QVERIFY(::chmod(permissions.constData(), 0700) == 0);
        QVERIFY(::rename(linkedAway.constData(), (linkedAway + ".old").constData()) == 0);
        QVERIFY(::symlink((linkedAway + ".old").constData(), linkedAway.constData()) == 0);
        QVERIFY(::rename(moved.constData(), (top + "/moved").constData()) == 0);
        // Below the link and in the moved sub-tree nothing was kept at the paths they have now; what was kept
        // at the paths they had is gone.
        const auto under = [](const QByteArray& f, const QByteArray& p) {
            return f == p || f.startsWith(p + '/');
        };
        QList<QByteArray> gone;
        for (const QByteArray& f : before) {
            if (under(f, moved) || under(f, linkedAway))
                gone << f;
        }

        // Asked at once, deepest first: a folder whose sub-tree is still being asked must be waited for.
        QList<QByteArray> after = tree.folders();
        std::reverse(after.begin(), after.end());
        const UniqueFd root = fsys::openFolder(top.constData()).fd;
        struct stat st;
        QVERIFY(::fstat(root.get(), &st) == 0);
        ConfirmedListings confirmed(listings, root.get(), folderPathForWalk(top), st.st_dev, -1, nullptr,
                                    nullptr, threads);
        int found = 0;
        for (const QByteArray& f : after) {
            const bool unchanged =
                !changed.contains(f) && !under(f, linkedAway + ".old") && !under(f, top + "/moved");
            if (!unchanged && confirmed.find(f.toStdString()))
                QFAIL(qPrintable("changed, yet found unchanged: " + f));
            if (unchanged && !confirmed.find(f.toStdString()))
                QFAIL(qPrintable("unchanged, yet not found: " + f));
            found += unchanged ? 1 : 0;
        }
        for (const QByteArray& f : gone)
            QVERIFY2(!confirmed.find(f.toStdString()), f.constData());
        QCOMPARE(int(confirmed.size()), found);
    }

    // A walk stopped while folders are still being asked ends, and whoever waits on them is answered.
    void stopWhileAskingEnds()
    {
        ScratchDir scratch;
        ChangingTree tree(scratch.path(), 31);
        tree.make(600, 0);
        waitPastMargin();
        const auto listings = std::make_shared<ListingCache>();
        walk(scratch.path(), 16, listings, false);
        const UniqueFd root = fsys::openFolder(scratch.path().constData()).fd;
        struct stat st;
        QVERIFY(::fstat(root.get(), &st) == 0);
        std::atomic<bool> stop{false};
        ConfirmedListings confirmed(listings, root.get(), folderPathForWalk(scratch.path()), st.st_dev, -1,
                                    &stop, nullptr, 1);
        stop = true;
        int found = 0;
        for (const QByteArray& f : tree.folders())
            found += confirmed.find(f.toStdString()) ? 1 : 0;
        QVERIFY(found <= tree.subFolders());
    }
};

LENTROVA_TEST_MAIN(TestConfirmedListings)
#include "test_confirmedlistings.moc"
