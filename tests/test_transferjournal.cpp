// SPDX-License-Identifier: MIT
#include "fileops/transferjournal.h"
#include "platform/trash.h"
#include "support/filetree.h"
#include "support/testmain.h"

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include <csignal>

#include <unistd.h>

namespace {
QByteArray contentOf(int i)
{
    // Two files of two chunks and more, the rest small: partial copies of either kind.
    const qsizetype size = i < 2 ? (qsizetype(1) << 20) + 4096 * (i + 1) : 16384 + 97 * i;
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype k = 0; k < size; ++k)
        bytes[k] = char((k * 31 + i * 7) & 0xff);
    return bytes;
}

QByteArray nameOf(int i)
{
    return "file-" + QByteArray::number(100 + i);
}

QList<QByteArray> leftRecords()
{
    QList<QByteArray> left;
    for (const QByteArray& name : FileTree::list(TransferJournal::folder()))
        if (name.endsWith(".tsv"))
            left.append(name);
    return left;
}

QList<QByteArray> temporaryNames(const QByteArray& folder)
{
    QList<QByteArray> found;
    for (const QByteArray& name : FileTree::list(folder))
        if (name.startsWith(".lentrova-"))
            found.append(name);
    return found;
}

QByteArray pathInInfo(const QByteArray& info)
{
    for (const QByteArray& line : FileTree::read(info).split('\n'))
        if (line.startsWith("Path="))
            return QByteArray::fromPercentEncoding(line.mid(5));
    return {};
}

// Copies a file as the move does: same bytes, same modification time.
bool copyKeepingTime(const QByteArray& from, const QByteArray& to)
{
    const struct stat st = FileTree::statOf(from);
    return FileTree::write(to, FileTree::read(from)) &&
           FileTree::setModified(to, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}
} // namespace

class TestTransferJournal : public QObject
{
    Q_OBJECT

private slots:
    void init() { FileTree::removeTree(TransferJournal::folder()); }

    // What a kill left, as the record names it, and what settling it leaves.
    void settle_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::addColumn<QString>("source"); // none, kept
        QTest::addColumn<QString>("target"); // none, copy, other, sameBytesOtherTime, earlier
        QTest::addColumn<QString>("info");   // none, empty, complete
        QTest::addColumn<bool>("sourceAfter");
        QTest::addColumn<bool>("targetAfter");
        QTest::addColumn<QString>("infoAfter");
        QTest::addColumn<QString>("told"); // removed copies, kept both, completed trash, removed entries

        QTest::newRow("copy beside its unchanged source") << false << "kept"
                                                          << "copy"
                                                          << "none" << true << false << "none"
                                                          << "1,0,0,0";
        QTest::newRow("copy whose source was deleted") << false << "none"
                                                       << "copy"
                                                       << "none" << false << true << "none"
                                                       << "0,0,0,0";
        QTest::newRow("copy that differs from its source") << false << "kept"
                                                           << "other"
                                                           << "none" << true << true << "none"
                                                           << "0,1,0,0";
        QTest::newRow("same bytes, another time") << false << "kept"
                                                  << "sameBytesOtherTime"
                                                  << "none" << true << true << "none"
                                                  << "0,1,0,0";
        QTest::newRow("the file that held the name before") << false << "kept"
                                                            << "earlier"
                                                            << "none" << true << true << "none"
                                                            << "0,0,0,0";
        QTest::newRow("nothing placed yet") << false << "kept"
                                            << "none"
                                            << "none" << true << false << "none"
                                            << "0,0,0,0";
        QTest::newRow("trash: entry without its file") << true << "kept"
                                                       << "none"
                                                       << "complete" << true << false << "none"
                                                       << "0,0,0,1";
        QTest::newRow("trash: claimed entry, copy beside its source") << true << "kept"
                                                                      << "copy"
                                                                      << "empty" << true << false << "none"
                                                                      << "1,0,0,0";
        QTest::newRow("trash: copy in place, source deleted, entry empty")
            << true << "none"
            << "copy"
            << "empty" << false << true << "complete"
            << "0,0,1,0";
        QTest::newRow("trash: renamed there with its entry") << true << "none"
                                                             << "copy"
                                                             << "complete" << false << true << "complete"
                                                             << "0,0,0,0";
    }

    void settle()
    {
        QFETCH(bool, trash);
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, info);
        QFETCH(bool, sourceAfter);
        QFETCH(bool, targetAfter);
        QFETCH(QString, infoAfter);
        QFETCH(QString, told);

        ScratchDir from;
        ScratchDir to;
        const QByteArray s = from.path() + "/report.pdf";
        const QByteArray folder = trash ? to.path() + "/files" : to.path();
        const QByteArray t = folder + "/report.pdf";
        const QByteArray i = trash ? to.path() + "/info/report.pdf.trashinfo" : QByteArray();
        if (trash)
            QVERIFY(FileTree::makeFolder(to.path() + "/files") && FileTree::makeFolder(to.path() + "/info"));
        QVERIFY(FileTree::write(s, "the report's bytes") && FileTree::setModified(s, 1700000000, 123456789));
        if (target == "earlier")
            QVERIFY(FileTree::write(t, "an older report"));

        QString error;
        auto journal = TransferJournal::create(
            trash ? TransferJournal::Kind::Trash : TransferJournal::Kind::Move, &error);
        QVERIFY2(journal, qPrintable(error));
        QCOMPARE(journal->record({{s, t, i, fileIdentity(t)}}, true), QString());
        // Whatever the kill left: a partial of this operation and one of another's, which is not ours.
        const QByteArray ours = folder + "/.lentrova-copy-" + journal->tag() + "-Xy12Ab";
        const QByteArray theirs = folder + "/.lentrova-copy-77-Qq34Zz";
        QVERIFY(FileTree::write(ours, "half") && FileTree::write(theirs, "another run's"));
        journal.reset();

        if (target == "copy")
            QVERIFY(copyKeepingTime(s, t));
        else if (target == "other")
            QVERIFY(FileTree::write(t, "a newer report") && FileTree::setModified(t, 1700000000, 123456789));
        else if (target == "sameBytesOtherTime")
            QVERIFY(FileTree::write(t, FileTree::read(s)) && FileTree::setModified(t, 1700000001, 0));
        if (info == "empty")
            QVERIFY(FileTree::write(i, ""));
        else if (info == "complete")
            QVERIFY(FileTree::write(i, "[Trash Info]\nPath=" + s.toPercentEncoding("/") +
                                           "\nDeletionDate=2026-01-01T00:00:00\n"));
        if (source == "none")
            QVERIFY(::unlink(s.constData()) == 0);
        const QByteArray before = FileTree::exists(t) ? FileTree::read(t) : QByteArray();

        const SettledTransfers settled = settleInterruptedTransfers();
        QCOMPARE(FileTree::exists(s), sourceAfter);
        QCOMPARE(FileTree::exists(t), targetAfter);
        if (targetAfter)
            QCOMPARE(FileTree::read(t), before);
        if (sourceAfter)
            QCOMPARE(FileTree::read(s), QByteArray("the report's bytes"));
        if (trash) {
            QCOMPARE(FileTree::exists(i), infoAfter != "none");
            if (infoAfter == "complete")
                QCOMPARE(pathInInfo(i), s);
        }
        QVERIFY(!FileTree::exists(ours));
        QVERIFY(FileTree::exists(theirs));
        QCOMPARE(settled.removedPartials, 1);
        QCOMPARE(QStringLiteral("%1,%2,%3,%4")
                     .arg(settled.removedCopies.size())
                     .arg(settled.keptBoth.size())
                     .arg(settled.completedTrash.size())
                     .arg(settled.removedTrashEntries),
                 told);
        QVERIFY(settled.failures.isEmpty());
        QVERIFY(leftRecords().isEmpty());
        QVERIFY(!settled.message().isEmpty());
    }

    void copyOfDeepSource_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::newRow("move") << false;
        QTest::newRow("trash") << true;
    }

    // A source beyond PATH_MAX is looked at through its folder's descriptor: its copy goes, the source stays.
    void copyOfDeepSource()
    {
        QFETCH(bool, trash);
        ScratchDir from;
        ScratchDir to;
        const DeepFile deep(from.path(), "deep bytes");
        QVERIFY(deep.usable());
        const ShortPath reach(deep.path());
        const QByteArray t = to.path() + "/deep.txt";
        const QByteArray i = trash ? to.path() + "/deep.txt.trashinfo" : QByteArray();
        QString error;
        auto journal = TransferJournal::create(
            trash ? TransferJournal::Kind::Trash : TransferJournal::Kind::Move, &error);
        QVERIFY2(journal, qPrintable(error));
        QCOMPARE(journal->record({{deep.path(), t, i, {}}}, true), QString());
        journal.reset();
        QVERIFY(copyKeepingTime(reach.path(), t));
        if (trash)
            QVERIFY(FileTree::write(i, ""));

        const SettledTransfers settled = settleInterruptedTransfers();
        QVERIFY2(settled.failures.isEmpty(), qPrintable(settled.failures.join('\n')));
        QCOMPARE(settled.removedCopies, QStringList{QString::fromUtf8(t)});
        QVERIFY(!FileTree::exists(t));
        QVERIFY(!trash || !FileTree::exists(i));
        QCOMPARE(deep.read(), QByteArray("deep bytes"));
    }

    // A file that a kill caught under its hidden name beside the file it was to replace.
    void settleStaged_data()
    {
        QTest::addColumn<QString>("target");  // earlier, none, other
        QTest::addColumn<bool>("sourceBack"); // something is at the source's name again
        QTest::addColumn<QString>("staged");  // where its bytes end: source, target, left
        QTest::newRow("earlier file still there") << "earlier" << false << "source";
        QTest::newRow("earlier file gone") << "none" << false << "target";
        QTest::newRow("earlier file gone, another file took the name") << "other" << false << "left";
        QTest::newRow("a file at the source's name again") << "earlier" << true << "left";
    }

    void settleStaged()
    {
        QFETCH(QString, target);
        QFETCH(bool, sourceBack);
        QFETCH(QString, staged);
        ScratchDir from;
        ScratchDir to;
        const QByteArray s = from.path() + "/report.pdf";
        const QByteArray t = to.path() + "/report.pdf";
        QVERIFY(FileTree::write(s, "the report's bytes") && FileTree::write(t, "an older report"));
        QString error;
        auto journal = TransferJournal::create(TransferJournal::Kind::Move, &error);
        QVERIFY2(journal, qPrintable(error));
        // The other rows of the batch: one moved, one not reached yet.
        const QByteArray moved = from.path() + "/moved.txt";
        const QByteArray waiting = from.path() + "/waiting.txt";
        QVERIFY(FileTree::write(waiting, "not reached"));
        QCOMPARE(journal->record({{moved, to.path() + "/moved.txt", {}, {}},
                                  {s, t, {}, fileIdentity(t)},
                                  {waiting, to.path() + "/waiting.txt", {}, {}}},
                                 true),
                 QString());
        QVERIFY(FileTree::write(to.path() + "/moved.txt", "moved before"));
        const QByteArray hidden = to.path() + "/.lentrova-moving-" + journal->tag() + "-0";
        const QByteArray theirs = to.path() + "/.lentrova-moving-77-0";
        QCOMPARE(::rename(s.constData(), hidden.constData()), 0);
        QVERIFY(FileTree::write(theirs, "another run's"));
        journal.reset();
        // Made before the earlier file goes, so that it cannot get the earlier file's inode number.
        if (target == "other")
            QVERIFY(FileTree::write(t + ".new", "a newer file") &&
                    ::rename((t + ".new").constData(), t.constData()) == 0);
        else if (target == "none")
            QCOMPARE(::unlink(t.constData()), 0);
        if (sourceBack)
            QVERIFY(FileTree::write(s, "made meanwhile"));

        const SettledTransfers settled = settleInterruptedTransfers();
        QCOMPARE(FileTree::exists(hidden), staged == "left");
        QCOMPARE(FileTree::read(staged == "left"     ? hidden
                                : staged == "source" ? s
                                                     : t),
                 QByteArray("the report's bytes"));
        QCOMPARE(settled.returnedMoves,
                 staged == "source" ? QStringList{QString::fromUtf8(s)} : QStringList());
        QCOMPARE(settled.completedMoves,
                 staged == "target" ? QStringList{QString::fromUtf8(t)} : QStringList());
        QCOMPARE(settled.failures.size(), staged == "left" ? 1 : 0);
        if (staged == "left")
            QVERIFY2(settled.failures.first().startsWith(QString::fromUtf8(hidden)),
                     qPrintable(settled.failures.first()));
        if (target == "other")
            QCOMPARE(FileTree::read(t), QByteArray("a newer file"));
        if (target == "earlier" && staged != "source")
            QCOMPARE(FileTree::read(t), QByteArray("an older report"));
        if (sourceBack)
            QCOMPARE(FileTree::read(s), QByteArray("made meanwhile"));
        QCOMPARE(FileTree::read(theirs), QByteArray("another run's"));
        QCOMPARE(FileTree::read(waiting), QByteArray("not reached"));
        QVERIFY(leftRecords().isEmpty());
        QVERIFY(!settled.message().isEmpty());
    }

    // A move that replaces a file within one file system, killed (SIGKILL) once the moving file lies under
    // its hidden name beside the earlier one: the next start finds it, at its new name or its old one.
    void killedWhileReplacing_data()
    {
        QTest::addColumn<int>("renames"); // after the staging one, the rename that meets the kill
        QTest::addColumn<bool>("atTarget");
        QTest::newRow("right after the staging rename") << 1 << false;
        QTest::newRow("once the earlier file is in the trash") << 2 << true;
    }

    void killedWhileReplacing()
    {
        QFETCH(int, renames);
        QFETCH(bool, atTarget);
        ScratchDir from;
        ScratchDir to;
        QVERIFY(QDir().mkpath(QFile::decodeName(homeTrashFolder())));
        if (FileTree::deviceOf(from.path()) != FileTree::deviceOf(homeTrashFolder()))
            QSKIP("the trash and the temporary folder are on different file systems here");
        const QByteArray s = from.path() + "/f.txt";
        const QByteArray t = to.path() + "/f.txt";
        QVERIFY(FileTree::write(s, "the new file") && FileTree::write(t, "the earlier file"));

        QProcess victim;
        victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        victim.start(TRANSFER_VICTIM, {"replace", from.qpath(), to.qpath(), QString::number(renames)});
        QVERIFY(victim.waitForStarted());
        QVERIFY(victim.waitForFinished(10000));
        QCOMPARE(victim.exitStatus(), QProcess::CrashExit);
        QVERIFY(!FileTree::exists(s));
        QCOMPARE(temporaryNames(to.path()).size(), 1);

        const SettledTransfers settled = settleInterruptedTransfers();
        QVERIFY2(settled.failures.isEmpty(), qPrintable(settled.failures.join('\n')));
        QVERIFY(temporaryNames(to.path()).isEmpty());
        QVERIFY(leftRecords().isEmpty());
        QCOMPARE(FileTree::read(atTarget ? t : s), QByteArray("the new file"));
        if (atTarget) {
            QVERIFY(!FileTree::exists(s));
            QCOMPARE(settled.completedMoves, QStringList{QString::fromUtf8(t)});
        } else {
            QCOMPARE(FileTree::read(t), QByteArray("the earlier file"));
            QCOMPARE(settled.returnedMoves, QStringList{QString::fromUtf8(s)});
        }
    }

    // A trash run killed as it claims an entry: no entry is left without its file, and the entry another
    // program has just claimed (its file not yet moved in), met first, stays.
    void killedWhileClaiming_data()
    {
        QTest::addColumn<bool>("nameHeld");
        QTest::newRow("the first name tried") << false;
        QTest::newRow("after a name another program holds") << true;
    }

    void killedWhileClaiming()
    {
        QFETCH(bool, nameHeld);
        ScratchDir from;
        const QByteArray trash = homeTrashFolder();
        FileTree::removeTree(trash);
        QVERIFY(QDir().mkpath(QFile::decodeName(trash + "/info")) &&
                QDir().mkpath(QFile::decodeName(trash + "/files")));
        if (FileTree::deviceOf(from.path()) != FileTree::deviceOf(trash))
            QSKIP("the trash and the temporary folder are on different file systems here");
        const QByteArray s = from.path() + "/f.txt";
        QVERIFY(FileTree::write(s, "the same bytes"));
        const QByteArray theirInfo = trash + "/info/f.txt.trashinfo";
        if (nameHeld)
            QVERIFY(FileTree::write(theirInfo, "[Trash Info]\nPath=/elsewhere/f.txt\n"));

        QProcess victim;
        victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        victim.start(TRANSFER_VICTIM, {"claim", from.qpath(), QString::number(nameHeld ? 2 : 1)});
        QVERIFY(victim.waitForStarted());
        QVERIFY(victim.waitForFinished(10000));
        QCOMPARE(victim.exitStatus(), QProcess::CrashExit);

        const SettledTransfers settled = settleInterruptedTransfers();
        QVERIFY2(settled.failures.isEmpty(), qPrintable(settled.failures.join('\n')));
        QVERIFY(leftRecords().isEmpty());
        QCOMPARE(FileTree::read(s), QByteArray("the same bytes"));
        QCOMPARE(FileTree::list(trash + "/info"),
                 nameHeld ? QList<QByteArray>{"f.txt.trashinfo"} : QList<QByteArray>{});
        QVERIFY(FileTree::list(trash + "/files").isEmpty());
        if (nameHeld)
            QCOMPARE(FileTree::read(theirInfo), QByteArray("[Trash Info]\nPath=/elsewhere/f.txt\n"));
    }

    // A record that a running operation holds is its own: another instance starting meanwhile leaves it.
    void heldRecordIsLeftAlone()
    {
        ScratchDir dir;
        const QByteArray s = dir.path() + "/a";
        const QByteArray t = dir.path() + "/b";
        QVERIFY(FileTree::write(s, "bytes") && copyKeepingTime(s, t));
        QString error;
        auto journal = TransferJournal::create(TransferJournal::Kind::Move, &error);
        QVERIFY2(journal, qPrintable(error));
        QCOMPARE(journal->record({{s, t, {}, {}}}, false), QString());
        QVERIFY(settleInterruptedTransfers().empty());
        QVERIFY(FileTree::exists(t));
        QCOMPARE(leftRecords().size(), 1);
        journal->finished();
        QVERIFY(leftRecords().isEmpty());
        QVERIFY(FileTree::exists(t));
    }

    // A move across file systems or a trash run by copy, killed (SIGKILL) at a random moment, again and
    // again: once the next start has settled the record, every file is in exactly one place, whole.
    // A kill between making a record and finishing its first line leaves a record that names nothing: no
    // failure to tell, and the record goes once no start could be making it.
    void unfinishedRecord_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("age");
        QTest::addColumn<bool>("removed");
        QTest::newRow("empty, just made") << QByteArray() << qint64(0) << false;
        QTest::newRow("empty, old") << QByteArray() << qint64(3600) << true;
        QTest::newRow("first line cut short, old") << QByteArray("trash\tab12") << qint64(3600) << true;
    }
    void unfinishedRecord()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, age);
        QFETCH(bool, removed);
        QVERIFY(QDir().mkpath(QString::fromUtf8(TransferJournal::folder())));
        const QByteArray record = TransferJournal::folder() + "12345-unfinished.tsv";
        QVERIFY(FileTree::write(record, text, 0600));
        QVERIFY(FileTree::setModified(record, QDateTime::currentSecsSinceEpoch() - age, 0));
        const SettledTransfers settled = settleInterruptedTransfers();
        QVERIFY(settled.failures.isEmpty());
        QCOMPARE(FileTree::exists(record), !removed);
    }

    void killedAtRandom_data()
    {
        QTest::addColumn<bool>("trash");
        QTest::newRow("move") << false;
        QTest::newRow("trash") << true;
    }

    void killedAtRandom()
    {
        QFETCH(bool, trash);
        constexpr int Rounds = 24;
        constexpr int Files = 20;
        constexpr int DelayMs = 12;
        OtherMount mount(qint64(64) << 20);
        if (!mount.usable())
            QSKIP("no second file system to copy across here");
        ScratchDir to;
        if (FileTree::deviceOf(mount.path()) == FileTree::deviceOf(to.path()))
            QSKIP("the temporary folder and the second file system are one");
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("kill moments drawn with seed %u", seed);
        QRandomGenerator random(seed);
        int settledSomething = 0;
        for (int round = 0; round < Rounds; ++round) {
            const QByteArray source = mount.path() + "/round-" + QByteArray::number(round);
            const QByteArray target = to.path() + "/round-" + QByteArray::number(round);
            QVERIFY(FileTree::makeFolder(source) && FileTree::makeFolder(target));
            for (int i = 0; i < Files; ++i)
                QVERIFY(FileTree::write(source + '/' + nameOf(i), contentOf(i)));
            FileTree::removeTree(homeTrashFolder());

            QProcess victim;
            victim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            const QStringList arguments =
                trash ? QStringList{"trash", QFile::decodeName(source), QString::number(DelayMs)}
                      : QStringList{"move", QFile::decodeName(source), QFile::decodeName(target),
                                    QString::number(DelayMs)};
            victim.start(TRANSFER_VICTIM, arguments);
            QVERIFY(victim.waitForStarted());
            while (!victim.readAll().contains("started"))
                QVERIFY(victim.waitForReadyRead(10000));
            // The whole run takes about Files * 3 * DelayMs; some rounds outlast it.
            QTest::qWait(int(random.bounded(Files * 3 * DelayMs + 150)));
            // A run that ended first has no process id: kill(0) would end this test's whole process group.
            if (const qint64 pid = victim.processId(); pid > 0)
                ::kill(pid_t(pid), SIGKILL);
            QVERIFY(victim.state() == QProcess::NotRunning || victim.waitForFinished(10000));

            const SettledTransfers settled = settleInterruptedTransfers();
            QVERIFY2(settled.failures.isEmpty(), qPrintable(settled.failures.join('\n')));
            if (!settled.empty())
                ++settledSomething;
            QVERIFY(leftRecords().isEmpty());

            const QByteArray trashFiles = homeTrashFolder() + "/files/";
            const QByteArray trashInfo = homeTrashFolder() + "/info/";
            for (int i = 0; i < Files; ++i) {
                const QByteArray from = source + '/' + nameOf(i);
                const QByteArray placed = (trash ? trashFiles : target + '/') + nameOf(i);
                const bool atSource = FileTree::exists(from);
                const bool atTarget = FileTree::exists(placed);
                QVERIFY2(atSource != atTarget, qPrintable(QStringLiteral("round %1: %2 is %3")
                                                              .arg(round)
                                                              .arg(QString::fromUtf8(nameOf(i)),
                                                                   atSource ? "in both places" : "nowhere")));
                QCOMPARE(FileTree::read(atSource ? from : placed), contentOf(i));
                if (trash) {
                    const QByteArray info = trashInfo + nameOf(i) + ".trashinfo";
                    QCOMPARE(FileTree::exists(info), atTarget);
                    if (atTarget)
                        QCOMPARE(pathInInfo(info), from);
                }
            }
            QVERIFY(temporaryNames(trash ? trashFiles : target).isEmpty());
            if (trash)
                QCOMPARE(FileTree::list(trashInfo).size(), FileTree::list(trashFiles).size());
            FileTree::removeTree(source);
            FileTree::removeTree(target);
        }
        qInfo("%d of %d kills left something to settle", settledSomething, Rounds);
        QVERIFY(settledSomething > 0);
    }
};

LENTROVA_TEST_MAIN(TestTransferJournal)
#include "test_transferjournal.moc"
