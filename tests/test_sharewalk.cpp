// SPDX-License-Identifier: MIT
// The readers on storage that answers slowly: how many list at once as listings wait, and a walk on a
// simulated network share (latencyfs, when it was built and FUSE mounts here) that keeps its order, fills
// the share's pipe beyond a disk's readers, and stops promptly.
#include "search/readergrowth.h"
#include "search/readerpool.h"
#include "search/walker.h"
#include "support/changingtree.h"
#include "support/filetree.h"
#include "support/latencymount.h"
#include "support/testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <cctype>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace walkahead;
using namespace std::chrono_literals;

namespace {

dev_t deviceOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : 0;
}

// The listings a second a simulated store gives for a number of readers.
using RateOf = std::function<double(int readers)>;

// Feeds count listings that each took latency, ending as fast as rateOf(wanted) allows, waiting in turn as
// pattern spells over and over ('q' no wait, 's' slept, 'r' read from storage; in capitals, with the walk
// short of work); the readers wanted at the end.
int simulate(ReaderGrowth& growth, int count, ListingClock::duration latency, const QByteArray& pattern,
             bool shortOfWork, const RateOf& rateOf)
{
    static ListingClock::time_point at{}; // goes on from one call to the next, as a walk's time does
    for (int i = 0; i < count; ++i) {
        at += std::chrono::duration_cast<ListingClock::duration>(
            std::chrono::duration<double>(1.0 / rateOf(growth.wanted())));
        const char spelled = pattern[i % pattern.size()];
        const char kind = char(std::tolower(spelled));
        const Waited waited = kind == 'r' ? Waited::Read : kind == 's' ? Waited::Slept : Waited::No;
        growth.afterListing({at, latency, waited, shortOfWork || spelled != kind});
    }
    return growth.wanted();
}

// Every path one walk reports, in order, below root; stop, when set, ends it early.
QByteArrayList walkPaths(const QString& root, int readers, std::atomic<bool>* stop = nullptr,
                         std::shared_ptr<ListingCache> listings = nullptr, bool oneFileSystem = false,
                         std::function<int(std::string_view)> beforeOpen = {}, bool helpersGiveWay = false)
{
    std::atomic<bool> never{false};
    LiveCriteria criteria;
    criteria.set(LengthCriterion{Comparison::GreaterThan, -1, LengthUnit::Name});
    WalkSettings settings;
    settings.stop = stop ? stop : &never;
    settings.criteria = &criteria;
    settings.readers = readers;
    settings.listings = std::move(listings);
    settings.oneFileSystem = oneFileSystem;
    settings.beforeOpen = std::move(beforeOpen);
    settings.helpersGiveWay = helpersGiveWay;
    QByteArrayList seen;
    const QByteArray native = QFile::encodeName(root);
    walkFolder(fsys::openFolder(native.constData()).fd, folderPathForWalk(native), settings,
               [&](WalkReport&& report) {
                   for (const ResultBatch::Entry& e : report.rows.entries)
                       seen << QByteArray(report.rows.bytes.data() + e.offset + native.size(),
                                          int(e.pathBytes) - native.size());
                   return ResultBatch();
               });
    return seen;
}

// Folders four deep, three files each: wide enough that many readers have work.
void makeTree(const QByteArray& root, int folders)
{
    for (int i = 0; i < folders; ++i) {
        const QByteArray folder = root + "/" + QByteArray::number(i % 7) + "/" + QByteArray::number(i % 31) +
                                  "/" + QByteArray::number(i);
        QVERIFY(FileTree::makeFolder(root + "/" + QByteArray::number(i % 7)) ||
                FileTree::exists(root + "/" + QByteArray::number(i % 7)));
        QVERIFY(
            FileTree::makeFolder(root + "/" + QByteArray::number(i % 7) + "/" + QByteArray::number(i % 31)) ||
            FileTree::exists(root + "/" + QByteArray::number(i % 7) + "/" + QByteArray::number(i % 31)));
        QVERIFY(FileTree::makeFolder(folder));
        for (const char* name : {"a.txt", "bb.log", "name of twelve"})
            QVERIFY(FileTree::write(folder + "/" + name, ""));
    }
}

} // namespace

class TestShareWalk : public QObject
{
    Q_OBJECT

private slots:
    void readersFollowTheStore_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("latencyUs");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("shortOfWork");
        QTest::addColumn<RateOf>("rateOf");
        QTest::addColumn<int>("cap");
        QTest::addColumn<int>("wanted");
        const RateOf scales = [](int readers) { return readers / 0.02; };
        QTest::newRow("from memory: the few") << 5000 << 10 << QByteArray("q") << false << scales << 128 << 2;
        QTest::newRow("a sleep now and then from memory: the few")
            << 5000 << 300 << QByteArray("sqqsqqqqqqqssqqqqqqq") << false << scales << 128 << 2;
        QTest::newRow("a disk: its readers, no more for quick answers")
            << 5000 << 500 << QByteArray("r") << false << RateOf([](int r) { return r / 0.0005; }) << 128
            << 16;
        QTest::newRow("a share that scales: up to the cap")
            << 5000 << 20000 << QByteArray("s") << false << scales << 128 << 128;
        QTest::newRow("a share that scales: the descriptors' cap")
            << 5000 << 20000 << QByteArray("s") << false << scales << 40 << 40;
        // One window's rate at 64 readers is half what they give (a noisy moment): the next one shows the
        // gain, and the readers grow on.
        const auto noisy = std::make_shared<int>(0);
        QTest::newRow("a share that scales, one window noisy: up to the cap")
            << 5000 << 20000 << QByteArray("s") << false
            << RateOf([noisy](int r) { return (r == 64 && (*noisy)++ < 128 ? r / 2 : r) / 0.02; }) << 128
            << 128;
        QTest::newRow("a share that saturates: one step, kept")
            << 5000 << 20000 << QByteArray("s") << false
            << RateOf([](int r) { return std::min(r, 18) / 0.02; }) << 128 << 32;
        QTest::newRow("a share slower with more: back to the disk's")
            << 5000 << 20000 << QByteArray("s") << false
            << RateOf([](int r) { return (r > 16 ? 10 : r) / 0.02; }) << 128 << 16;
        QTest::newRow("a walk short of folders: the disk's")
            << 5000 << 20000 << QByteArray("s") << true << scales << 128 << 16;
        // A tree's narrow top leaves the readers short of work every few listings: a far share still gets
        // its first step, never judged while the walk is short of work, and so not undone either.
        QTest::newRow("a far share's narrow top: one step beyond the disk's")
            << 5000 << 60000 << QByteArray("ssssS") << false << scales << 128 << 112;
        QTest::newRow("short of work after every three: the disk's")
            << 5000 << 60000 << QByteArray("sssS") << false << scales << 128 << 16;
        QTest::newRow("a disk's narrow top: the disk's")
            << 5000 << 500 << QByteArray("rrrrR") << false << scales << 128 << 16;
    }
    void readersFollowTheStore()
    {
        QFETCH(int, count);
        QFETCH(int, latencyUs);
        QFETCH(QByteArray, pattern);
        QFETCH(bool, shortOfWork);
        QFETCH(RateOf, rateOf);
        QFETCH(int, cap);
        QFETCH(int, wanted);
        ReaderGrowth growth(2, 16, cap);
        QCOMPARE(simulate(growth, count, std::chrono::microseconds(latencyUs), pattern, shortOfWork, rateOf),
                 wanted);
    }

    void quickListingsCalmTheReaders()
    {
        ReaderGrowth growth(2, 16, 128);
        const RateOf share = [](int r) { return r / 0.02; };
        const RateOf memory = [](int) { return 1e5; };
        QCOMPARE(simulate(growth, 2000, 20ms, "s", false, share), 128);
        QCOMPARE(simulate(growth, QuickListingsToCalm - 1, 10us, "q", false, memory), 128);
        QCOMPARE(simulate(growth, 1, 10us, "q", false, memory), 2);
        // and grows again when the share is met again
        QCOMPARE(simulate(growth, 2000, 20ms, "s", false, share), 128);
    }

    // A share's listings each wait about three round trips; the time its readers take to reach the cap is
    // time the share's pipe is not full.
    void readersFillAFarShareQuickly_data()
    {
        QTest::addColumn<int>("roundTripMs");
        QTest::addColumn<int>("firstStep");
        QTest::addColumn<double>("secondsAtMost");
        QTest::newRow("near: doubled") << 2 << 32 << 0.1;
        QTest::newRow("far: filled in two steps") << 20 << 112 << 0.3;
    }
    void readersFillAFarShareQuickly()
    {
        QFETCH(int, roundTripMs);
        QFETCH(int, firstStep);
        QFETCH(double, secondsAtMost);
        const double listing = 3 * roundTripMs / 1000.0;
        ReaderGrowth growth(2, 16, 128);
        ListingClock::time_point at{};
        const ListingClock::time_point start = at;
        int steps = 0;
        int first = 0;
        while (growth.wanted() < 128 && steps < 100000) {
            const int before = growth.wanted();
            at += std::chrono::duration_cast<ListingClock::duration>(
                std::chrono::duration<double>(listing / before));
            growth.afterListing(
                {at,
                 std::chrono::duration_cast<ListingClock::duration>(std::chrono::duration<double>(listing)),
                 Waited::Read, false});
            if (before == 16 && growth.wanted() > 16)
                first = growth.wanted();
            ++steps;
        }
        QCOMPARE(first, firstStep);
        QVERIFY2(std::chrono::duration<double>(at - start).count() <= secondsAtMost,
                 qPrintable(QString::number(std::chrono::duration<double>(at - start).count())));
    }

    // A walk starts with the readers an earlier walk on the same share grew to, within the cap; from memory
    // they calm down as ever; on a far share with a narrow top they step up from there at once, since a
    // device number a share had may be another share's after a remount.
    void readersStartWhereTheLastWalkLeft_data()
    {
        QTest::addColumn<int>("remembered");
        QTest::addColumn<int>("atStart");
        QTest::addColumn<int>("onAFarShare");
        QTest::newRow("none: the few") << 0 << 2 << 112;
        QTest::newRow("a disk's: the few") << 16 << 2 << 112;
        QTest::newRow("a near share's") << 20 << 20 << 128;
        QTest::newRow("a share's") << 100 << 100 << 128;
        QTest::newRow("beyond the cap") << 300 << 128 << 128;
    }
    void readersStartWhereTheLastWalkLeft()
    {
        QFETCH(int, remembered);
        QFETCH(int, atStart);
        QFETCH(int, onAFarShare);
        ReaderGrowth growth(2, 16, 128, remembered);
        QCOMPARE(growth.wanted(), atStart);
        QCOMPARE(simulate(growth, QuickListingsToCalm, 10us, "q", false, [](int) { return 1e5; }), 2);
        ReaderGrowth far(2, 16, 128, remembered);
        QCOMPARE(simulate(far, 5000, 60ms, "ssssS", false, [](int r) { return r / 0.06; }), onAFarShare);
    }

    void descriptorsBoundTheReaders_data()
    {
        QTest::addColumn<int>("openFilesAtMost");
        QTest::addColumn<int>("readers");
        QTest::addColumn<int>("held");
        QTest::newRow("a generous 20000: the caps") << 20000 << 256 << 4096;
        QTest::newRow("4160: a quarter held") << 4160 << 256 << 1024;
        QTest::newRow("the usual 1024: the cap") << 1024 << 256 << 256;
        QTest::newRow("600: what the descriptors leave") << 600 << 140 << 256;
        QTest::newRow("400: what the descriptors leave") << 400 << 40 << 256;
        QTest::newRow("300: a disk's readers all the same") << 300 << 16 << 256;
    }
    void descriptorsBoundTheReaders()
    {
        QFETCH(int, openFilesAtMost);
        QFETCH(int, readers);
        QFETCH(int, held);
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < rlim_t(openFilesAtMost))
            QSKIP("the hard limit on open files is lower than the case needs");
        rlimit lowered = saved;
        lowered.rlim_cur = rlim_t(openFilesAtMost);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &lowered) == 0);
        const int got = readersOnShareAtMost(DefaultWalkReaders);
        const int heldGot = heldFoldersAtMost();
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QCOMPARE(got, readers);
        QCOMPARE(heldGot, held);
    }

    // Every question to a share is a round trip: a folder costs its lookup, its open and its listing, once,
    // while its listing is kept too; a search again asks its lookup and its times, and lists nothing; and it
    // starts with the readers the first walk grew to.
    void shareIsAskedEachThingOnce_data()
    {
        QTest::addColumn<bool>("oneFileSystem");
        QTest::newRow("any file system") << false;
        QTest::newRow("one file system") << true;
    }

    void shareIsAskedEachThingOnce()
    {
        QFETCH(bool, oneFileSystem);
        ScratchDir source;
        makeTree(source.path(), 60);
        int folders = 0;
        for (QDirIterator it(source.qpath(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext(); it.next())
            ++folders;
        const QByteArrayList expected = walkPaths(source.qpath(), 0);
        LatencyMount share(QStringLiteral(LATENCYFS), source.qpath(), 20, false);
        if (!share.usable())
            QSKIP(qPrintable(share.skipReason()));
        waitPastMargin(); // so that every listing is kept
        const auto listings = std::make_shared<ListingCache>();
        QCOMPARE(walkPaths(share.path(), DefaultWalkReaders, nullptr, listings, oneFileSystem), expected);
        const dev_t device = deviceOf(share.path());
        QVERIFY2(listings->readersFor(device) > DefaultWalkReaders,
                 qPrintable(QStringLiteral("%1 readers noted").arg(listings->readersFor(device))));
        QCOMPARE(walkPaths(share.path(), DefaultWalkReaders, nullptr, listings, oneFileSystem), expected);
        const LatencyMount::Counts counts = share.unmount();
        const auto asked = [&](const char* kind) { return counts.byKind.value(QLatin1String(kind)); };
        // The listed folder is opened by the caller, once for each walk.
        QCOMPARE(asked("opendir"), folders + 2);
        QCOMPARE(asked("readdir"), folders + 1);
        // A lookup a folder in the first walk (where it is on the listed folder's file system is known
        // from the open), a lookup and its times in the second; the listed folder's times once, to tell
        // whether its kept listing holds; this test's own two questions of it (mounted? which device?).
        const qint64 names = asked("lookup") + asked("getattr");
        QVERIFY2(names <= 3 * folders + 4,
                 qPrintable(QStringLiteral("%1 lookups and times for %2 folders").arg(names).arg(folders)));
        QVERIFY2(asked("statfs") <= 2, qPrintable(QString::number(asked("statfs"))));
    }

    // A search again that starts with a disk's readers, as after a walk whose readers did not grow, asks
    // each folder's times, one round trip of a few milliseconds each: its readers grow as a first walk's do,
    // though the walk itself takes many of those folders while the readers are few.
    void searchAgainGrowsItsReaders_data()
    {
        QTest::addColumn<double>("delayMs");
        QTest::addColumn<bool>("cache");
        QTest::newRow("2 ms, client's cache") << 2.0 << true;
        QTest::newRow("5 ms, no cache") << 5.0 << false;
    }

    void searchAgainGrowsItsReaders()
    {
        QFETCH(double, delayMs);
        QFETCH(bool, cache);
        ScratchDir source;
        makeTree(source.path(), 300);
        const QByteArrayList expected = walkPaths(source.qpath(), 0);
        LatencyMount share(QStringLiteral(LATENCYFS), source.qpath(), delayMs, cache);
        if (!share.usable())
            QSKIP(qPrintable(share.skipReason()));
        waitPastMargin();
        const auto listings = std::make_shared<ListingCache>();
        QCOMPARE(walkPaths(share.path(), DefaultWalkReaders, nullptr, listings), expected);
        const dev_t device = deviceOf(share.path());
        listings->noteReaders(device, 0);
        QCOMPARE(walkPaths(share.path(), DefaultWalkReaders, nullptr, listings), expected);
        QVERIFY2(listings->readersFor(device) > DefaultWalkReaders,
                 qPrintable(QStringLiteral("%1 readers noted").arg(listings->readersFor(device))));
        const LatencyMount::Counts counts = share.unmount();
        // Nothing was listed again: only the listed folder, which its caller opens, was opened twice.
        QCOMPARE(counts.byKind.value(QStringLiteral("readdir")),
                 counts.byKind.value(QStringLiteral("opendir")) - 1);
    }

    // A share at 20 ms a request: the rows come in the walk's order, more requests are in flight than a disk
    // gets readers, and Stop ends the walk within a generous limit.
    void shareWalk()
    {
        ScratchDir source;
        makeTree(source.path(), 300);
        const QByteArrayList expected = walkPaths(source.qpath(), 0);
        QCOMPARE(expected.size(), 900);
        {
            LatencyMount share(QStringLiteral(LATENCYFS), source.qpath(), 20, false);
            if (!share.usable())
                QSKIP(qPrintable(share.skipReason()));
            QCOMPARE(walkPaths(share.path(), DefaultWalkReaders), expected);
            const LatencyMount::Counts counts = share.unmount();
            // More threads asked than a disk's sixteen readers and the walk.
            QVERIFY2(counts.callers > DefaultWalkReaders + 1,
                     qPrintable(QStringLiteral("%1 threads asked").arg(counts.callers)));
        }
        LatencyMount share(QStringLiteral(LATENCYFS), source.qpath(), 20, false);
        QVERIFY2(share.usable(), qPrintable(share.skipReason()));
        std::atomic<bool> stop{false};
        QElapsedTimer clock;
        std::atomic<qint64> stoppedAt{-1};
        clock.start();
        std::thread stopper([&] {
            std::this_thread::sleep_for(400ms);
            stoppedAt = clock.elapsed();
            stop = true;
        });
        const QByteArrayList partial = walkPaths(share.path(), DefaultWalkReaders, &stop);
        const qint64 endedAt = clock.elapsed();
        stopper.join();
        QVERIFY2(stoppedAt >= 0 && partial.size() < expected.size(), "the walk ended before Stop");
        QVERIFY2(endedAt - stoppedAt < 1000, qPrintable(QStringLiteral("%1 ms").arg(endedAt - stoppedAt)));
    }

    // Once Stop is pressed the readers open no folder: the walk, which may be inside a listing of its own
    // for a while yet, then waits only for the listings under way when it was pressed.
    void readersOpenNothingAfterStop_data()
    {
        QTest::addColumn<int>("stopAtOpen");
        QTest::newRow("while the readers are few") << 3;
        QTest::newRow("once they have grown") << 120;
    }
    void readersOpenNothingAfterStop()
    {
        QFETCH(int, stopAtOpen);
        ScratchDir source;
        makeTree(source.path(), 300);
        const std::thread::id walkThread = std::this_thread::get_id();
        std::atomic<bool> stop{false};
        std::atomic<int> opened{0};
        std::atomic<int> openedAfterStop{0};
        const auto roundTrip = [&](std::string_view) {
            const bool reader = std::this_thread::get_id() != walkThread;
            if (stop.load())
                openedAfterStop += reader ? 1 : 0;
            else if (++opened == stopAtOpen)
                stop = true;
            // The walk's own listings are slow, so that it notices Stop late.
            std::this_thread::sleep_for(reader ? 10ms : 100ms);
            return 0;
        };
        const QByteArrayList partial =
            walkPaths(source.qpath(), DefaultWalkReaders, &stop, nullptr, false, roundTrip);
        QVERIFY(partial.size() < 900);
        // A reader that took its folder just before the flag was set may reach the open just after.
        QVERIFY2(openedAfterStop <= 2, qPrintable(QString::number(openedAfterStop)));
    }

    // A window's readers yield to its thread when processors are short; the walk's own thread, which hands
    // the window its rows, does not. Readers started by readers are lowered no further.
    void readersGiveWayToTheWindow_data()
    {
        QTest::addColumn<bool>("giveWay");
        QTest::newRow("for a window") << true;
        QTest::newRow("for the finder") << false;
    }
    void readersGiveWayToTheWindow()
    {
        QFETCH(bool, giveWay);
        const auto niceOf = [](pid_t thread) { return ::getpriority(PRIO_PROCESS, id_t(thread)); };
        const pid_t walkThread = ::gettid();
        const int base = niceOf(walkThread);
        if (base >= 19)
            QSKIP("the tests run at the lowest priority already: nothing can be lower");
        ScratchDir source;
        makeTree(source.path(), 300);
        std::mutex mutex;
        std::map<pid_t, int> readers; // thread, its nice value
        std::set<int> walkNice;
        const auto note = [&](std::string_view) {
            const pid_t self = ::gettid();
            const int nice = niceOf(self);
            {
                std::lock_guard lock(mutex);
                if (self == walkThread)
                    walkNice.insert(nice);
                else
                    readers[self] = nice;
            }
            // Listings that sleep, as a share's do, bring more readers, started by the readers there.
            std::this_thread::sleep_for(3ms);
            return 0;
        };
        walkPaths(source.qpath(), DefaultWalkReaders, nullptr, nullptr, false, note, giveWay);
        QVERIFY2(readers.size() > 2, qPrintable(QString::number(readers.size())));
        std::set<int> readerNice;
        for (const auto& [thread, nice] : readers)
            readerNice.insert(nice);
        QCOMPARE(readerNice.size(), std::size_t(1));
        if (giveWay)
            QVERIFY2(*readerNice.begin() > base, qPrintable(QString::number(*readerNice.begin())));
        else
            QCOMPARE(*readerNice.begin(), base);
        QVERIFY(walkNice.empty() || walkNice == std::set<int>{base});
        QCOMPARE(niceOf(walkThread), base);
    }

    // Readers grown for a share take the shallowest folder every other time: the rows stay the walk's, each
    // once and in its order, on a tree of uneven depth.
    void unevenTreeWithReadersGrown()
    {
        ScratchDir source;
        ChangingTree tree(source.path(), 4242);
        tree.make(600, 900);
        const QByteArrayList expected = walkPaths(source.qpath(), 0);
        std::atomic<int> opened{0};
        const auto roundTrip = [&](std::string_view) {
            ++opened;
            std::this_thread::sleep_for(4ms);
            return 0;
        };
        QCOMPARE(walkPaths(source.qpath(), DefaultWalkReaders, nullptr, nullptr, false, roundTrip), expected);
        QVERIFY(opened > 600);
    }

    // The simulated share answers the way a share's client asks, or the bench measures the wrong thing: the
    // names of a listed folder are looked up at once, not one after another.
    void shareLooksUpNamesAtOnce()
    {
        constexpr int Names = 8;
        ScratchDir source;
        for (int i = 0; i < Names; ++i)
            QVERIFY(QDir(source.qpath()).mkdir(QStringLiteral("folder %1").arg(i)));
        LatencyMount share(QStringLiteral(LATENCYFS), source.qpath(), 20, false);
        if (!share.usable())
            QSKIP(qPrintable(share.skipReason()));
        const QStringList names = QDir(share.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(names.size(), Names);
        std::atomic<int> started{0};
        std::vector<std::thread> askers;
        for (const QString& name : names)
            askers.emplace_back([&started, path = QFile::encodeName(share.path() + '/' + name)] {
                ++started;
                while (started.load() < Names)
                    std::this_thread::yield();
                struct stat st;
                ::stat(path.constData(), &st);
            });
        for (std::thread& asker : askers)
            asker.join();
        const LatencyMount::Counts counts = share.unmount();
        // Each lookup is held 20 ms; threads let go together overlap unless the share queues them. A couple
        // may start late on a busy machine.
        QVERIFY2(counts.mostInFlight >= Names - 2,
                 qPrintable(QStringLiteral("at most %1 at once").arg(counts.mostInFlight)));
    }

    // A folder too big for one answer to the kernel is listed whole, every name once, in one request of the
    // share: the kernel's further reads are answered from it.
    void bigFolderIsListedWhole()
    {
        constexpr int Files = 3000;
        ScratchDir source;
        QStringList expected;
        for (int i = 0; i < Files; ++i) {
            expected
                << QStringLiteral("file %1 of a folder too big for one answer").arg(i, 4, 10, QChar('0'));
            QFile file(source.qpath() + '/' + expected.back());
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        LatencyMount share(QStringLiteral(LATENCYFS), source.qpath(), 0, false);
        if (!share.usable())
            QSKIP(qPrintable(share.skipReason()));
        QCOMPARE(QDir(share.path()).entryList(QDir::Files, QDir::Name), expected);
        const LatencyMount::Counts counts = share.unmount();
        QCOMPARE(counts.byKind.value(QStringLiteral("readdir")), 1);
    }
};

LENTROVA_TEST_MAIN(TestShareWalk)
#include "test_sharewalk.moc"
