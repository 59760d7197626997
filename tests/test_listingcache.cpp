// SPDX-License-Identifier: MIT
// A search that reuses the listings of an earlier one gives exactly what a fresh walk gives, however the tree
// changed between them, on the file systems a user searches.
#include "app/searchrun.h"
#include "search/walker.h"
#include "support/changingtree.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "support/walksequence.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestListingCache : public QObject
{
    Q_OBJECT

private slots:
    void sameAsFreshWalk_data()
    {
        QTest::addColumn<int>("disk"); // DiskMount::Kind, or -1 for the temporary folder's own
        QTest::addColumn<int>("readers");
        QTest::addColumn<bool>("target");
        // exfat-fuse and fusefat leave a folder's times alone when its names change: nothing may be kept.
        QTest::addColumn<bool>("kept");
        QTest::newRow("walk alone") << -1 << 0 << false << true;
        QTest::newRow("readers") << -1 << 16 << false << true;
        QTest::newRow("target check") << -1 << 16 << true << true;
        QTest::newRow("exfat") << int(DiskMount::Kind::Exfat) << 16 << false << false;
        QTest::newRow("fat32") << int(DiskMount::Kind::Fat) << 16 << false << false;
        QTest::newRow("ntfs") << int(DiskMount::Kind::Ntfs) << 16 << false << true;
        QTest::newRow("bindfs") << int(DiskMount::Kind::Bindfs) << 16 << false << true;
    }
    void sameAsFreshWalk()
    {
        QFETCH(int, disk);
        QFETCH(int, readers);
        QFETCH(bool, target);
        QFETCH(bool, kept);
        std::unique_ptr<DiskMount> mount;
        QByteArray top;
        ScratchDir scratch;
        if (disk >= 0) {
            mount = std::make_unique<DiskMount>(DiskMount::Kind(disk));
            SKIP_UNLESS_MOUNTED(*mount);
            top = mount->path();
        } else {
            top = scratch.path();
        }
        ChangingTree tree(top, 20261209);
        tree.make(40, 300);
        checkSearchesAgain(top, tree, readers, target, kept);
    }

    // A change made beneath a FUSE file system, not through it, is seen by the next search at once: a kept
    // listing is checked against the folder's times as the file system gives them now, not as the kernel
    // keeps them for a while.
    void changeBeneathIsSeen_data()
    {
        QTest::addColumn<int>("readers");
        QTest::addColumn<QByteArray>("folder"); // below the searched one, where a file appears
        QTest::newRow("walk alone, searched folder") << 0 << QByteArray();
        QTest::newRow("walk alone, sub-folder") << 0 << QByteArray("/a/b");
        QTest::newRow("readers, searched folder") << 16 << QByteArray();
        QTest::newRow("readers, sub-folder") << 16 << QByteArray("/a/b");
    }
    void changeBeneathIsSeen()
    {
        QFETCH(int, readers);
        QFETCH(QByteArray, folder);
        DiskMount mount(DiskMount::Kind::Bindfs);
        SKIP_UNLESS_MOUNTED(mount);
        for (const char* sub : {"/a", "/a/b", "/a/b/c"})
            QVERIFY(FileTree::makeFolder(mount.path() + sub));
        FileTree::write(mount.path() + "/a/b/c/f", "x");
        waitPastMargin();
        const auto listings = std::make_shared<ListingCache>();
        walk(mount.path(), readers, listings, false);
        QVERIFY(listings->folders() >= 3);
        FileTree::write(mount.beneath() + folder + "/added beneath", "x");
        const QByteArrayList again = walk(mount.path(), readers, listings, false).sequence;
        const QByteArrayList fresh = walk(mount.path(), readers, nullptr, false).sequence;
        QCOMPARE(again, fresh);
        QVERIFY(std::any_of(again.begin(), again.end(),
                            [](const QByteArray& p) { return p.endsWith("/added beneath"); }));
    }

    // The window keeps its listings from one search to the next, and a search after changes lists what a
    // window of its own lists.
    void windowSearchesAgain()
    {
        ScratchDir scratch;
        ChangingTree tree(scratch.path(), 99);
        tree.make(30, 200);
        waitPastMargin();
        const auto search = [&](TestForm& form) {
            form->folderModel()->removeRows(0, form->folderModel()->rowCount());
            form->folderModel()->appendRow(new QStandardItem(scratch.qpath()));
            form->lengthEdit()->setText(QStringLiteral("-1"));
            form->comparisonCombo()->setCurrentIndex(1); // Greater Than
            const int before = form.dialogs.countMessages("Done.");
            form->startButton()->click();
            [&] { QTRY_COMPARE_WITH_TIMEOUT(form.dialogs.countMessages("Done."), before + 1, 20000); }();
            QStringList paths;
            for (int r = 0; r < form.results().rowCount(); ++r)
                paths << form.results().displayPath(r);
            return paths;
        };
        TestForm kept;
        const QStringList first = search(kept);
        QVERIFY(kept->searchRun().listings().folders() > 20);
        tree.change(8);
        const QStringList again = search(kept);
        TestForm fresh;
        QCOMPARE(again, search(fresh));
        QVERIFY(again != first);
    }

    // A search stopped half-way keeps only whole listings: the next one still gives everything.
    void stoppedSearchLeavesNoPart()
    {
        ScratchDir scratch;
        ChangingTree tree(scratch.path(), 7);
        tree.make(30, 2000);
        waitPastMargin();
        const auto listings = std::make_shared<ListingCache>();
        const QByteArrayList part =
            walkSequence(scratch.path(), SequenceWalk{0, {}, listings, false, 150, 50});
        QVERIFY(part.size() >= 150 && part.size() < 1000);
        QCOMPARE(walk(scratch.path(), 0, listings, false).sequence,
                 walk(scratch.path(), 0, nullptr, false).sequence);
    }

    // Folders changed just before their listing are listed again next time, whatever their times say.
    void recentChangesAreNotKept_data()
    {
        QTest::addColumn<qint64>("secondsBeforeListing");
        QTest::addColumn<bool>("kept");
        QTest::newRow("now") << qint64(0) << false;
        QTest::newRow("just inside the margin") << qint64(ListingCache::Margin.count()) - 1 << false;
        QTest::newRow("past the margin") << qint64(ListingCache::Margin.count()) + 1 << true;
        QTest::newRow("in the future") << qint64(-60) << false;
    }
    void recentChangesAreNotKept()
    {
        QFETCH(qint64, secondsBeforeListing);
        QFETCH(bool, kept);
        ListingCache listings;
        fsys::FolderStamp stamp{1, 2, {}, {}};
        const timespec listedAt = ListingCache::now();
        stamp.modified = {listedAt.tv_sec - secondsBeforeListing - 1, 0};
        stamp.changed = {listedAt.tv_sec - secondsBeforeListing, listedAt.tv_nsec};
        listings.keep("/a", stamp, listedAt, "f\x01\x00x");
        QCOMPARE(listings.find("/a").has_value(), kept);
    }

    // Listings forgotten and replaced in any order leave every other one found, with its own entries.
    void forgettingLeavesTheRestFound()
    {
        ListingCache listings;
        const timespec listedAt = ListingCache::now();
        const fsys::FolderStamp old{1, 2, {listedAt.tv_sec - 100, 0}, {listedAt.tv_sec - 100, 0}};
        QRandomGenerator random(77);
        std::map<std::string, std::string> kept;
        for (int round = 0; round < 20000; ++round) {
            const std::string path = "/f" + std::to_string(random.bounded(3000));
            if (random.bounded(3) == 0) {
                listings.forget(path);
                kept.erase(path);
            } else {
                const std::string entries(random.bounded(1, 40), char('a' + random.bounded(26)));
                listings.keep(path, old, listedAt, entries);
                kept[path] = entries;
            }
        }
        QCOMPARE(listings.folders(), kept.size());
        for (int i = 0; i < 3000; ++i) {
            const std::string path = "/f" + std::to_string(i);
            const std::optional<ListingCache::Kept> found = listings.find(path);
            const auto it = kept.find(path);
            QCOMPARE(found.has_value(), it != kept.end());
            if (found)
                QCOMPARE(std::string(found->entries), it->second);
        }
    }

    void budgetBoundsWhatIsKept()
    {
        ListingCache listings(4096);
        const timespec listedAt = ListingCache::now();
        const fsys::FolderStamp old{1, 2, {listedAt.tv_sec - 100, 0}, {listedAt.tv_sec - 100, 0}};
        for (int i = 0; i < 100; ++i)
            listings.keep("/folder" + std::to_string(i), old, listedAt, std::string(200, 'n'));
        QVERIFY(listings.bytes() <= 4096);
        QVERIFY(listings.folders() > 0);
        QVERIFY(listings.folders() < 100);
        // A folder kept before, listed again when the budget is spent, is forgotten rather than left stale.
        listings.keep("/folder0", old, listedAt, std::string(5000, 'n'));
        QVERIFY(!listings.find("/folder0"));
    }
};

LENTROVA_TEST_MAIN(TestListingCache)
#include "test_listingcache.moc"
