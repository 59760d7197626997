// SPDX-License-Identifier: MIT
// A search that reuses the listings of an earlier one gives exactly what a fresh walk gives, however the tree
// changed between them, on the file systems a user searches.
#include "app/searchrun.h"
#include "search/confirmedlistings.h"
#include "search/walker.h"
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

namespace {

// A walk's sequence, and how many sub-folders it opened.
struct Walked
{
    QByteArrayList sequence;
    int opened = 0;
};

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

// A tree of folders and files with random names, changed at random: what a user does between two searches.
class ChangingTree
{
public:
    ChangingTree(const QByteArray& top, quint32 seed) : m_top(top), m_random(seed) {}

    void make(int folders, int files)
    {
        m_folders = {m_top};
        for (int i = 0; i < folders; ++i)
            addFolder(pick(m_folders));
        for (int i = 0; i < files; ++i)
            addFile(pick(m_folders));
        // A link whose folder never changes while what it names turns from a file into a folder.
        FileTree::makeFolder(m_top + "/linked");
        FileTree::write(m_top + "/target", "x");
        // FAT and exFAT keep no links.
        link("../target", m_top + "/linked/link");
    }
    // Folders holding a link.
    int linkFolders()
    {
        refreshFolders();
        return int(std::count_if(m_folders.begin(), m_folders.end(), [](const QByteArray& folder) {
            const QList<QByteArray> names = FileTree::list(folder);
            return std::any_of(names.begin(), names.end(), [&](const QByteArray& n) {
                struct stat st;
                return ::lstat((folder + '/' + n).constData(), &st) == 0 && S_ISLNK(st.st_mode);
            });
        }));
    }
    QList<QByteArray> folders()
    {
        refreshFolders();
        return m_folders;
    }
    int subFolders()
    {
        refreshFolders();
        return int(m_folders.size()) - 1;
    }

    // One change in each of count folders picked at random.
    void change(int count)
    {
        for (int i = 0; i < count; ++i) {
            const QByteArray folder = pick(m_folders);
            const QList<QByteArray> names = FileTree::list(folder);
            const QByteArray some = names.isEmpty() ? QByteArray() : folder + '/' + pick(names);
            switch (m_random.bounded(7)) {
            case 0:
                addFile(folder);
                break;
            case 1:
                if (!some.isEmpty() && !isFolder(some))
                    ::unlink(some.constData());
                break;
            case 2: // renamed, within its folder or into another
                if (!some.isEmpty())
                    ::rename(some.constData(), (pick(m_folders) + '/' + name()).constData());
                break;
            case 3:
                addFolder(folder);
                addFile(m_folders.last());
                break;
            case 4: // a file becomes a folder of the same name
                if (!some.isEmpty() && !isFolder(some) && ::unlink(some.constData()) == 0)
                    FileTree::makeFolder(some);
                break;
            case 5:
                if (!some.isEmpty() && isFolder(some) && some != m_top + "/linked")
                    FileTree::removeTree(some);
                break;
            default: // a folder moved aside, a link to it in its place
                if (!some.isEmpty() && isFolder(some) && some != m_top + "/linked" &&
                    ::rename(some.constData(), (some + ".moved").constData()) == 0)
                    link(some.mid(some.lastIndexOf('/') + 1) + ".moved", some);
                break;
            }
            // Folders moved or removed above are found again from the tree itself.
            refreshFolders();
        }
        if (::unlink((m_top + "/target").constData()) == 0)
            FileTree::makeFolder(m_top + "/target");
        else if (FileTree::removeTree(m_top + "/target"))
            FileTree::write(m_top + "/target", "x");
    }

private:
    template <class T> const T& pick(const QList<T>& from)
    {
        return from[qsizetype(m_random.bounded(quint32(from.size())))];
    }
    QByteArray name()
    {
        // Lower-case ASCII, lengths that vary: names every file system here takes, and lengths that differ.
        QByteArray n;
        const int length = 1 + int(m_random.bounded(24u));
        for (int i = 0; i < length; ++i)
            n += char('a' + m_random.bounded(26u));
        return n + QByteArray::number(m_serial++);
    }
    void addFile(const QByteArray& folder) { FileTree::write(folder + '/' + name() + ".txt", "x"); }
    void addFolder(const QByteArray& parent)
    {
        const QByteArray folder = parent + '/' + name();
        if (FileTree::makeFolder(folder))
            m_folders << folder;
    }
    static void link(const QByteArray& target, const QByteArray& at)
    {
        // FAT and exFAT keep no links: there the tree has none.
        [[maybe_unused]] const int made = ::symlink(target.constData(), at.constData());
    }
    static bool isFolder(const QByteArray& path)
    {
        struct stat st;
        return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    void refreshFolders()
    {
        m_folders = {m_top};
        for (qsizetype i = 0; i < m_folders.size(); ++i) {
            for (const QByteArray& n : FileTree::list(m_folders[i])) {
                if (isFolder(m_folders[i] + '/' + n))
                    m_folders << m_folders[i] + '/' + n;
            }
        }
    }

    QByteArray m_top;
    QRandomGenerator m_random;
    QList<QByteArray> m_folders;
    int m_serial = 0;
};

// Long enough for every listing to be kept: their folders' times lie further back than the margin.
void waitPastMargin()
{
    QThread::msleep(std::chrono::milliseconds(ListingCache::Margin).count() + 150);
}

} // namespace

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
        // Enough folders for the ones asked ahead of the walk to be shared out as sub-trees.
        QTest::addColumn<int>("folders");
        QTest::newRow("walk alone") << -1 << 0 << false << true << 40;
        QTest::newRow("readers") << -1 << 16 << false << true << 40;
        QTest::newRow("readers, many folders") << -1 << 16 << false << true << 600;
        QTest::newRow("target check") << -1 << 16 << true << true << 40;
        QTest::newRow("exfat") << int(DiskMount::Kind::Exfat) << 16 << false << false << 40;
        QTest::newRow("fat32") << int(DiskMount::Kind::Fat) << 16 << false << false << 40;
        QTest::newRow("ntfs") << int(DiskMount::Kind::Ntfs) << 16 << false << true << 40;
        QTest::newRow("bindfs") << int(DiskMount::Kind::Bindfs) << 16 << false << true << 40;
    }
    void sameAsFreshWalk()
    {
        QFETCH(int, disk);
        QFETCH(int, readers);
        QFETCH(bool, target);
        QFETCH(bool, kept);
        QFETCH(int, folders);
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
        tree.make(folders, folders * 7);
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

        const UniqueFd root = fsys::openFolder(top.constData()).fd;
        struct stat st;
        QVERIFY(::fstat(root.get(), &st) == 0);
        ConfirmedListings confirmed(listings, root.get(), folderPathForWalk(top), st.st_dev, -1, nullptr,
                                    nullptr, threads);
        int found = 0;
        for (const QByteArray& f : tree.folders()) {
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
