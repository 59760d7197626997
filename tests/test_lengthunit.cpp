// SPDX-License-Identifier: MIT
#include "app/searchrun.h"
#include "search/lengthunit.h"
#include "search/nametest.h"
#include "support/filetree.h"
#include "support/searchhost.h"
#include "support/testmain.h"

Q_DECLARE_METATYPE(LengthUnit)

namespace {
// A name of exactly n bytes: two-byte characters, then one ASCII letter when n is odd.
QByteArray nameOfBytes(int n)
{
    QByteArray name;
    for (int i = 0; i < n / 2; ++i)
        name += "\xC3\xA9"; // é
    if (n % 2)
        name += 'a';
    return name;
}

const QByteArray Emoji = "ab\xF0\x9F\x98\x80.txt"; // 8 UTF-16 units, 10 bytes
const QByteArray Combining = "e\xCC\x81.txt";      // e + U+0301: 6 units, 7 bytes
const QByteArray Invalid = "\xFF\xFE.txt";         // two bytes that decode to U+FFFD each: 6 units, 6 bytes
const QByteArray Deep = "d1/d\xC3\xA9/file.txt";   // 14 units below the listed folder, 15 bytes
} // namespace

class TestLengthUnit : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("length");
        QTest::addColumn<LengthUnit>("unit");
        QTest::newRow("plain number") << "12" << true << 12 << LengthUnit::Name;
        QTest::newRow("bytes") << "255 bytes" << true << 255 << LengthUnit::Bytes;
        QTest::newRow("case and blanks") << "  143  BYTES " << true << 143 << LengthUnit::Bytes;
        QTest::newRow("path") << "400 path" << true << 400 << LengthUnit::Path;
        QTest::newRow("path bytes") << "260 Path Bytes" << true << 260 << LengthUnit::PathBytes;
        QTest::newRow("blanks between words") << "260 path \t bytes" << true << 260 << LengthUnit::PathBytes;
        QTest::newRow("rounding as today") << "2.5 bytes" << true << 2 << LengthUnit::Bytes;
        QTest::newRow("exponent") << "1e2 path" << true << 100 << LengthUnit::Path;
        QTest::newRow("negative") << "-1 bytes" << true << -1 << LengthUnit::Bytes;
        QTest::newRow("range as today") << "40000 bytes" << false << 0 << LengthUnit::Name;
        QTest::newRow("unit joined to the number") << "12bytes" << false << 0 << LengthUnit::Name;
        QTest::newRow("unit alone") << "bytes" << false << 0 << LengthUnit::Name;
        QTest::newRow("singular") << "12 byte" << false << 0 << LengthUnit::Name;
        QTest::newRow("name is no word of the box") << "12 name" << false << 0 << LengthUnit::Name;
        QTest::newRow("words swapped") << "12 bytes path" << false << 0 << LengthUnit::Name;
        QTest::newRow("unit before the number") << "bytes 12" << false << 0 << LengthUnit::Name;
        QTest::newRow("trailing text") << "12 path bytes x" << false << 0 << LengthUnit::Name;
        QTest::newRow("empty") << "" << false << 0 << LengthUnit::Name;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, length);
        QFETCH(LengthUnit, unit);
        const std::optional<LengthCriterion> spec = parseLengthCriterion(text, Comparison::LessThan);
        QCOMPARE(spec.has_value(), valid);
        const QString refused = criteriaRefusal(text, QString());
        QCOMPARE(refused.isEmpty(), valid);
        LiveCriteria live;
        live.set(spec);
        const std::optional<LengthCriterion> c = live.load();
        QCOMPARE(c.has_value(), valid);
        if (valid) {
            QCOMPARE(spec->value, length);
            QCOMPARE(spec->unit, unit);
            // The unit travels with the length and the comparison in the one word the walk reads.
            QCOMPARE(c->value, length);
            QCOMPARE(c->unit, unit);
            QCOMPARE(c->comparison, Comparison::LessThan);
        } else {
            // The refusal quotes the text and names every accepted form.
            QVERIFY(refused.contains(QLatin1Char('"') + text + QLatin1Char('"')));
            for (const char* form : {"from -32768 to 32767", "\"bytes\"", "\"path\"", "\"path bytes\""})
                QVERIFY2(refused.contains(QLatin1String(form)), qPrintable(refused));
        }
    }

    // The Length column holds the value measured in the chosen unit, for every row the walk lists.
    void measured_data()
    {
        QTest::addColumn<QByteArray>("relative"); // below the listed folder
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("expected");
        const struct
        {
            const char* tag;
            QByteArray relative;
            int name, bytes, path, pathBytes;
        } files[] = {
            {"emoji", Emoji, 8, 10, 8, 10},
            {"combining mark", Combining, 6, 7, 6, 7},
            {"invalid UTF-8", Invalid, 6, 6, 6, 6},
            {"143 bytes", nameOfBytes(143), 72, 143, 72, 143},
            {"255 bytes", nameOfBytes(255), 128, 255, 128, 255},
            {"nested", Deep, 8, 8, 14, 15},
            {"emoji in a folder", "\xF0\x9F\x98\x80/a", 1, 1, 4, 6},
        };
        for (const auto& f : files) {
            QTest::addRow("%s, name", f.tag) << f.relative << "" << f.name;
            QTest::addRow("%s, bytes", f.tag) << f.relative << " bytes" << f.bytes;
            QTest::addRow("%s, path", f.tag) << f.relative << " path" << f.path;
            QTest::addRow("%s, path bytes", f.tag) << f.relative << " PATH BYTES" << f.pathBytes;
        }
    }
    void measured()
    {
        QFETCH(QByteArray, relative);
        QFETCH(QString, unit);
        QFETCH(int, expected);
        ScratchDir dir;
        const QByteArray path = dir.path() + '/' + relative;
        for (qsizetype at = relative.indexOf('/'); at >= 0; at = relative.indexOf('/', at + 1))
            QVERIFY(FileTree::makeFolder(dir.path() + '/' + relative.left(at)));
        QVERIFY(FileTree::write(path, "x"));
        SearchHost host;
        host.folders = {dir.path()};
        for (const auto& [comparison, value, found] : {std::tuple{0, expected, true},
                                                       {1, expected, false},
                                                       {1, expected - 1, true},
                                                       {2, expected, false}}) {
            host.comparisonIndex = comparison;
            host.length = QString::number(value) + unit;
            QVERIFY(host.search());
            QVERIFY2(host.scripted.errorTexts().isEmpty(), qPrintable(host.scripted.errorTexts().join('\n')));
            if (!found) {
                QCOMPARE(host.model.rowCount(), 0);
                continue;
            }
            QCOMPARE(host.rows(), QList<QByteArray>{path + '\t' + QByteArray::number(expected)});
        }
    }

    // A path is measured from the listed folder it was found under: a tree listed at two depths gives the
    // same file two lengths.
    void pathBelowNestedListedFolders()
    {
        ScratchDir dir;
        const QByteArray outer = dir.path() + "/outer";
        const QByteArray inner = outer + "/in\xC3\xA9r";
        QVERIFY(FileTree::makeFolder(outer));
        QVERIFY(FileTree::makeFolder(inner));
        QVERIFY(FileTree::makeFolder(inner + "/sub"));
        QVERIFY(FileTree::write(inner + "/sub/f.txt", "x"));
        SearchHost host;
        host.folders = {outer, inner, outer + "/"};
        for (const auto& [unit, fromOuter, fromInner] :
             {std::tuple{"path", 14, 9}, {"path bytes", 15, 9}, {"bytes", 5, 5}}) {
            host.length = QStringLiteral("-1 ") + QLatin1String(unit);
            QVERIFY(host.search());
            const QByteArray file = inner + "/sub/f.txt";
            QCOMPARE(host.rows(), (QList<QByteArray>{file + '\t' + QByteArray::number(fromOuter),
                                                     file + '\t' + QByteArray::number(fromInner),
                                                     file + '\t' + QByteArray::number(fromOuter)}));
        }
    }

    // The limits the units are for: names over 255 bytes no Linux file system takes, over 143 bytes an
    // encrypted home refuses.
    void byteLimits()
    {
        ScratchDir dir;
        const QByteArray names[] = {nameOfBytes(142), nameOfBytes(143), nameOfBytes(144), nameOfBytes(255)};
        for (const QByteArray& n : names)
            QVERIFY(FileTree::write(dir.path() + '/' + n, "x"));
        SearchHost host;
        host.folders = {dir.path()};
        host.length = QStringLiteral("143 bytes");
        QVERIFY(host.search());
        QStringList lengths;
        for (int r = 0; r < host.model.rowCount(); ++r)
            lengths << QString::number(host.model.measuredLength(r));
        lengths.sort();
        QCOMPARE(lengths, (QStringList{"144", "255"}));
        host.length = QStringLiteral("254 bytes");
        QVERIFY(host.search());
        QCOMPARE(host.rows(), QList<QByteArray>{dir.path() + '/' + names[3] + "\t255"});
    }

    void unknownUnitRefusedAtStart()
    {
        SearchHost host;
        ScratchDir dir;
        QVERIFY(FileTree::write(dir.path() + "/a", "x"));
        host.folders = {dir.path()};
        host.length = QStringLiteral("12 chars");
        host.run.click();
        QCOMPARE(host.scripted.messages.size(), 1);
        QCOMPARE(host.scripted.messages[0].text, lengthRefusal(QStringLiteral("12 chars")));
        QCOMPARE(host.model.rowCount(), 0);
        QCOMPARE(host.caption, QStringLiteral("Start Finding"));
    }
};

LENTROVA_TEST_MAIN(TestLengthUnit)
#include "test_lengthunit.moc"
