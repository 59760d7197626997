// SPDX-License-Identifier: MIT
#include "fileops/renamejournal.h"
#include "fileops/shorten.h"
#include "fileops/shortenapply.h"
#include "platform/fileidentity.h"
#include "results/resultmodel.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/testmain.h"
#include "ui/shortendialog.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTableView>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

QByteArray journalFolder()
{
    return RenameJournal::folder();
}

QList<QByteArray> journalNames()
{
    return FileTree::list(journalFolder());
}

// The status word of the journal line that renamed the file of that old name; empty when no line does.
QByteArray journalWordFor(const QByteArray& oldName)
{
    for (const QByteArray& name : journalNames())
        for (const QByteArray& line : FileTree::read(journalFolder() + name).split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() >= 4 && QByteArray::fromPercentEncoding(fields[2]) == oldName)
                return fields[0];
        }
    return {};
}

// What the file at path holds; empty when nothing is there.
QByteArray contentOrNothing(const QByteArray& path)
{
    return FileTree::exists(path) ? FileTree::read(path) : QByteArray();
}

// Sets the local time zone for the rest of the step, and back after.
class TimeZone
{
public:
    explicit TimeZone(const QByteArray& zone)
        : m_saved(qgetenv("TZ")), m_wasSet(qEnvironmentVariableIsSet("TZ"))
    {
        set(zone);
    }
    ~TimeZone()
    {
        if (m_wasSet)
            set(m_saved);
        else
            qunsetenv("TZ");
        ::tzset();
    }
    static void set(const QByteArray& zone)
    {
        qputenv("TZ", zone);
        ::tzset();
    }

private:
    QByteArray m_saved;
    bool m_wasSet;
};

enum class Meddle {
    None,
    RenamedBackByHand,
    UnrelatedAtNewName,
    OldNameTaken,
    NewNameGone,
    KilledAfterRename,
    KilledBeforeRename,
    KilledThenUnrelatedAtNewName,
};

} // namespace

class TestShorten : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void shortenedName_data();
    void shortenedName();
    void planAvoidsNamesTakenOnDiskAndInTheBatch();
    void planNeverMakesNamesEqualButForCaseOrForm_data();
    void planNeverMakesNamesEqualButForCaseOrForm();
    void applyPassesOverANameTakenButForCase();
    void applyAndUndo();
    void nameTakenBetweenPreviewAndApply();
    void undoNeverReplaces();
    void onFuseFileSystems_data();
    void onFuseFileSystems();
    void undoSettlesEachLine_data();
    void undoSettlesEachLine();
    void journalLinesAsDocumented();
    void undoOrderAcrossTimeZones_data();
    void undoOrderAcrossTimeZones();
    void olderRecordsUndoneAfterNewer();
    void killedBatchesUndoneWhole();
    void limitText_data();
    void limitText();
    void dialogPreviewsAndRefusesBadLimits();
    void renamedRowsKeepPlaceAndCheck();
};

void TestShorten::init()
{
    FileTree::removeTree(qgetenv("XDG_DATA_HOME") + "/lentrova");
}

void TestShorten::shortenedName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("bytes");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QByteArray>("expected"); // empty: cannot be shortened

    auto row = [](const char* tag, QByteArray name, int limit, bool bytes, QByteArray expected,
                  int counter = 1) { QTest::newRow(tag) << name << limit << bytes << counter << expected; };
    row("ascii keeps the extension", "abcdefghij.txt", 8, false, "abcd.txt");
    row("trailing blanks and periods dropped", "ab . cdefgh.txt", 8, false, "ab.txt");
    row("no extension", "abcdefghij", 5, false, "abcde");
    row("hidden file without extension", ".bashrc_long_name", 6, false, ".bashr");
    row("hidden file with extension", ".configuration.json", 8, false, ".co.json");
    row("only the last extension kept", "archive.tar.gz", 10, false, "archive.gz");
    row("extension over 16 units is stem", "a.abcdefghijklmnopq", 5, false, "a.abc");
    row("extension alone too long", "abcdefgh.verylongext", 8, false, "");
    row("nothing of the stem would be left", "abcdefgh.txt", 4, false, "");
    row("counter before the extension", "abcdefghij.txt", 8, false, "ab~2.txt", 2);
    row("emoji kept whole", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80.txt", 7, false,
        "\xF0\x9F\x98\x80.txt");
    row("emoji pair fits", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80.txt", 8, false,
        "\xF0\x9F\x98\x80\xF0\x9F\x98\x80.txt");
    row("flag sequence never halved", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7.txt",
        9, false, "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA.txt");
    row("flag that cannot fit", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7.txt", 7,
        false, "");
    row("combining mark stays with its base",
        "e\xCC\x81"
        "e\xCC\x81"
        "e\xCC\x81.txt",
        7, false, "e\xCC\x81.txt");
    row("hangul jamo syllable whole",
        "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB.txt", 8, false,
        "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB.txt");
    row("cjk in units", "\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97.txt", 7, false,
        "\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2.txt");
    row("cjk in bytes", "\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97.txt", 12, true,
        "\xE6\xBC\xA2\xE5\xAD\x97.txt");
    row("bytes never split a sequence", "\xC3\xA9\xC3\xA9\xC3\xA9.txt", 7, true, "\xC3\xA9.txt");
    row("invalid utf-8 kept where not cut",
        "ab\xFF\xFE"
        "cdef.txt",
        7, false, "ab\xFF.txt");
    row("invalid utf-8 counts raw bytes",
        "ab\xFF\xFE"
        "cdef.txt",
        8, true, "ab\xFF\xFE.txt");
}

void TestShorten::shortenedName()
{
    QFETCH(QByteArray, name);
    QFETCH(int, limit);
    QFETCH(bool, bytes);
    QFETCH(int, counter);
    QFETCH(QByteArray, expected);
    const ShortenLimit l{limit, bytes ? LengthUnit::Bytes : LengthUnit::Name};
    const auto got =
        ::shortenedName(std::string_view(name.constData(), std::size_t(name.size())), l, counter);
    QCOMPARE(got.value_or(QByteArray()), expected);
    if (got)
        QVERIFY(measureName(std::string_view(got->constData(), std::size_t(got->size())), l.unit) <= limit);
}

void TestShorten::planAvoidsNamesTakenOnDiskAndInTheBatch()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    for (const char* name :
         {"abcdefgh1.txt", "abcdefgh2.txt", "abcd.txt", "shrt.txt", "exactly8", "x.waytoolongext"})
        QVERIFY(FileTree::write(f + name, "x"));
    std::vector<ShortenCandidate> rows;
    quint64 id = 0;
    for (const char* name : {"abcdefgh1.txt", "abcdefgh2.txt", "shrt.txt", "exactly8", "x.waytoolongext"})
        rows.push_back({++id, f + name});
    const std::vector<ShortenItem> plan = planShortening(rows, {8, LengthUnit::Name});
    QCOMPARE(plan.size(), std::size_t(3));             // names within the limit are left out
    QCOMPARE(plan[0].newName, QByteArray("ab~2.txt")); // "abcd.txt" is on disk
    QCOMPARE(plan[1].newName, QByteArray("ab~3.txt")); // the first row took ~2
    QCOMPARE(plan[1].newLength, 8);
    QCOMPARE(plan[2].rowId, quint64(5));
    QVERIFY(plan[2].newName.isEmpty());
    QVERIFY(!plan[2].note.isEmpty());
}

void TestShorten::planNeverMakesNamesEqualButForCaseOrForm_data()
{
    QTest::addColumn<QList<QByteArray>>("onDisk"); // besides the candidates
    QTest::addColumn<QList<QByteArray>>("candidates");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QList<QByteArray>>("expected"); // new names, in the candidates' order
    QTest::newRow("two candidates equal but for case")
        << QList<QByteArray>{}
        << QList<QByteArray>{"Holiday-in-the-mountains.jpeg", "holiday-in-the-mountains.jpeg"} << 16
        << QList<QByteArray>{"Holiday-in-.jpeg", "holiday-i~2.jpeg"};
    QTest::newRow("a name on disk equal but for case")
        << QList<QByteArray>{"HOLIDAY-IN-.jpeg"} << QList<QByteArray>{"Holiday-in-the-mountains.jpeg"} << 16
        << QList<QByteArray>{"Holiday-i~2.jpeg"};
    QTest::newRow("a name on disk equal but for the case of a letter beyond ASCII")
        << QList<QByteArray>{"\xC3\x84PFEL-B.txt"} << QList<QByteArray>{"\xC3\xA4pfel-baum-nord.txt"} << 11
        << QList<QByteArray>{"\xC3\xA4pfel~2.txt"};
    // "é" as e and a combining accent, and as one character: the cuts differ as bytes but not in NFC.
    QTest::newRow("two candidates equal but for Unicode form") << QList<QByteArray>{}
                                                               << QList<QByteArray>{"e\xCC\x81"
                                                                                    "abcd-tail-one.txt",
                                                                                    "\xC3\xA9"
                                                                                    "abcd.tail-two.txt"}
                                                               << 10
                                                               << QList<QByteArray>{"e\xCC\x81"
                                                                                    "abcd.txt",
                                                                                    "\xC3\xA9"
                                                                                    "abc~2.txt"};
    QTest::newRow("names differing in more than case stay")
        << QList<QByteArray>{"holiday-in-X.jpeg"} << QList<QByteArray>{"Holiday-in-the-mountains.jpeg"} << 16
        << QList<QByteArray>{"Holiday-in-.jpeg"};
}

void TestShorten::planNeverMakesNamesEqualButForCaseOrForm()
{
    QFETCH(QList<QByteArray>, onDisk);
    QFETCH(QList<QByteArray>, candidates);
    QFETCH(int, limit);
    QFETCH(QList<QByteArray>, expected);
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    std::vector<ShortenCandidate> rows;
    for (const QByteArray& name : onDisk)
        QVERIFY(FileTree::write(f + name, "theirs"));
    for (const QByteArray& name : candidates) {
        QVERIFY(FileTree::write(f + name, name));
        rows.push_back({quint64(rows.size() + 1), f + name});
    }
    const ShortenLimit l{limit, LengthUnit::Name};
    const std::vector<ShortenItem> plan = planShortening(rows, l);
    QList<QByteArray> got;
    for (const ShortenItem& item : plan)
        got << item.newName;
    QCOMPARE(got, expected);

    // Applied onto ext4 or tmpfs, which keep them apart anyway, every file keeps its content.
    const ShortenResult applied = applyShortening(plan, l);
    QCOMPARE(applied.outcomes.size(), std::size_t(candidates.size()));
    for (int i = 0; i < candidates.size(); ++i)
        QCOMPARE(FileTree::read(f + expected[i]), candidates[i]);
}

void TestShorten::applyPassesOverANameTakenButForCase()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    QVERIFY(FileTree::write(f + "Holiday-in-the-mountains.jpeg", "mine"));
    const ShortenLimit limit{16, LengthUnit::Name};
    const auto plan = planShortening({{1, f + "Holiday-in-the-mountains.jpeg"}}, limit);
    QCOMPARE(plan.at(0).newName, QByteArray("Holiday-in-.jpeg"));
    QVERIFY(FileTree::write(f + "holiday-in-.JPEG", "theirs")); // taken after the preview
    const ShortenResult applied = applyShortening(plan, limit);
    QCOMPARE(applied.outcomes.at(0).newPath, f + "Holiday-i~2.jpeg");
    QCOMPARE(FileTree::read(f + "Holiday-i~2.jpeg"), QByteArray("mine"));
    QCOMPARE(FileTree::read(f + "holiday-in-.JPEG"), QByteArray("theirs"));
}

void TestShorten::applyAndUndo()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    const QByteArray odd = "caf\xC3\xA9-\xFF-long-name.txt";
    QVERIFY(FileTree::write(f + "a-very-long-name.txt", "1"));
    QVERIFY(FileTree::write(f + odd, "2"));
    const ShortenLimit limit{11, LengthUnit::Bytes};
    const auto plan = planShortening({{1, f + "a-very-long-name.txt"}, {2, f + odd}}, limit);
    const ShortenResult applied = applyShortening(plan, limit);
    QVERIFY(applied.journalError.isEmpty());
    QCOMPARE(applied.outcomes.size(), std::size_t(2));
    QCOMPARE(applied.outcomes[0].newPath, f + "a-very-.txt");
    QCOMPARE(applied.outcomes[1].newPath, f + "caf\xC3\xA9-\xFF.txt");
    QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"a-very-.txt", "caf\xC3\xA9-\xFF.txt"}));

    const UndoResult undone = undoLastShortening();
    QVERIFY(undone.found);
    QVERIFY2(undone.failures.isEmpty(), qPrintable(undone.failures.join('\n')));
    QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"a-very-long-name.txt", odd}));
    QCOMPARE(FileTree::read(f + odd), QByteArray("2"));
    QVERIFY(!undoLastShortening().found); // that batch is spent
}

void TestShorten::nameTakenBetweenPreviewAndApply()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    QVERIFY(FileTree::write(f + "abcdefghij.txt", "mine"));
    const ShortenLimit limit{8, LengthUnit::Name};
    const auto plan = planShortening({{1, f + "abcdefghij.txt"}}, limit);
    QCOMPARE(plan.at(0).newName, QByteArray("abcd.txt"));
    QVERIFY(FileTree::write(f + "abcd.txt", "theirs")); // another program takes the name meanwhile
    const ShortenResult applied = applyShortening(plan, limit);
    QCOMPARE(applied.outcomes.at(0).newPath, f + "ab~2.txt");
    QCOMPARE(FileTree::read(f + "abcd.txt"), QByteArray("theirs"));
    QCOMPARE(FileTree::read(f + "ab~2.txt"), QByteArray("mine"));

    QString error;
    const auto journal = RenameJournal::openLatestUndoable(&error);
    QVERIFY(journal);
    QCOMPARE(journal->size(), 2);
    QCOMPARE(journal->status(0), RenameJournal::Status::Skipped);
    QCOMPARE(journal->status(1), RenameJournal::Status::Done);
    QCOMPARE(journal->entry(1).newName, QByteArray("ab~2.txt"));
    QVERIFY(undoLastShortening().failures.isEmpty());
    QCOMPARE(FileTree::read(f + "abcdefghij.txt"), QByteArray("mine"));
    QCOMPARE(FileTree::read(f + "abcd.txt"), QByteArray("theirs"));
}

void TestShorten::undoNeverReplaces()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    QVERIFY(FileTree::write(f + "first-long-name", "1"));
    QVERIFY(FileTree::write(f + "second-long-name", "2"));
    const ShortenLimit limit{5, LengthUnit::Name};
    QCOMPARE(applyShortening(planShortening({{1, f + "first-long-name"}, {2, f + "second-long-name"}}, limit),
                             limit)
                 .outcomes.size(),
             std::size_t(2));
    QVERIFY(FileTree::write(f + "first-long-name", "new")); // a new file took the old name
    QVERIFY(::unlink((f + "secon").constData()) == 0);      // and one shortened file is gone
    const UndoResult undone = undoLastShortening();
    QCOMPARE(undone.undone.size(), std::size_t(0));
    QCOMPARE(undone.failures.size(), 2);
    QCOMPARE(FileTree::read(f + "first-long-name"), QByteArray("new"));
    QCOMPARE(FileTree::read(f + "first"), QByteArray("1"));
}

void TestShorten::onFuseFileSystems_data()
{
    QTest::addColumn<DiskMount::Kind>("kind");
    QTest::newRow("bindfs") << DiskMount::Kind::Bindfs;
    QTest::newRow("exfat-fuse") << DiskMount::Kind::Exfat;
}

// These answer RENAME_NOREPLACE with EINVAL (and exfat-fuse makes no hard links): shortening and its undo
// still rename there, and still never replace a name another program took.
void TestShorten::onFuseFileSystems()
{
    QFETCH(DiskMount::Kind, kind);
    DiskMount mount(kind);
    SKIP_UNLESS_MOUNTED(mount);
    const QByteArray f = mount.path() + '/';
    QVERIFY(FileTree::write(f + "a-very-long-name.txt", "1"));
    QVERIFY(FileTree::write(f + "another-long-name.txt", "2"));
    const ShortenLimit limit{8, LengthUnit::Name};
    const auto plan =
        planShortening({{1, f + "a-very-long-name.txt"}, {2, f + "another-long-name.txt"}}, limit);
    QCOMPARE(plan.at(0).newName, QByteArray("a-ve.txt"));
    QVERIFY(FileTree::write(f + "a-ve.txt", "theirs")); // taken after the preview
    const ShortenResult applied = applyShortening(plan, limit);
    QCOMPARE(applied.outcomes.size(), std::size_t(2));
    for (const RenameOutcome& outcome : applied.outcomes)
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    QCOMPARE(FileTree::read(f + "a-ve.txt"), QByteArray("theirs"));
    QCOMPARE(FileTree::read(applied.outcomes[0].newPath), QByteArray("1"));
    QCOMPARE(FileTree::read(applied.outcomes[1].newPath), QByteArray("2"));
    QCOMPARE(FileTree::list(mount.path()).size(), 3);

    const UndoResult undone = undoLastShortening();
    QVERIFY2(undone.failures.isEmpty(), qPrintable(undone.failures.join('\n')));
    QCOMPARE(FileTree::list(mount.path()),
             (QList<QByteArray>{"a-ve.txt", "a-very-long-name.txt", "another-long-name.txt"}));
}

void TestShorten::undoSettlesEachLine_data()
{
    QTest::addColumn<int>("meddle");          // what happened to the file after the batch
    QTest::addColumn<QByteArray>("word");     // the status its line is left with
    QTest::addColumn<QString>("reason");      // the failure reported, empty when none
    QTest::addColumn<QByteArray>("atOld");    // what the old name holds after undo, empty when nothing
    QTest::addColumn<QByteArray>("atNew");    // what the new name holds after undo
    QTest::addColumn<bool>("reachesEarlier"); // the same undo goes on to the batch before

    auto row = [](const char* tag, Meddle meddle, QByteArray word, QString reason, QByteArray atOld,
                  QByteArray atNew, bool reachesEarlier = false) {
        QTest::newRow(tag) << int(meddle) << word << reason << atOld << atNew << reachesEarlier;
    };
    row("untouched", Meddle::None, "back", {}, "subject", {});
    row("renamed back by hand", Meddle::RenamedBackByHand, "home", {}, "subject", {});
    row("unrelated file at the new name", Meddle::UnrelatedAtNewName, "left",
        QStringLiteral("another file has taken this name"), {}, "unrelated");
    row("old name taken", Meddle::OldNameTaken, "left", QStringLiteral("File exists"), "newcomer", "subject");
    row("renamed file gone", Meddle::NewNameGone, "left", QStringLiteral("No such file or directory"), {},
        {});
    row("killed after the rename", Meddle::KilledAfterRename, "back", {}, "subject", {});
    row("killed before the rename", Meddle::KilledBeforeRename, "skip", {}, "subject", {}, true);
    row("killed, then an unrelated file at the new name", Meddle::KilledThenUnrelatedAtNewName, "skip", {},
        {}, "unrelated", true);
}

// Each line of the newest batch is settled once, whatever became of its file; the batch before is undone
// next, even when a line of the newer one could not be.
void TestShorten::undoSettlesEachLine()
{
    QFETCH(int, meddle);
    QFETCH(QByteArray, word);
    QFETCH(QString, reason);
    QFETCH(QByteArray, atOld);
    QFETCH(QByteArray, atNew);
    QFETCH(bool, reachesEarlier);
    const Meddle m = Meddle(meddle);
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    const ShortenLimit limit{8, LengthUnit::Name};
    QVERIFY(FileTree::write(f + "earlier-long-name.txt", "earlier"));
    QCOMPARE(
        applyShortening(planShortening({{1, f + "earlier-long-name.txt"}}, limit), limit).outcomes.size(),
        std::size_t(1));
    QCOMPARE(FileTree::read(f + "earl.txt"), QByteArray("earlier"));

    const QByteArray oldPath = f + "subject-long-name.txt";
    const QByteArray newPath = f + "subj.txt";
    QVERIFY(FileTree::write(oldPath, "subject"));
    if (m == Meddle::KilledAfterRename || m == Meddle::KilledBeforeRename ||
        m == Meddle::KilledThenUnrelatedAtNewName) {
        // What a batch killed before its line said "done" leaves: the record, every line still todo.
        QString error;
        QVERIFY(RenameJournal::create(
            {{f, "subject-long-name.txt", "subj.txt", identityWithoutFollowing(oldPath).identity}}, &error));
        if (m != Meddle::KilledBeforeRename)
            QVERIFY(::rename(oldPath.constData(), newPath.constData()) == 0);
    } else {
        QCOMPARE(applyShortening(planShortening({{2, oldPath}}, limit), limit).outcomes.at(0).newPath,
                 newPath);
    }
    switch (m) {
    case Meddle::RenamedBackByHand:
        QVERIFY(::rename(newPath.constData(), oldPath.constData()) == 0);
        break;
    case Meddle::UnrelatedAtNewName:
    case Meddle::KilledThenUnrelatedAtNewName:
        // Kept, so that the new file cannot be given the renamed file's inode.
        QVERIFY(::rename(newPath.constData(), (f + "moved-away").constData()) == 0);
        QVERIFY(FileTree::write(newPath, "unrelated"));
        break;
    case Meddle::OldNameTaken:
        QVERIFY(FileTree::write(oldPath, "newcomer"));
        break;
    case Meddle::NewNameGone:
        QVERIFY(::unlink(newPath.constData()) == 0);
        break;
    default:
        break;
    }

    const UndoResult undone = undoLastShortening();
    QVERIFY(undone.found);
    QCOMPARE(contentOrNothing(oldPath), atOld);
    QCOMPARE(contentOrNothing(newPath), atNew);
    QCOMPARE(journalWordFor("subject-long-name.txt"), word);
    QCOMPARE(undone.failures,
             reason.isEmpty() ? QStringList() : QStringList{QString::fromUtf8(newPath) + ": " + reason});
    QCOMPARE(undone.alreadyBack.size(), std::size_t(word == "home"));
    if (FileTree::exists(f + "moved-away"))
        QCOMPARE(FileTree::read(f + "moved-away"), QByteArray("subject"));
    QCOMPARE(FileTree::exists(f + "earlier-long-name.txt"), reachesEarlier);

    if (!reachesEarlier) {
        const UndoResult earlier = undoLastShortening();
        QVERIFY(earlier.failures.isEmpty());
        QCOMPARE(earlier.undone.size(), std::size_t(1));
        QCOMPARE(FileTree::read(f + "earlier-long-name.txt"), QByteArray("earlier"));
    }
    QVERIFY(!undoLastShortening().found);
    QCOMPARE(contentOrNothing(oldPath), atOld); // settled lines are not tried again
}

// The record's bytes as the README shows them.
void TestShorten::journalLinesAsDocumented()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    QVERIFY(FileTree::write(f + "first long name", "1"));
    QVERIFY(FileTree::write(f + "second-long-name", "2"));
    const struct stat first = FileTree::statOf(f + "first long name");
    const struct stat second = FileTree::statOf(f + "second-long-name");
    const ShortenLimit limit{5, LengthUnit::Name};
    QCOMPARE(applyShortening(planShortening({{1, f + "first long name"}, {2, f + "second-long-name"}}, limit),
                             limit)
                 .outcomes.size(),
             std::size_t(2));
    QVERIFY(FileTree::write(f + "first long name", "newcomer"));
    QCOMPARE(undoLastShortening().failures.size(), 1);

    const QList<QByteArray> names = journalNames();
    QCOMPARE(names.size(), 1);
    const QByteArray folder = f.toPercentEncoding();
    const auto id = [](const struct stat& st) {
        return QByteArray::number(quint64(st.st_dev)) + '\t' + QByteArray::number(quint64(st.st_ino));
    };
    QCOMPARE(FileTree::read(journalFolder() + names[0]),
             "batch\t1\n"
             "left\t" +
                 folder + "\tfirst%20long%20name\tfirst\t" + id(first) +
                 "\n"
                 "back\t" +
                 folder + "\tsecond-long-name\tsecon\t" + id(second) +
                 "\n"
                 "why\t2\tFile%20exists\n");
}

void TestShorten::undoOrderAcrossTimeZones_data()
{
    QTest::addColumn<QByteArray>("firstZone");
    QTest::addColumn<QByteArray>("secondZone");
    // Fourteen hours east of UTC, then twelve west: the second batch's local time is a day before the
    // first's.
    QTest::newRow("east, then west") << QByteArray("XST-14") << QByteArray("YST+12");
    QTest::newRow("west, then east") << QByteArray("YST+12") << QByteArray("XST-14");
    QTest::newRow("summer time ends") << QByteArray("XST-1YDT,J1/0,J365/24") << QByteArray("XST-1");
}

// The newest batch is undone first, whatever the local clock read when each was made.
void TestShorten::undoOrderAcrossTimeZones()
{
    QFETCH(QByteArray, firstZone);
    QFETCH(QByteArray, secondZone);
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    const ShortenLimit limit{8, LengthUnit::Name};
    QVERIFY(FileTree::write(f + "alpha-long-name.txt", "a"));
    QVERIFY(FileTree::write(f + "bravo-long-name.txt", "b"));
    {
        TimeZone zone(firstZone);
        const int firstOffset = QDateTime::currentDateTime().offsetFromUtc();
        QCOMPARE(
            applyShortening(planShortening({{1, f + "alpha-long-name.txt"}}, limit), limit).outcomes.size(),
            std::size_t(1));
        TimeZone::set(secondZone);
        // The wall clock jumps.
        QVERIFY(QDateTime::currentDateTime().offsetFromUtc() != firstOffset);
        QCOMPARE(
            applyShortening(planShortening({{2, f + "bravo-long-name.txt"}}, limit), limit).outcomes.size(),
            std::size_t(1));
    }
    // Two batches within one millisecond are told apart by a counter after the stamp.
    static const QRegularExpression stamped(QStringLiteral("^(.*)Z(-[0-9]+)?\\.tsv$"));
    for (const QByteArray& name : journalNames()) {
        const QRegularExpressionMatch match = stamped.match(QString::fromUtf8(name));
        const QDateTime made =
            QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-ddTHH-mm-ss.zzz"));
        QVERIFY2(match.hasMatch() && made.isValid(), name.constData());
        QVERIFY2(qAbs(QDateTime(made.date(), made.time(), Qt::UTC).secsTo(QDateTime::currentDateTimeUtc())) <
                     600,
                 name.constData());
    }
    QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"alph.txt", "brav.txt"}));
    QCOMPARE(undoLastShortening().undone.size(), std::size_t(1));
    QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"alph.txt", "bravo-long-name.txt"}));
    QCOMPARE(undoLastShortening().undone.size(), std::size_t(1));
    QCOMPARE(FileTree::list(dir.path()), (QList<QByteArray>{"alpha-long-name.txt", "bravo-long-name.txt"}));
}

// Records written before batches were numbered are still undone, after every numbered one, the newest name
// first; their lines carry no identity, so a done line is undone by its names alone.
void TestShorten::olderRecordsUndoneAfterNewer()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    const QByteArray folder = f.toPercentEncoding();
    QVERIFY(QDir().mkpath(QFile::decodeName(journalFolder())));
    // Names that sort after any new one, as a clock set ahead would have made them.
    QVERIFY(FileTree::write(journalFolder() + "2099-01-01T10-00-00.000.tsv",
                            "done\t" + folder + "\tolder-long-name\tolder\n"));
    QVERIFY(FileTree::write(journalFolder() + "2099-01-02T09-00-00.000.tsv",
                            "skip\t" + folder +
                                "\tnever-renamed\tnever\n"
                                "done\t" +
                                folder +
                                "\tnewer-long-name\tnewer\n"
                                "done\t" +
                                folder + "\tback-by-hand-long\tbackh\n"));
    for (const char* name : {"older", "newer", "back-by-hand-long", "never-renamed"})
        QVERIFY(FileTree::write(f + name, name));
    const ShortenLimit limit{8, LengthUnit::Name};
    QVERIFY(FileTree::write(f + "current-long-name", "current"));
    QCOMPARE(applyShortening(planShortening({{1, f + "current-long-name"}}, limit), limit).outcomes.size(),
             std::size_t(1));

    UndoResult undone = undoLastShortening();
    QCOMPARE(undone.undone.size(), std::size_t(1));
    QCOMPARE(undone.undone[0].oldName, QByteArray("current-long-name"));
    undone = undoLastShortening();
    QVERIFY(undone.failures.isEmpty());
    QCOMPARE(undone.undone.size(), std::size_t(1));
    QCOMPARE(undone.undone[0].oldName, QByteArray("newer-long-name"));
    QCOMPARE(undone.alreadyBack.size(), std::size_t(1));
    QCOMPARE(undone.alreadyBack[0].oldName, QByteArray("back-by-hand-long"));
    QCOMPARE(undoLastShortening().undone.size(), std::size_t(1));
    QVERIFY(!undoLastShortening().found);
    QCOMPARE(FileTree::list(dir.path()),
             (QList<QByteArray>{"back-by-hand-long", "current-long-name", "never-renamed", "newer-long-name",
                                "older-long-name"}));
    QCOMPARE(journalWordFor("older-long-name"), QByteArray("back"));
}

// A process shortening a batch is killed at random points; one undo afterwards puts every file back at its
// old name, and leaves nothing of the batch to undo.
void TestShorten::killedBatchesUndoneWhole()
{
    // The seed printed is unsigned: one above 2^31 must replay too.
    const quint32 seed = qEnvironmentVariableIsSet("LENTROVA_KILL_SEED")
                             ? qgetenv("LENTROVA_KILL_SEED").toUInt()
                             : QRandomGenerator::global()->generate();
    qInfo("LENTROVA_KILL_SEED=%u", seed);
    QRandomGenerator random(seed);
    constexpr int Rounds = 24;
    constexpr int Files = 60;
    constexpr int ShortName = 12;
    int cutShort = 0;
    int renamedBeforeDone = 0; // renamed files whose line still said todo when the batch was killed
    // A batch can finish before the kill in every round on some machine's timing: rounds go on, up to ten
    // times as many, until one was cut short.
    int round = 0;
    for (; round < Rounds || (cutShort == 0 && round < 10 * Rounds); ++round) {
        ScratchDir dir;
        const QByteArray f = dir.path() + '/';
        QList<QByteArray> names;
        for (int i = 0; i < Files; ++i) {
            names << "file-with-a-long-name-" + QByteArray::number(i);
            QVERIFY(FileTree::write(f + names.last(), names.last()));
        }
        std::sort(names.begin(), names.end());
        const auto renamedCount = [&] {
            const QList<QByteArray> now = FileTree::list(dir.path());
            return int(std::count_if(now.begin(), now.end(),
                                     [](const QByteArray& name) { return name.size() <= ShortName; }));
        };

        QProcess batch;
        batch.start(QStringLiteral(SHORTEN_BATCH), {dir.qpath(), QString::number(ShortName)});
        QVERIFY(batch.waitForReadyRead(30000));
        // A random number of renames, then a random instant more: between a rename and its line's status,
        // within the record's writes, or after the end.
        const int renames = int(random.bounded(Files + 1));
        while (renamedCount() < renames && !batch.waitForFinished(0))
            ::usleep(100);
        ::usleep(random.bounded(400u));
        const qint64 pid = batch.processId();
        if (pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        // A batch that ended first is no longer running, and waiting for it then answers false.
        QVERIFY(batch.state() == QProcess::NotRunning || batch.waitForFinished(30000));
        const int renamed = renamedCount();
        cutShort += renamed > 0 && renamed < Files;
        for (const QByteArray& name : journalNames())
            for (const QByteArray& line : FileTree::read(journalFolder() + name).split('\n'))
                renamedBeforeDone +=
                    line.startsWith("todo\t") &&
                    FileTree::exists(f + QByteArray::fromPercentEncoding(line.split('\t')[3]));

        const UndoResult undone = undoLastShortening();
        QVERIFY2(undone.failures.isEmpty(), qPrintable(undone.failures.join('\n')));
        QCOMPARE(int(undone.undone.size()), renamed);
        QCOMPARE(FileTree::list(dir.path()), names);
        for (const QByteArray& name : names)
            QCOMPARE(FileTree::read(f + name), name);
        QVERIFY(!undoLastShortening().found);
    }
    qInfo("%d of %d batches were killed part of the way through; %d files were renamed while their line "
          "still said todo",
          cutShort, round, renamedBeforeDone);
    QVERIFY(cutShort > 0);
}

void TestShorten::limitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // empty: refused
    QTest::newRow("number") << " 143 "
                            << "143";
    QTest::newRow("bytes") << "255 Bytes"
                           << "255 bytes";
    QTest::newRow("bytes without blank") << "143bytes"
                                         << "";
    QTest::newRow("rounded") << "7.5"
                             << "8";
    QTest::newRow("zero") << "0"
                          << "";
    QTest::newRow("negative") << "-3 bytes"
                              << "";
    QTest::newRow("other unit") << "40 path"
                                << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestShorten::limitText()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    const auto limit = parseShortenLimit(text);
    QCOMPARE(limit ? ::limitText(*limit) : QString(), read);
}

void TestShorten::dialogPreviewsAndRefusesBadLimits()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    QVERIFY(FileTree::write(f + "abcdefghij.txt", "1"));
    QVERIFY(FileTree::write(f + "abcdefgh.verylongext", "2"));
    QVERIFY(FileTree::write(f + "ok.txt", "3"));
    ShortenDialog dialog({{1, f + "abcdefghij.txt"}, {2, f + "abcdefgh.verylongext"}, {3, f + "ok.txt"}},
                         QStringLiteral("8"), QStringLiteral("Lentrova"));
    QCOMPARE(dialog.preview()->model()->rowCount(), 2);
    QCOMPARE(dialog.preview()->model()->index(0, 1).data().toString(), QStringLiteral("abcd.txt"));
    QVERIFY(!dialog.preview()->model()->index(1, 3).data().toString().isEmpty());
    QVERIFY(dialog.applyButton()->isEnabled());
    QVERIFY(dialog.summary()->text().startsWith(QStringLiteral("1 of 3")));
    dialog.limitEdit()->setText(QStringLiteral("eight"));
    QVERIFY(!dialog.applyButton()->isEnabled()); // at once, before the preview catches up
    dialog.refresh();
    QCOMPARE(dialog.preview()->model()->rowCount(), 0);
    QVERIFY(!dialog.applyButton()->isEnabled());
    QCOMPARE(FileTree::list(dir.path()).size(), 3); // a preview changes nothing
}

void TestShorten::renamedRowsKeepPlaceAndCheck()
{
    ResultModel model;
    for (const char* path : {"/a/one-long.txt", "/a/two-long.txt", "/a/three.txt"})
        model.appendRow(path, quint16(std::strlen(path) - 3));
    model.setChecked(1, true);
    const quint64 oldId = model.rowId(1);
    QCOMPARE(model.renameRows({{oldId, "/a/two.txt", 7}, {999999, "/x", 1}}), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.nativePath(1), QByteArray("/a/two.txt"));
    QCOMPARE(model.measuredLength(1), quint16(7));
    QVERIFY(model.isChecked(1));
    QVERIFY(model.rowId(1) != oldId);
    QCOMPARE(model.nativePath(0), QByteArray("/a/one-long.txt"));
}

LENTROVA_TEST_MAIN(TestShorten)
#include "test_shorten.moc"
