// SPDX-License-Identifier: MIT
#include "fileops/renamejournal.h"
#include "fileops/shorten.h"
#include "fileops/shortenapply.h"
#include "results/resultmodel.h"
#include "support/diskmount.h"
#include "support/filetree.h"
#include "support/testmain.h"
#include "ui/shortendialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

class TestShorten : public QObject
{
    Q_OBJECT
private slots:
    void shortenedName_data();
    void shortenedName();
    void planAvoidsNamesTakenOnDiskAndInTheBatch();
    void applyAndUndo();
    void nameTakenBetweenPreviewAndApply();
    void undoNeverReplaces();
    void onFuseFileSystems_data();
    void onFuseFileSystems();
    void limitText_data();
    void limitText();
    void dialogPreviewsAndRefusesBadLimits();
    void renamedRowsKeepPlaceAndCheck();
};

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
    const ShortenLimit l{limit, bytes ? ShortenUnit::Bytes : ShortenUnit::Utf16};
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
    const std::vector<ShortenItem> plan = planShortening(rows, {8, ShortenUnit::Utf16});
    QCOMPARE(plan.size(), std::size_t(3));             // names within the limit are left out
    QCOMPARE(plan[0].newName, QByteArray("ab~2.txt")); // "abcd.txt" is on disk
    QCOMPARE(plan[1].newName, QByteArray("ab~3.txt")); // the first row took ~2
    QCOMPARE(plan[1].newLength, 8);
    QCOMPARE(plan[2].rowId, quint64(5));
    QVERIFY(plan[2].newName.isEmpty());
    QVERIFY(!plan[2].note.isEmpty());
}

void TestShorten::applyAndUndo()
{
    ScratchDir dir;
    const QByteArray f = dir.path() + '/';
    const QByteArray odd = "caf\xC3\xA9-\xFF-long-name.txt";
    QVERIFY(FileTree::write(f + "a-very-long-name.txt", "1"));
    QVERIFY(FileTree::write(f + odd, "2"));
    const ShortenLimit limit{11, ShortenUnit::Bytes};
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
    const ShortenLimit limit{8, ShortenUnit::Utf16};
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
    const ShortenLimit limit{5, ShortenUnit::Utf16};
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
    const ShortenLimit limit{8, ShortenUnit::Utf16};
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

void TestShorten::limitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // empty: refused
    QTest::newRow("number") << " 143 "
                            << "143";
    QTest::newRow("bytes") << "255 Bytes"
                           << "255 bytes";
    QTest::newRow("bytes without blank") << "143bytes"
                                         << "143 bytes";
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
    QCOMPARE(model.nameLength(1), quint16(7));
    QVERIFY(model.isChecked(1));
    QVERIFY(model.rowId(1) != oldId);
    QCOMPARE(model.nativePath(0), QByteArray("/a/one-long.txt"));
}

LENTROVA_TEST_MAIN(TestShorten)
#include "test_shorten.moc"
