// SPDX-License-Identifier: MIT
#include "platform/nativepath.h"
#include "support/testmain.h"
#include "ui/dropurl.h"

#include <QSysInfo>
#include <QUrl>

class TestDropUrl : public QObject
{
    Q_OBJECT

private slots:
    // The row shows exactly the folder that is walked, and its last part is what the progress text names.
    void rowFromUrl_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("native");
        QTest::addColumn<QString>("progressName");
        QTest::newRow("plain") << QByteArray("file:///tmp/x") << true << "/tmp/x" << QByteArray("/tmp/x")
                               << "x";
        QTest::newRow("localhost") << QByteArray("file://localhost/tmp/x") << true << "/tmp/x"
                                   << QByteArray("/tmp/x") << "x";
        QTest::newRow("localhost in capitals")
            << QByteArray("file://LocalHost/tmp/x") << true << "/tmp/x" << QByteArray("/tmp/x") << "x";
        QTest::newRow("this machine's name") << ("file://" + QSysInfo::machineHostName().toUtf8() + "/tmp/x")
                                             << true << "/tmp/x" << QByteArray("/tmp/x") << "x";
        QTest::newRow("another host")
            << QByteArray("file://otherhost/tmp/x") << false << "" << QByteArray() << "";
        QTest::newRow("not a file") << QByteArray("https://quenlor.example.com/tmp/x") << false << ""
                                    << QByteArray() << "";
        QTest::newRow("closing separator")
            << QByteArray("file:///tmp/p3/") << true << "/tmp/p3" << QByteArray("/tmp/p3") << "p3";
        QTest::newRow("root keeps its separator")
            << QByteArray("file:///") << true << "/" << QByteArray("/") << "";
        QTest::newRow("doubled separators")
            << QByteArray("file:///tmp//p3//") << true << "/tmp/p3" << QByteArray("/tmp/p3") << "p3";
        QTest::newRow("escaped blank")
            << QByteArray("file:///tmp/a%20b/") << true << "/tmp/a b" << QByteArray("/tmp/a b") << "a b";
        QTest::newRow("backslash is a character")
            << QByteArray("file:///tmp/a%5Cb") << true << "/tmp/a\\b" << QByteArray("/tmp/a\\b") << "a\\b";
        QTest::newRow("not UTF-8") << QByteArray("file:///tmp/%FFname/") << true
                                   << QString::fromUtf8("/tmp/\xef\xbf\xbdname")
                                   << QByteArray("/tmp/\xffname") << QString::fromUtf8("\xef\xbf\xbdname");
        QTest::newRow("UTF-8") << QByteArray("file:///tmp/%C3%A9t%C3%A9") << true
                               << QString::fromUtf8("/tmp/été") << QByteArray("/tmp/\xc3\xa9t\xc3\xa9")
                               << QString::fromUtf8("été");
    }
    void rowFromUrl()
    {
        QFETCH(QByteArray, url);
        QFETCH(bool, added);
        QFETCH(QString, text);
        QFETCH(QByteArray, native);
        QFETCH(QString, progressName);
        const std::optional<DropFolderRow> row = folderRowFromDropUrl(QUrl::fromEncoded(url));
        QCOMPARE(row.has_value(), added);
        if (!row)
            return;
        QCOMPARE(row->text, text);
        QCOMPARE(row->native, native);
        QCOMPARE(fileNameOf(row->text), progressName);
    }
};

LENTROVA_TEST_MAIN(TestDropUrl)
#include "test_dropurl.moc"
