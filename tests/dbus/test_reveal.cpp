// SPDX-License-Identifier: MIT
// Runs on a private session bus (see tests/CMakeLists.txt): it starts and stops its own fake file manager.
#include "support/testform.h"
#include "support/testmain.h"
#include "support/xdgopenstub.h"

#include "ui/resultlistview.h"
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QItemSelectionModel>
#include <QProcess>
#include <QPushButton>

#include <QTreeView>
#include <QUrl>

namespace {
const QString Service = QStringLiteral("org.freedesktop.FileManager1");

bool fileManagerRunning()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(Service).value();
}

// The fake file manager for as long as this lives.
class FakeFileManager
{
public:
    explicit FakeFileManager(const QStringList& extra = {})
    {
        m_record = m_dir.path() + QStringLiteral("/shown");
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(FAKE_FILE_MANAGER), QStringList{m_record} + extra);
    }
    ~FakeFileManager()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
        QTRY_VERIFY_WITH_TIMEOUT(!fileManagerRunning(), 5000);
    }
    QStringList shown() const
    {
        QFile f(m_record);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_dir;
    QString m_record;
    QProcess m_process;
};

void selectOnly(MainWindow* form, int row)
{
    const QModelIndex index = form->resultModel()->index(row, 0);
    form->resultList()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                     QItemSelectionModel::Rows);
}
} // namespace

class TestReveal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("LENTROVA_PRIVATE_BUS"))
            QSKIP("needs the private session bus that ctest starts (dbus-run-session)");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(!fileManagerRunning());
    }

    void withoutFileManagerTheFolderOpens()
    {
        XdgOpenStub stub;
        TestForm form;
        QTemporaryDir tree;
        const QString file = makeFile(tree.path(), "My Folder, 2/a b.txt");
        addResult(form.results(), makeFile(tree.path(), "first.txt"));
        addResult(form.results(), file);
        selectOnly(form.form.get(), 1);
        form->revealButton()->click();
        QTRY_COMPARE(stub.launches().size(), 1);
        const QString url = stub.launches().first();
        QVERIFY2(url.startsWith("file:///") && !url.contains(' '), qPrintable(url));
        QCOMPARE(QUrl(url).toLocalFile(), tree.path() + "/My Folder, 2");
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void fileManagerShowsTheFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "plain.txt";
        // The item travels as one URI: a comma or a blank cannot split it into other arguments.
        QTest::newRow("comma and blanks") << "Report, final /draft 1.txt";
        QTest::newRow("non-ASCII and #") << QString::fromUtf8("Caf\xC3\xA9 #3 \xF0\x9F\x98\x80.txt");
    }
    void fileManagerShowsTheFile()
    {
        QFETCH(QString, name);
        XdgOpenStub stub;
        FakeFileManager manager;
        QTRY_VERIFY(fileManagerRunning());
        TestForm form;
        QTemporaryDir tree;
        const QString file = makeFile(tree.path(), name);
        addResult(form.results(), makeFile(tree.path(), "other.txt"));
        addResult(form.results(), file);
        form.results().setChecked(0, true); // checks play no part
        selectOnly(form.form.get(), 1);
        form->revealButton()->click();
        QTRY_COMPARE(manager.shown().size(), 2);
        const QString uri = manager.shown().at(0);
        QVERIFY2(uri.startsWith("file:///") && !uri.contains(' ') && !uri.contains(','), qPrintable(uri));
        QCOMPARE(QUrl(uri).toLocalFile(), file);
        QCOMPARE(manager.shown().at(1), QStringLiteral("startup:"));
        QTest::qWait(200);
        QVERIFY(stub.launches().isEmpty());
        QVERIFY(form.dialogs.messages.isEmpty());
    }

    void nameThatIsNotUtf8ReachesTheFileManager()
    {
        FakeFileManager manager;
        QTRY_VERIFY(fileManagerRunning());
        TestForm form;
        form.results().appendRow("/tmp/bad\xFFname.txt", 12);
        selectOnly(form.form.get(), 0);
        form->revealButton()->click();
        QTRY_COMPARE(manager.shown().size(), 2);
        QCOMPARE(manager.shown().at(0), QStringLiteral("file:///tmp/bad%FFname.txt"));
    }

    void fileManagerThatFailsFallsBackToTheFolder()
    {
        XdgOpenStub stub;
        FakeFileManager manager({"--fail"});
        QTRY_VERIFY(fileManagerRunning());
        TestForm form;
        QTemporaryDir tree;
        const QString file = makeFile(tree.path(), "sub/x.txt");
        addResult(form.results(), file);
        selectOnly(form.form.get(), 0);
        form->revealButton()->click();
        QTRY_COMPARE(manager.shown().size(), 2);
        QTRY_COMPARE(stub.launches().size(), 1);
        QCOMPARE(QUrl(stub.launches().first()).toLocalFile(), tree.path() + "/sub");
    }
};

LENTROVA_TEST_MAIN(TestReveal)
#include "test_reveal.moc"
