// SPDX-License-Identifier: MIT
#include "extras/samples.h"
#include "platform/files.h"
#include "support/filetree.h"
#include "support/testmain.h"

#include <QProcess>

#include <cstdio>
#include <unistd.h>

// Run from a copy of this program: prints what it finds of its own folder, one hex line each.
UNPRIVILEGED_STEP(installFolderProbe)
{
    Q_UNUSED(args);
    const QByteArray folder = installFolderNative();
    const ReadResult read = readFileNative(folder + "/x/o.cjs");
    const QByteArray skin = read.error.isEmpty() ? read.bytes : QByteArray("unreadable");
    std::printf("%s\n%s\n%s\n", folder.toHex().constData(), skin.toHex().constData(),
                sampleFolderRows(folder).value(0).toHex().constData());
    return 0;
}

class TestInstallFolder : public QObject
{
    Q_OBJECT

private slots:
    // A program installed in a folder whose name is not valid UTF-8 still finds its folder, its files and its
    // samples by their bytes.
    void folderNotUtf8()
    {
        ScratchDir scratch;
        const QByteArray folder = scratch.path() + "/inst\xff\xfe dir";
        QVERIFY(FileTree::makeFolder(folder));
        QVERIFY(FileTree::makeFolder(folder + "/x"));
        QVERIFY(FileTree::write(folder + "/x/o.cjs", "QWidget { color: red; }"));
        QVERIFY(FileTree::write(folder + "/probe", FileTree::read("/proc/self/exe"), 0755));
        // Started through a link with a plain name; the program's path is where the link points.
        const QByteArray link = scratch.path() + "/probe-link";
        QCOMPARE(::symlink((folder + "/probe").constData(), link.constData()), 0);

        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LENTROVA_UNPRIVILEGED_STEP"), QStringLiteral("installFolderProbe"));
        probe.setProcessEnvironment(env);
        probe.start(QString::fromUtf8(link), {});
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        const QList<QByteArray> lines = probe.readAllStandardOutput().split('\n');
        QVERIFY2(lines.size() >= 3, probe.readAllStandardError().constData());
        QCOMPARE(QByteArray::fromHex(lines[0]), folder);
        QCOMPARE(QByteArray::fromHex(lines[1]), QByteArray("QWidget { color: red; }"));
        QCOMPARE(QByteArray::fromHex(lines[2]), folder + "/Samples/sample1/");
    }
};

LENTROVA_TEST_MAIN(TestInstallFolder)
#include "test_installfolder.moc"
