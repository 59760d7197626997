// SPDX-License-Identifier: MIT
#include "app/searchrun.h"
#include "platform/nativepath.h"
#include "search/nametest.h"
#include "search/pattern.h"
#include "search/utf8name.h"
#include "support/testmain.h"

#include <QRandomGenerator>

namespace {
std::u16string u16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}
} // namespace

class TestNameTest : public QObject
{
    Q_OBJECT

private slots:
    void pattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("star alone, empty name") << "*"
                                                << "" << true;
        QTest::newRow("star alone") << "*"
                                    << "abc" << true;
        QTest::newRow("prefix") << "a*"
                                << "abc" << true;
        QTest::newRow("prefix, negative") << "a*"
                                          << "bac" << false;
        QTest::newRow("suffix") << "*c"
                                << "abc" << true;
        QTest::newRow("suffix must end the name") << "*c"
                                                  << "abcd" << false;
        QTest::newRow("star takes none") << "a*c"
                                         << "ac" << true;
        QTest::newRow("star takes some") << "a*c"
                                         << "abxc" << true;
        QTest::newRow("backtracking") << "*ab"
                                      << "aab" << true;
        QTest::newRow("several stars") << "*a*b*c*"
                                       << "xaxbxcx" << true;
        QTest::newRow("several stars, negative") << "*a*b*c*"
                                                 << "xcxbxax" << false;
        QTest::newRow("many stars, long miss") << "a*a*a*a*b"
                                               << "aaaaaaaaaaaaaaaaaaaaaaac" << false;
        QTest::newRow("question one") << "?"
                                      << "a" << true;
        QTest::newRow("question none") << "?"
                                       << "" << false;
        QTest::newRow("question two") << "?"
                                      << "ab" << false;
        QTest::newRow("emoji is two units") << "??" << QString::fromUtf8("\xF0\x9F\x98\x80") << true;
        QTest::newRow("emoji is not one unit") << "?" << QString::fromUtf8("\xF0\x9F\x98\x80") << false;
        QTest::newRow("hash digit") << "#"
                                    << "7" << true;
        QTest::newRow("hash letter") << "#"
                                     << "a" << false;
        QTest::newRow("hash in name") << "file#.*"
                                      << "file7.txt" << true;
        QTest::newRow("list") << "[abc]"
                              << "b" << true;
        QTest::newRow("list, negative") << "[abc]"
                                        << "d" << false;
        QTest::newRow("range") << "[a-z]"
                               << "m" << true;
        QTest::newRow("range is case-sensitive") << "[a-z]"
                                                 << "M" << false;
        QTest::newRow("two ranges") << "[a-cx-z]"
                                    << "y" << true;
        QTest::newRow("two ranges, between") << "[a-cx-z]"
                                             << "m" << false;
        QTest::newRow("not in range") << "[!0-9]"
                                      << "a" << true;
        QTest::newRow("not in range, negative") << "[!0-9]"
                                                << "5" << false;
        QTest::newRow("not in list needs a character") << "[!a]"
                                                       << "" << false;
        QTest::newRow("bracketed star") << "[*]"
                                        << "*" << true;
        QTest::newRow("bracketed star is not any run") << "[*]"
                                                       << "ab" << false;
        QTest::newRow("bracketed question") << "[?]"
                                            << "?" << true;
        QTest::newRow("bracketed question is not any") << "[?]"
                                                       << "a" << false;
        QTest::newRow("bracketed hash") << "[#]"
                                        << "#" << true;
        QTest::newRow("bracketed hash is not a digit") << "[#]"
                                                       << "1" << false;
        QTest::newRow("bracketed bracket") << "[[]"
                                           << "[" << true;
        QTest::newRow("bracketed exclamation") << "[!]"
                                               << "!" << true;
        QTest::newRow("closing bracket alone") << "a]"
                                               << "a]" << true;
        QTest::newRow("hyphen last") << "[a-]"
                                     << "-" << true;
        QTest::newRow("hyphen first") << "[-a]"
                                      << "-" << true;
        QTest::newRow("empty list takes nothing") << "a[]b"
                                                  << "ab" << true;
        QTest::newRow("case distinguished") << "*.TXT"
                                            << "a.txt" << false;
        QTest::newRow("case kept") << "*.TXT"
                                   << "A.TXT" << true;
        QTest::newRow("whole name") << "*.txt"
                                    << "notes.txt.bak" << false;
        QTest::newRow("non-ASCII literal")
            << QString::fromUtf8("*\xC3\xA9") << QString::fromUtf8("caf\xC3\xA9") << true;
    }
    void pattern()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        const auto p = Pattern::compile(pattern);
        QVERIFY(p);
        QCOMPARE(p->matches(u16(name)), matches);
    }

    void rejectedPatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::newRow("unclosed") << "*[abc";
        QTest::newRow("bracket at the end") << "*[";
        QTest::newRow("reversed range") << "*[z-a]";
    }
    void rejectedPatterns()
    {
        QFETCH(QString, pattern);
        QString why;
        QVERIFY(!Pattern::compile(pattern, &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(NameFilter(pattern).mode(), NameFilter::Mode::Rejected);
        QVERIFY(!NameFilter(pattern).passes(u"anything"));
    }

    void filterModes_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("passes");
        QTest::newRow("empty passes all") << ""
                                          << "x" << true;
        QTest::newRow("substring ignores case") << "abc"
                                                << "xABCy.txt" << true;
        QTest::newRow("substring, non-ASCII case")
            << QString::fromUtf8("\xC3\x84") << QString::fromUtf8("x\xC3\xA4") << true;
        QTest::newRow("substring, negative") << "abd"
                                             << "xABCy.txt" << false;
        QTest::newRow("question mark is plain in substring") << "a?c"
                                                             << "abc" << false;
        QTest::newRow("question mark found") << "a?c"
                                             << "xa?c" << true;
        QTest::newRow("bracket is plain in substring") << "[a"
                                                       << "x[a" << true;
        QTest::newRow("pattern distinguishes case") << "*abc*"
                                                    << "xABCy.txt" << false;
        QTest::newRow("pattern") << "*abc*"
                                 << "xabcy.txt" << true;
        QTest::newRow("longer than the name") << "abcdef"
                                              << "abc" << false;
    }
    void filterModes()
    {
        QFETCH(QString, filter);
        QFETCH(QString, name);
        QFETCH(bool, passes);
        QCOMPARE(NameFilter(filter).passes(u16(name)), passes);
    }

    void utf16Lengths_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("length");
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("ASCII") << QByteArray("readme.txt") << 10;
        QTest::newRow("long ASCII") << QByteArray(120, 'x') << 120;
        QTest::newRow("two-byte") << QByteArray("caf\xC3\xA9") << 4;
        QTest::newRow("three-byte") << QByteArray("\xE2\x82\xAC") << 1;
        QTest::newRow("emoji counts 2") << QByteArray("\xF0\x9F\x98\x80.txt") << 6;
        QTest::newRow("stray continuation") << QByteArray("a\x80"
                                                          "b")
                                            << 3;
        QTest::newRow("invalid byte") << QByteArray("bad\xFF.txt") << 8;
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << 2;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 3;
        QTest::newRow("truncated") << QByteArray("\xE2\x82"
                                                 "x")
                                   << 3;
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 4;
        QTest::newRow("byte-order mark is a character") << QByteArray("\xEF\xBB\xBF"
                                                                      "a")
                                                        << 2;
    }
    void utf16Lengths()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, length);
        const std::string_view name(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(int(utf16Length(name)), length);
        std::u16string decoded;
        decodeUtf8(name, decoded);
        QCOMPARE(int(decoded.size()), length);
    }

    // The length shown (Qt's decoding) and the length tested must agree on any bytes at all.
    void decodingAgreesWithDisplay()
    {
        QRandomGenerator random(20261208);
        const char pieces[][5] = {"a",        ".",        "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                  "\x80",     "\xBF",     "\xC0",     "\xC2",         "\xE0\xA0",
                                  "\xED\xA0", "\xF0\x90", "\xF4\x90", "\xFF",         "\xFE"};
        std::u16string decoded;
        for (int round = 0; round < 20000; ++round) {
            QByteArray bytes("x"); // Qt drops a leading byte-order mark; the name keeps it
            const int n = int(random.bounded(12));
            for (int k = 0; k < n; ++k)
                bytes += random.bounded(4) == 0 ? QByteArray(1, char(random.bounded(256)))
                                                : QByteArray(pieces[random.bounded(int(std::size(pieces)))]);
            const QString shown = QString::fromUtf8(bytes);
            const std::string_view name(bytes.constData(), std::size_t(bytes.size()));
            decodeUtf8(name, decoded);
            QVERIFY2(u16(shown) == decoded, bytes.toHex().constData());
            QVERIFY2(utf16Length(name) == std::size_t(shown.size()), bytes.toHex().constData());
            // Written back after what the text already holds, as problems are.
            std::string encoded = "pre";
            appendUtf8(decoded, encoded);
            QVERIFY2(encoded == "pre" + shown.toUtf8().toStdString(), bytes.toHex().constData());
        }
    }

    // A name is turned down by its byte count alone only when no length it could have passes.
    void byteBoundsNeverTurnDownAPassingName()
    {
        QRandomGenerator random(7);
        const char pieces[][5] = {"a",    "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                  "\x80", "\xFF",     "\xE2\x82"};
        int turnedDown = 0;
        for (int round = 0; round < 5000; ++round) {
            QByteArray bytes;
            const int n = int(random.bounded(16));
            for (int k = 0; k < n; ++k)
                bytes += pieces[random.bounded(int(std::size(pieces)))];
            const std::size_t b = std::size_t(bytes.size());
            const std::size_t units = utf16Length(std::string_view(bytes.constData(), b));
            for (Comparison cmp : {Comparison::EqualTo, Comparison::GreaterThan, Comparison::LessThan}) {
                for (int length = -2; length <= int(b) + 2; ++length) {
                    const LengthCriterion c{cmp, qint16(length), LengthUnit::Name};
                    const bool possible = someLengthPasses(c, (b + 2) / 3, b);
                    QVERIFY2(possible || !lengthPasses(c, units),
                             qPrintable(QString("%1, comparison %2, length %3")
                                            .arg(QString::fromLatin1(bytes.toHex()))
                                            .arg(int(cmp))
                                            .arg(length)));
                    turnedDown += possible ? 0 : 1;
                }
            }
        }
        QVERIFY(turnedDown > 10000); // the bounds do turn names down
    }

    void liveCriteria_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<int>("combo");
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<bool>("passes");
        QTest::newRow("equal") << "10" << 0 << 10 << true;
        QTest::newRow("greater at the boundary") << "10" << 1 << 10 << false;
        QTest::newRow("greater") << "9" << 1 << 10 << true;
        QTest::newRow("less at the boundary") << "10" << 2 << 10 << false;
        QTest::newRow("-1 greater") << "-1" << 1 << 0 << true;
        QTest::newRow("-1 less") << "-1" << 2 << 0 << false;
        QTest::newRow("-32768 greater") << "-32768" << 1 << 1 << true;
        QTest::newRow("nothing selected") << "10" << -1 << 10 << false;
        QTest::newRow("length does not convert") << "" << 0 << 0 << false;
    }
    void liveCriteria()
    {
        QFETCH(QString, length);
        QFETCH(int, combo);
        QFETCH(int, nameLength);
        QFETCH(bool, passes);
        LiveCriteria c;
        c.set(parseLengthCriterion(length, comparisonAt(combo)));
        const auto s = c.load();
        QCOMPARE(s && lengthPasses(*s, std::size_t(nameLength)), passes);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("field");
        QTest::newRow("fine") << "5"
                              << "*[a-z]*"
                              << "";
        QTest::newRow("bracket in a substring is fine") << "5"
                                                        << "[abc"
                                                        << "";
        QTest::newRow("length") << "12a"
                                << ""
                                << "Length Of Filename";
        QTest::newRow("pattern") << "5"
                                 << "*[abc"
                                 << "Filter";
        QTest::newRow("length first") << ""
                                      << "*[abc"
                                      << "Length Of Filename";
    }
    void refusals()
    {
        QFETCH(QString, length);
        QFETCH(QString, filter);
        QFETCH(QString, field);
        const QString text = criteriaRefusal(length, filter);
        if (field.isEmpty())
            QVERIFY2(text.isEmpty(), qPrintable(text));
        else
            QVERIFY2(text.startsWith(field + ": "), qPrintable(text));
    }

    void normalizeSeparators_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("normalized");
        QTest::newRow("doubled inside") << "/data//old//x"
                                        << "/data/old/x";
        QTest::newRow("three become two") << "a///b"
                                          << "a//b";
        QTest::newRow("four become two") << "a////b"
                                         << "a//b";
        QTest::newRow("leading run becomes the root") << "//server/share"
                                                      << "/server/share";
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("only separators") << "///"
                                         << "/";
        QTest::newRow("closing separator kept") << "/data/"
                                                << "/data/";
        QTest::newRow("backslashes are name characters") << "/a\\\\b"
                                                         << "/a\\\\b";
        QTest::newRow("empty") << ""
                               << "";
    }
    void normalizeSeparators()
    {
        QFETCH(QString, path);
        QFETCH(QString, normalized);
        QCOMPARE(collapseSeparators(path), normalized);
    }

    void fileNameFromPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("folder") << "/data/old"
                                << "old";
        QTest::newRow("root") << "/"
                              << "";
        QTest::newRow("closing separator") << "/x/Samples/sample1/"
                                           << "";
        QTest::newRow("no separator") << "old"
                                      << "old";
        QTest::newRow("backslash is part of the name") << "/data/a\\b"
                                                       << "a\\b";
    }
    void fileNameFromPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(fileNameOf(path), name);
    }
};

LENTROVA_TEST_MAIN(TestNameTest)
#include "test_nametest.moc"
