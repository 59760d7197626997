// SPDX-License-Identifier: MIT
#include "app/searchrun.h"
#include "search/lengthconv.h"
#include "support/testmain.h"

Q_DECLARE_METATYPE(std::optional<qint16>)

class TestLengthConvRounding : public QObject
{
    Q_OBJECT

private slots:
    void readsTheTextExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint16>>("expected");
        const std::optional<qint16> nothing;
        auto row = [](const char* name, const QString& text, std::optional<qint16> expected) {
            QTest::newRow(name) << text << expected;
        };
        row("whole", "12", 12);
        row("fraction", "4.6", 5);
        row("-1", "-1", -1);
        row("largest", "32767", 32767);
        row("smallest", "-32768", -32768);
        row("too large", "32768", nothing);
        row("half to even, down", "2.5", 2);
        row("half to even, up", "3.5", 4);
        row("negative half", "-2.5", -2);
        row("zero point five", "0.5", 0);
        // Each of these is a double that lands exactly on a half, so the nearest double rounds the wrong way.
        row("just above a half (found by fuzzing)", "5534.500000000000000032767", 5535);
        row("just above a half, negative", "-2.50000000000000001", -3);
        row("just below a half", "3.49999999999999999999", 3);
        row("just below the top", "32767.49999999999999999", 32767);
        row("just beyond the bottom", "-32768.50000000000000001", nothing);
        row("top half rounds out of range", "32767.5", nothing);
        row("bottom half stays", "-32768.5", -32768);
        row("exponent", "25e-1", 2);
        row("whole exponent", "1e2", 100);
        row("exponent above a half", "2.5000000000000000001e0", 3);
        row("huge exponent", "1e400", nothing);
        row("tiny exponent", "1e-400", 0);
        row("zero with a huge exponent", "0e999999999999999999", 0);
        row("no length limit", "1." + QString(500, u'0'), 1);
        row("blanks around", " \t 12 \t", 12);
        row("blanks", " 12 ", 12);
        row("trailing point", "5.", 5);
        row("leading point", ".5e1", 5);
        row("empty", "", nothing);
        row("comma", "1,5", nothing);
        row("letters after", "12abc", nothing);
        row("12a", "12a", nothing);
        row("letters", "abc", nothing);
    }
    void readsTheTextExactly()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<qint16>, expected);
        QCOMPARE(convertToInt16(text), expected);
        // Start refuses exactly the lengths that do not convert.
        QCOMPARE(criteriaRefusal(text, QString()).isEmpty(), expected.has_value());
    }
};

LENTROVA_TEST_MAIN(TestLengthConvRounding)
#include "test_lengthconv_rounding.moc"
