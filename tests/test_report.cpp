// SPDX-License-Identifier: MIT
#include "app/reportsaving.h"
#include "results/listformat.h"
#include "services/errorbox.h"
#include "support/filetree.h"
#include "support/fixtures.h"
#include "support/memorytable.h"
#include "support/testform.h"
#include "support/testmain.h"
#include "ui/progressbarsink.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <cstdio>
#include <memory>

namespace {
struct Step
{
    double value;
    QString text; // empty: the value alone was set
};

class RecordingProgress : public ProgressSink
{
public:
    QList<Step> steps;
    void setValue(double percent) override { steps.append({percent, QString()}); }
    void setText(const QString& text) override
    {
        if (!steps.isEmpty() && steps.last().text.isEmpty())
            steps.last().text = text;
        else
            steps.append({-1, text});
    }
    QList<double> values() const
    {
        QList<double> v;
        for (const Step& s : steps)
            v.append(s.value);
        return v;
    }
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

MemoryTable resultTable()
{
    MemoryTable t;
    t.titles = QStringList{"Filename(s)", "Length"};
    return t;
}

// Where a byte comparison failed, so that a mismatch in a long report is readable.
QByteArray firstDifference(const QByteArray& actual, const QByteArray& expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    return "bytes differ from offset " + QByteArray::number(i) + ": got [" +
           actual.mid(i, 40).toPercentEncoding(" ") + "] expected [" +
           expected.mid(i, 40).toPercentEncoding(" ") + "]";
}
} // namespace

// Writes a report of as many checked rows as asked to the path given; prints each error box on a line, its
// text's line breaks shown as |.
UNPRIVILEGED_STEP(writeReport)
{
    MemoryTable table = resultTable();
    for (int i = 0; i < args.value(1).toInt(); ++i)
        table.add({"/r" + QString::number(i), "2"}, true);
    ScriptedDialogs dialogs;
    ErrorBox box(dialogs);
    writeTextReport(table, args.value(0), nullptr, box, noYield);
    for (QString text : dialogs.errorTexts())
        std::printf("%s\n", qPrintable(text.replace("\r\n", "|").replace("\r\r", "|")));
    return 0;
}

class TestReport : public QObject
{
    Q_OBJECT
    QTemporaryDir out;

private slots:
    void paddedCell_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("shorter") << "ab" << 5 << "ab   \t";
        QTest::newRow("as long") << "abcde" << 5 << "abcde\t";
        QTest::newRow("longer stays whole") << "abcdefg" << 5 << "abcdefg\t";
        QTest::newRow("empty") << "" << 3 << "   \t";
        QTest::newRow("zero width") << "" << 0 << "\t";
        QTest::newRow("tab inside counts one") << "a\tb" << 4 << "a\tb \t";
        QTest::newRow("emoji counts two")
            << QString::fromUtf8("\xF0\x9F\x98\x80") << 3 << QString::fromUtf8("\xF0\x9F\x98\x80 \t");
    }
    void paddedCell()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QString line = QStringLiteral("x");
        appendPaddedCell(line, text, width);
        QCOMPARE(line, "x" + expected);
    }

    void paddedLines_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QList<qsizetype>>("widths");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two cells") << QStringList{"a", "bcd"} << QList<qsizetype>{3, 1} << "a  \tbcd\t";
        QTest::newRow("no cells") << QStringList{} << QList<qsizetype>{} << "";
        QTest::newRow("more cells than widths") << QStringList{"a", "b"} << QList<qsizetype>{2} << "a \tb\t";
    }
    void paddedLines()
    {
        QFETCH(QStringList, cells);
        QFETCH(QList<qsizetype>, widths);
        QFETCH(QString, expected);
        QCOMPARE(paddedLine(cells, std::vector<qsizetype>(widths.begin(), widths.end())), expected);
    }

    void goldenBytes_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<QStringList>>("cells");
        QTest::addColumn<QList<bool>>("checked");
        QTest::addColumn<QByteArray>("expected");

        const QStringList result{"Filename(s)", "Length"};
        QTest::newRow("example") << result
                                 << QList<QStringList>{{"C:\\Data\\report.txt", "10"},
                                                       {"C:\\Data\\old\\notes.text", "10"}}
                                 << QList<bool>{true, false}
                                 << QByteArray("Filename(s)           \tLength\t\r\n"
                                               "C:\\Data\\report.txt    \t10    \t\r\n");
        QTest::newRow("empty list") << result << QList<QStringList>{} << QList<bool>{}
                                    << QByteArray("Filename(s)\tLength\t\r\n");
        // The widths still cover every row.
        QTest::newRow("no row checked")
            << result << QList<QStringList>{{"/a/b/c/d/e/f/g/h.txt", "5"}, {"/x", "1234567"}}
            << QList<bool>{false, false} << QByteArray("Filename(s)         \tLength \t\r\n");
        QTest::newRow("title longer than every cell")
            << QStringList{"Name", "A rather long title"} << QList<QStringList>{{"ab", "1"}, {"c", "22"}}
            << QList<bool>{true, true}
            << QByteArray("Name\tA rather long title\t\r\n"
                          "ab  \t1                  \t\r\n"
                          "c   \t22                 \t\r\n");
        QTest::newRow("cell with a tab")
            << result << QList<QStringList>{{"/tmp/a\tb.txt", "7"}, {"/tmp/c", "6"}}
            << QList<bool>{true, true}
            << QByteArray("Filename(s) \tLength\t\r\n"
                          "/tmp/a\tb.txt\t7     \t\r\n"
                          "/tmp/c      \t6     \t\r\n");
        // Widths count UTF-16 units: the e-acute one, the emoji two, so "/é😀" is 4 wide and takes nine
        // spaces.
        QTest::newRow("non-ASCII") << result
                                   << QList<QStringList>{{QString::fromUtf8("/\xC3\xA9\xF0\x9F\x98\x80"),
                                                          "3"},
                                                         {"/abcdefghijkl", "12"}}
                                   << QList<bool>{true, false}
                                   << QByteArray("Filename(s)  \tLength\t\r\n"
                                                 "/\xC3\xA9\xF0\x9F\x98\x80         \t3     \t\r\n");
        QTest::newRow("sub-item never set")
            << result << QList<QStringList>{{"/only/a/path"}, {"/p", "4"}} << QList<bool>{true, true}
            << QByteArray("Filename(s) \tLength\t\r\n"
                          "/only/a/path\t      \t\r\n"
                          "/p          \t4     \t\r\n");
        QTest::newRow("three columns, one row")
            << QStringList{"A", "B", "C"} << QList<QStringList>{{"x", "yy", "zzz"}} << QList<bool>{true}
            << QByteArray("A\tB \tC  \t\r\nx\tyy\tzzz\t\r\n");
    }
    void goldenBytes()
    {
        QFETCH(QStringList, titles);
        QFETCH(QList<QStringList>, cells);
        QFETCH(QList<bool>, checked);
        QFETCH(QByteArray, expected);
        MemoryTable table;
        table.titles = titles;
        for (int i = 0; i < cells.size(); ++i)
            table.add(cells[i], checked[i]);
        const QString path = out.filePath(QStringLiteral("golden.txt"));
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        RecordingProgress progress;
        writeTextReport(table, path, &progress, box, noYield);
        QVERIFY(dialogs.messages.isEmpty());
        const QByteArray bytes = readAll(path);
        QVERIFY2(bytes == expected, firstDifference(bytes, expected).constData());
        // The same bytes without a progress bar.
        writeTextReport(table, path, nullptr, box, noYield);
        QCOMPARE(readAll(path), expected);
    }

    void progressOfEmptyList()
    {
        const MemoryTable table = resultTable();
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        RecordingProgress progress;
        writeTextReport(table, out.filePath("sub/../empty.txt"), &progress, box, noYield);
        QCOMPARE(progress.values(), (QList<double>{1, 10, 20, 100, 0}));
        QCOMPARE(progress.steps[0].text, QStringLiteral("Writing file: empty.txt"));
        QCOMPARE(progress.steps[1].text, QStringLiteral("Writing file: empty.txt"));
        QCOMPARE(progress.steps[2].text, QStringLiteral("Writing file: empty.txt"));
        QCOMPARE(progress.steps[3].text, QStringLiteral("Done."));
        QCOMPARE(progress.steps[4].text, QStringLiteral("Progress Bar"));
    }

    void progressCountsCheckedRowsOnly()
    {
        MemoryTable table = resultTable();
        for (int i = 1; i <= 10; ++i)
            table.add({"/r" + QString::number(i), "2"}, i == 3 || i == 7);
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        RecordingProgress progress;
        writeTextReport(table, out.filePath("ten.txt"), &progress, box, noYield);
        QCOMPARE(progress.values(), (QList<double>{1, 10, 20, 30, 70, 100, 0}));
        QVERIFY(progress.steps[3].text.isEmpty());
    }

    void progressOf2000Rows()
    {
        MemoryTable table = resultTable();
        for (int i = 0; i < 2000; ++i)
            table.add({"/r" + QString::number(i), "2"}, true);
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        RecordingProgress progress;
        writeTextReport(table, out.filePath("results.txt"), &progress, box, noYield);
        QCOMPARE(progress.steps.size(), 3 + 2000 + 2);
        for (int j = 1; j <= 2000; ++j) {
            const Step& s = progress.steps[2 + j];
            // (q + j) / N * 100 with q = 2000 / 2000.
            QVERIFY2(qFuzzyCompare(s.value, (1 + j) / 20.0), qPrintable(QString::number(j)));
            const QString text = j == 1000   ? "Writing file: results.txt (1000)"
                                 : j == 2000 ? "Writing file: results.txt (2000)"
                                             : QString();
            QCOMPARE(s.text, text);
        }
        QVERIFY(qFuzzyCompare(progress.steps[2002].value, 100.05));
        QCOMPARE(progress.steps[2003].value, 100.0);
        QCOMPARE(progress.steps[2003].text, QStringLiteral("Done."));
        QCOMPARE(progress.steps[2004].value, 0.0);
        QCOMPARE(progress.steps[2004].text, QStringLiteral("Progress Bar"));
    }

    void barShowsAtMost100AndRepaintsRarely()
    {
        QProgressBar bar;
        bar.setRange(0, 100);
        ProgressBarSink sink(&bar);
        QCOMPARE(ProgressBarSink::shownValue(100.05), 100);
        QCOMPARE(ProgressBarSink::shownValue(99.99), 99);
        QCOMPARE(ProgressBarSink::shownValue(0.1), 0);
        MemoryTable table = resultTable();
        for (int i = 0; i < 5000; ++i)
            table.add({"/r" + QString::number(i), "2"}, true);
        QSignalSpy changes(&bar, &QProgressBar::valueChanged);
        int highest = 0;
        connect(&bar, &QProgressBar::valueChanged, this, [&](int v) { highest = std::max(highest, v); });
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        writeTextReport(table, out.filePath("bar.txt"), &sink, box, noYield);
        // 1, 10, 20, back to 0 at the first row, 1 to 100, and 0 at the end: not one repaint per row.
        QVERIFY2(changes.size() <= 105, qPrintable(QString::number(changes.size())));
        QCOMPARE(highest, 100);
        QCOMPARE(bar.value(), 0);
        QCOMPARE(bar.format(), QStringLiteral("Progress Bar"));
    }

    // A value set on the bar shows at the next repaint, not in a repaint of its own the caller waits for.
    void barRepaintsLaterNotAtOnce()
    {
        QProgressBar bar;
        bar.setRange(0, 100);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        int paints = 0;
        EventCounter counter(QEvent::Paint, paints);
        bar.installEventFilter(&counter);
        QCoreApplication::processEvents();
        paints = 0;
        ProgressBarSink::setValueLater(&bar, 50);
        QCOMPARE(bar.value(), 50);
        QCOMPARE(paints, 0);
        QVERIFY(bar.updatesEnabled());
        QTRY_VERIFY(paints > 0);
        ProgressBarSink(&bar).setValue(75.5);
        QCOMPARE(bar.value(), 75);
    }

    void fromTheWindow()
    {
        TestForm form;
        QTemporaryDir tree;
        const QString checkedPath = makeFile(tree.path(), "Data/report.txt");
        const QString widest = makeFile(tree.path(), "Data/old/notes.text");
        addResult(form.results(), checkedPath);
        addResult(form.results(), widest);
        form.results().setChecked(0, true);
        const QString target = out.filePath("window.txt");
        makeFile(out.path(), "window.txt", QByteArray(5000, 'z')); // replaced without a question
        form.dialogs.saveNames << target;
        form->saveReportButton()->click();

        const QByteArray w(widest.size() - 11, ' ');
        const QByteArray expected = "Filename(s)" + w + "\tLength\t\r\n" + checkedPath.toUtf8() +
                                    QByteArray(widest.size() - checkedPath.size(), ' ') + "\t10    \t\r\n";
        const QByteArray bytes = readAll(target);
        QVERIFY2(bytes == expected, firstDifference(bytes, expected).constData());
        QVERIFY(form.dialogs.messages.isEmpty());
        QCOMPARE(form.dialogs.saveTitles, QStringList{"Save"});
        QCOMPARE(form.dialogs.saveFilters,
                 QStringList{"Text Files (*.txt);;All Files (*);;CSV Files (*.csv)"});
        QCOMPARE(form.dialogs.saveStarts, QStringList{QString()});
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QCOMPARE(form->progressBar()->value(), 0);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Progress Bar"));

        // A name typed without an extension is used as typed; the dialog starts at the last choice.
        const QString bare = out.filePath("report");
        form.dialogs.saveNames << bare;
        form->saveReportButton()->click();
        QCOMPARE(form.dialogs.saveStarts.last(), target);
        QCOMPARE(readAll(bare), expected);
        QVERIFY(!QFile::exists(bare + ".txt"));

        // Cancel writes nothing and changes nothing, and the next dialog still starts at the last choice.
        QVERIFY(QFile::remove(bare));
        form->progressBar()->setFormat("untouched");
        form->pointer().set(Pointer::Hand);
        form->saveReportButton()->click();
        QVERIFY(!QFile::exists(bare));
        QCOMPARE(form->pointer().value(), Pointer::Hand);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("untouched"));
        form->saveReportButton()->click();
        QCOMPARE(form.dialogs.saveStarts.last(), bare);
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    // The CSV filter, or a name ending ".csv", writes CSV of the checked rows in list order; the text filter
    // with any other name writes the aligned report.
    void csvFromTheWindow_data()
    {
        QTest::addColumn<QString>("filter"); // empty: the dialog's first filter
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("csv");
        QTest::newRow("csv filter, bare name") << "CSV Files (*.csv)"
                                               << "bare" << true;
        QTest::newRow("text filter, .csv name") << ""
                                                << "r.CSV" << true;
        QTest::newRow("all files, .csv name") << "All Files (*)"
                                              << "r.csv" << true;
        QTest::newRow("text filter") << ""
                                     << "r.txt" << false;
    }
    void csvFromTheWindow()
    {
        QFETCH(QString, filter);
        QFETCH(QString, name);
        QFETCH(bool, csv);
        TestForm form;
        form.results().appendRow("/d/z,\"q\"", 7);
        form.results().appendRow("/d/skip", 4);
        form.results().appendRow("/d/\xC3\xA9", 2);
        form.results().setChecked(0, true);
        form.results().setChecked(2, true);
        form.dialogs.saveNames << out.filePath(name);
        if (!filter.isEmpty())
            form.dialogs.saveChosenFilters << filter;
        form->saveReportButton()->click();
        const QByteArray expected =
            csv ? QByteArray("Filename(s),Length\r\n\"/d/z,\"\"q\"\"\",7\r\n/d/\xC3\xA9,2\r\n")
                : QByteArray("Filename(s)\tLength\t\r\n/d/z,\"q\"   \t7     \t\r\n"
                             "/d/\xC3\xA9       \t2     \t\r\n");
        QCOMPARE(readAll(out.filePath(name)), expected);
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void nativeBytesAreDecodedForTheReport()
    {
        TestForm form;
        form.results().appendRow("/tmp/caf\xC3\xA9.txt", 8);
        form.results().appendRow("/tmp/bad\xFFname", 8);
        form.results().setAllChecked(true);
        const QString target = out.filePath("bytes.txt");
        form.dialogs.saveNames << target;
        form->saveReportButton()->click();
        // A name that is not UTF-8 is shown, and reported, with the replacement character.
        const QByteArray expected = "Filename(s)  \tLength\t\r\n"
                                    "/tmp/caf\xC3\xA9.txt\t8     \t\r\n"
                                    "/tmp/bad\xEF\xBF\xBDname\t8     \t\r\n";
        QCOMPARE(readAll(target), expected);
    }

    // A file that cannot be made or written gets one box, naming it, however many rows are checked; nothing
    // more is written after it, and the window is left as after any report.
    void unwritableReportShowsOneBox_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("label");
        QTest::addColumn<QString>("reason");
        const QString missing = out.filePath("no/such/folder/r.txt");
        QTest::newRow("folder missing, few rows") << missing << 3 << 156 << "No such file or directory";
        QTest::newRow("folder missing, many rows") << missing << 20000 << 156 << "No such file or directory";
        if (QFile::exists("/dev/full")) {
            // A short report fails only as it is closed; a long one as soon as its first lines go out.
            QTest::newRow("full disk, one row") << "/dev/full" << 1 << 232 << "No space left on device";
            QTest::newRow("full disk, many rows") << "/dev/full" << 20000 << 222 << "No space left on device";
        }
        // The disk takes the first part of a block and then fills: a short write, for which Qt gives no
        // reason.
        QTest::newRow("disk filled part of the way")
            << QString() << 20000 << 222 << "No space left on device";
    }
    void unwritableReportShowsOneBox()
    {
        QFETCH(QString, path);
        QFETCH(int, rows);
        QFETCH(int, label);
        QFETCH(QString, reason);
        std::unique_ptr<OtherMount> smallDisk;
        if (path.isEmpty()) {
            smallDisk = std::make_unique<OtherMount>(64 * 1024, false);
            if (!smallDisk->ownMount())
                QSKIP("cannot mount a small tmpfs here");
            path = QFile::decodeName(smallDisk->path()) + "/r.txt";
        }
        TestForm form;
        ResultBatch batch;
        for (int i = 0; i < rows; ++i) {
            const std::string row = "/tmp/some/rather/long/folder/name/row" + std::to_string(i) + ".txt";
            batch.add(row, 10);
        }
        form.results().appendBatch(batch);
        form.results().setAllChecked(true);
        QList<int> pointerDuringBoxes;
        form.dialogs.onMessage = [&](const ScriptedDialogs::Message&) {
            pointerDuringBoxes << int(form->pointer().value());
        };
        form.dialogs.saveNames << path;
        form->saveReportButton()->click();

        const QStringList boxes = form.dialogs.errorTexts();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].startsWith(reason +
                                     "\r\nin Zimbrel2021/08/31.Main.SaveListviewProperlySpaced at line " +
                                     QString::number(label) + "\r"),
                 qPrintable(boxes[0]));
        QVERIFY2(boxes[0].endsWith("\r\rFile: " + path), qPrintable(boxes[0]));
        QCOMPARE(pointerDuringBoxes, QList<int>{11});
        QCOMPARE(form->pointer().value(), Pointer::Default);
        QCOMPARE(form->progressBar()->value(), 0);
        QCOMPARE(form->progressBar()->format(), QStringLiteral("Progress Bar"));
        QVERIFY(!QFile::exists(out.filePath("no")));
        if (smallDisk)
            QVERIFY(QFileInfo(path).size() > 0); // part of it was written
    }

    // The same for a folder the user may not write in, which only an unprivileged user meets.
    void folderNotWritableShowsOneBox()
    {
        SKIP_UNLESS_UNPRIVILEGED_RUNS();
        QTemporaryDir tree;
        const QString locked = tree.filePath("locked");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther));
        const QString target = locked + "/r.txt";
        QVERIFY(Unprivileged::openWayTo(QFile::encodeName(target)));
        const Unprivileged::Outcome outcome = Unprivileged::runStep("writeReport", {target, "5000"});
        QVERIFY2(outcome.exitCode == 0, outcome.err.constData());
        const QStringList boxes = QString::fromUtf8(outcome.out).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].startsWith("Permission denied|in Zimbrel2021/08/31.Main.SaveListviewProperlySpaced "
                                     "at line 156|"),
                 qPrintable(boxes[0]));
        QVERIFY2(boxes[0].endsWith("|File: " + target), qPrintable(boxes[0]));
        QVERIFY(!QFile::exists(target));
    }

    void fullDiskIsReportedNotSwallowed()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full here");
        TestForm form;
        form.results().appendRow("/tmp/a.txt", 5);
        form.results().setAllChecked(true);
        form.dialogs.saveNames << QStringLiteral("/dev/full");
        form->saveReportButton()->click();
        const QStringList boxes = form.dialogs.errorTexts();
        QVERIFY2(!boxes.isEmpty(), "a report that never reached the disk passed as written");
        QVERIFY2(boxes.last().contains("SaveListviewProperlySpaced at line 232"),
                 qPrintable(boxes.join('|')));
        QVERIFY(boxes.last().startsWith("No space left on device"));
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }

    void listChangedWhileWriting()
    {
        // The writer reads the rows as they were at the click, whatever happens to the list while it yields.
        ResultModel model;
        for (int i = 0; i < 6; ++i)
            model.appendRow(("/r" + std::to_string(i)), quint16(i));
        model.setAllChecked(true);
        const SnapshotTable table = SnapshotTable::of(model);
        // Rows are read twice, once for the widths and once to write them; the list changes in both passes.
        int yields = 0;
        int meddled = 0;
        const auto meddle = [&] {
            ++yields;
            if (yields == 3) {
                model.clearRows();
                ++meddled;
            }
            if (yields == 8) {
                model.appendRow("/a/much/longer/path/added/later", 1);
                model.setAllChecked(true);
                ++meddled;
            }
            if (yields == 10) {
                model.removeRowsById({model.rowId(0)});
                ++meddled;
            }
        };
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        const QString path = out.filePath("changed.txt");
        writeTextReport(table, path, nullptr, box, meddle);
        QCOMPARE(meddled, 3);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(readAll(path), QByteArray("Filename(s)\tLength\t\r\n"
                                           "/r0        \t0     \t\r\n/r1        \t1     \t\r\n"
                                           "/r2        \t2     \t\r\n/r3        \t3     \t\r\n"
                                           "/r4        \t4     \t\r\n/r5        \t5     \t\r\n"));
    }

    void otherHandlersRunWhileTheReportWaits()
    {
        // While the writer's error box is open, the user prunes the list, clicks Save again and clears it.
        TestForm form;
        QTemporaryDir tree;
        for (int i = 0; i < 4; ++i)
            addResult(form.results(), makeFile(tree.path(), QString("f%1.txt").arg(i)));
        form.results().setAllChecked(true);
        int boxes = 0;
        int rowsAfterPrune = -1;
        form.dialogs.onMessage = [&](const ScriptedDialogs::Message& m) {
            if (m.title != errorBoxTitle())
                return;
            ++boxes;
            form.dialogs.inputs << "f1";
            form->removeContainingButton()->click();
            rowsAfterPrune = form.results().rowCount();
            form->saveReportButton()->click(); // ignored: a report is being written
            form->clearResultsButton()->click();
        };
        form.dialogs.saveNames << out.filePath("missing/r.txt") << out.filePath("second.txt");
        form->saveReportButton()->click();
        QCOMPARE(boxes, 1);
        QCOMPARE(rowsAfterPrune, 3);
        QCOMPARE(form.results().rowCount(), 0);
        QCOMPARE(form.dialogs.saveTitles.size(), 1);
        QVERIFY(!QFile::exists(out.filePath("second.txt")));
        QCOMPARE(form->pointer().value(), Pointer::Default);
    }
};

LENTROVA_TEST_MAIN(TestReport)
#include "test_report.moc"
