// SPDX-License-Identifier: MIT
#include "app/reportsaving.h"
#include "services/errorbox.h"
#include "support/filetree.h"
#include "support/memorytable.h"
#include "support/scripteddialogs.h"
#include "support/testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {
MemoryTable resultTable()
{
    MemoryTable table;
    table.titles = QStringList{"Filename(s)", "Length"};
    return table;
}

// What Python's csv module reads back from the file, one list of fields per record.
QList<QStringList> readWithPython(const QString& file)
{
    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import csv, json, sys\n"
                        "with open(sys.argv[1], newline='', encoding='utf-8', errors='strict') as f:\n"
                        "    print(json.dumps(list(csv.reader(f, strict=True))))\n"),
         file});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        return {{QStringLiteral("python failed: ") + QString::fromUtf8(python.readAllStandardError())}};
    QList<QStringList> records;
    for (const QJsonValue& record : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList fields;
        for (const QJsonValue& field : record.toArray())
            fields << field.toString();
        records << fields;
    }
    return records;
}
} // namespace

class TestCsvReport : public QObject
{
    Q_OBJECT

private slots:
    void fieldQuoting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "/d/a b.txt"
                               << "/d/a b.txt";
        QTest::newRow("tab needs no quotes") << "/d/a\tb"
                                             << "/d/a\tb";
        QTest::newRow("comma") << "/d/a,b"
                               << "\"/d/a,b\"";
        QTest::newRow("quote doubled") << "/d/say \"hi\""
                                       << "\"/d/say \"\"hi\"\"\"";
        QTest::newRow("line feed") << "/d/a\nb"
                                   << "\"/d/a\nb\"";
        QTest::newRow("carriage return") << "/d/a\rb"
                                         << "\"/d/a\rb\"";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fieldQuoting()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QCOMPARE(csvField(text), field);
    }

    // Exact bytes: header, checked rows only in list order, CR LF after every record, UTF-8 without a mark.
    void goldenBytes()
    {
        QTemporaryDir dir;
        MemoryTable table = resultTable();
        table.add({"/d/été,1", "7"}, true).add({"/d/skip", "4"}, false).add({"/d/z", "1"}, true);
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        const QString file = dir.path() + "/out.csv";
        SaveListAsCsv(table, file, nullptr, box, [] {});
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("Filename(s),Length\r\n\"/d/\xc3\xa9t\xc3\xa9,1\",7\r\n/d/z,1\r\n"));
        QVERIFY(dialogs.messages.isEmpty());
    }

    // Hostile names survive a round trip through a standard CSV reader.
    void pythonRoundTrip()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 is not installed");
        const QStringList names{QStringLiteral("/d/comma,name.txt"),
                                QStringLiteral("/d/\"quoted\" name"),
                                QStringLiteral("/d/tab\there"),
                                QStringLiteral("/d/line\nfeed"),
                                QStringLiteral("/d/carriage\rreturn"),
                                QStringLiteral("/d/both\r\nends,\"x\""),
                                QString::fromUtf8("/d/bad\xff"
                                                  "byte"), // as displayed: U+FFFD
                                QStringLiteral("/d/ leading and trailing "),
                                QString::fromUtf8("/d/😀")};
        MemoryTable table = resultTable();
        QList<QStringList> expected{{"Filename(s)", "Length"}};
        for (const QString& name : names) {
            const QString length = QString::number(name.size());
            table.add({name, length}, true);
            expected.append({name, length});
        }
        table.add({"/d/unchecked,row", "3"}, false);
        QVERIFY(names[6].contains(QChar(0xFFFD)));

        QTemporaryDir dir;
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        const QString file = dir.path() + "/names.csv";
        SaveListAsCsv(table, file, nullptr, box, [] {});
        QCOMPARE(readWithPython(file), expected);
    }

    // One box, whatever the number of rows, when the file cannot be made or cannot take the bytes.
    void failuresGiveOneBox_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "/nonexistent-folder/x.csv" << 50 << "at line 100"
                                        << "No such file or directory";
        QTest::newRow("full disk, few rows: at the close") << "/dev/full" << 5 << "at line 106"
                                                           << "No space left on device";
        QTest::newRow("full disk, many rows: while writing") << "/dev/full" << 20000 << "at line 104"
                                                             << "No space left on device";
        // The disk takes the first part of a block and then fills: a short write, for which Qt gives no
        // reason.
        QTest::newRow("disk filled part of the way") << QString() << 20000 << "at line 104"
                                                     << "No space left on device";
    }
    void failuresGiveOneBox()
    {
        QFETCH(QString, file);
        QFETCH(int, rows);
        QFETCH(QString, label);
        QFETCH(QString, reason);
        std::unique_ptr<OtherMount> smallDisk;
        if (file.isEmpty()) {
            smallDisk = std::make_unique<OtherMount>(64 * 1024, false);
            if (!smallDisk->ownMount())
                QSKIP("cannot mount a small tmpfs here");
            file = QFile::decodeName(smallDisk->path()) + "/x.csv";
        }
        MemoryTable table = resultTable();
        for (int r = 0; r < rows; ++r)
            table.add({QStringLiteral("/some/folder/file-%1.txt").arg(r), "12"}, true);
        ScriptedDialogs dialogs;
        ErrorBox box(dialogs);
        SaveListAsCsv(table, file, nullptr, box, [] {});
        const QStringList errors = dialogs.errorTexts();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains("Main.SaveListAsCsv " + label), qPrintable(errors.first()));
        QVERIFY2(errors.first().startsWith(reason), qPrintable(errors.first()));
    }
};

LENTROVA_TEST_MAIN(TestCsvReport)
#include "test_csvreport.moc"
