// SPDX-License-Identifier: MIT
// The rules against the real file systems: a tree of hostile names is copied item by item onto exFAT
// (exfat-fuse on a loop device) and NTFS (ntfs-3g with windows_names), and what the copy refused, lost or
// wrote over is compared with what the matching profile flags.
#include "support/diskmount.h"
#include "support/targettree.h"
#include "support/testmain.h"
#include "target/targetpath.h"

#include <algorithm>

Q_DECLARE_METATYPE(DiskMount::Kind)

namespace {

// Where a profile is stricter than the file system that stands in for it, on purpose: a name flagged for
// these reasons may copy fine here. An empty name stands for every name; each row says why above it.
struct Stricter
{
    const char* profile;
    TargetRule rule;
    QByteArray name;
};

const std::vector<Stricter> StricterThanTheFileSystem = {
    // Explorer and many programs stop at 260 units; NTFS takes 32,767.
    {"windows", TargetRule::PathTooLong, {}},
    // ntfs-3g keeps both in the POSIX namespace, which Windows cannot open apart.
    {"windows", TargetRule::CaseCollision, {}},
    // Windows reserves these; ntfs-3g knows COM1 to COM9 and LPT1 to LPT9 only.
    {"windows", TargetRule::ReservedName, "COM0"},
    {"windows", TargetRule::ReservedName, "COM\xC2\xB9"},
    {"windows", TargetRule::ReservedName, "LPT\xC2\xB3.txt"},
    // ntfs-3g stores an encoded surrogate as the lone UTF-16 unit, which most Windows programs cannot handle.
    {"windows", TargetRule::NotUtf8, "sur\xED\xA0\x80"},
    // exFAT takes these; Windows, where most sticks are read, cannot open them.
    {"exfat", TargetRule::ReservedName, {}},
    {"exfat", TargetRule::TrailingPeriod, {}},
    {"exfat", TargetRule::TrailingSpace, {}},
    // Case folding takes the Kelvin sign for "k"; exFAT's up-case table keeps them apart.
    // As on exFAT, and fusefat takes them too.
    {"fat32", TargetRule::ReservedName, {}},
    {"fat32", TargetRule::TrailingPeriod, {}},
    {"fat32", TargetRule::TrailingSpace, {}},
    {"exfat", TargetRule::CaseCollision, "k"},
    {"exfat", TargetRule::CaseCollision, "\xE2\x84\xAA"},
};

bool stricterOnPurpose(const QString& profile, const QByteArray& path, const TargetProblem& problem)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    for (const Stricter& row : StricterThanTheFileSystem)
        if (profile == QLatin1StringView(row.profile) && problem.rule == row.rule &&
            (row.name.isEmpty() || row.name == name))
            return true;
    return false;
}

// The path for a message, cut where long.
QString shown(const QByteArray& path)
{
    const QString text = QString::fromUtf8(path.left(60).toPercentEncoding("/:?*\"<>|\\ ~$._-"));
    return path.size() > 60 ? text + QStringLiteral("... (%1 bytes)").arg(path.size()) : text;
}

} // namespace

class TestTargetCopy : public QObject
{
    Q_OBJECT

private slots:
    void copyMatchesTheProfile_data()
    {
        QTest::addColumn<DiskMount::Kind>("kind");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("withSurrogate");
        QTest::addColumn<bool>("asciiOnly");
        QTest::newRow("exFAT") << DiskMount::Kind::Exfat << "exfat" << false << false;
        QTest::newRow("NTFS") << DiskMount::Kind::Ntfs << "windows" << true << false;
        // fusefat refuses every name beyond ASCII, which FAT32 itself takes: its rows stand for the rest.
        QTest::newRow("FAT32") << DiskMount::Kind::Fat << "fat32" << false << true;
    }
    void copyMatchesTheProfile()
    {
        QFETCH(DiskMount::Kind, kind);
        QFETCH(QString, profile);
        QFETCH(bool, withSurrogate);
        QFETCH(bool, asciiOnly);
        DiskMount mount(kind);
        SKIP_UNLESS_MOUNTED(mount);
        std::vector<TargetTree::Entry> tree = TargetTree::hostileTree(withSurrogate);
        if (asciiOnly)
            std::erase_if(tree, [](const TargetTree::Entry& entry) {
                return std::any_of(entry.path.begin(), entry.path.end(), [](char c) { return c & 0x80; });
            });
        const QMap<QByteArray, QString> failures = TargetTree::copyAndCompare(mount.path(), tree);
        const QMap<QByteArray, std::vector<TargetProblem>> flags =
            TargetTree::flagged(*targetProfile(profile), TargetRuleSet::all(), mount.path(), tree);

        QStringList wrong;
        int boundByTheFileSystem = 0;
        for (const TargetTree::Entry& entry : tree) {
            const bool failed = failures.contains(entry.path);
            bool insideFlagged = false;
            for (const QByteArray& folder : TargetTree::ancestorsOf(entry.path))
                insideFlagged = insideFlagged || flags.contains(folder);
            if (failed && !flags.contains(entry.path) && !insideFlagged)
                wrong << QStringLiteral("%1: %2, not flagged").arg(shown(entry.path), failures[entry.path]);
            if (!flags.contains(entry.path))
                continue;
            QStringList binding;
            for (const TargetProblem& problem : flags[entry.path])
                if (!stricterOnPurpose(profile, entry.path, problem))
                    binding << ruleKey(problem.rule) + QStringLiteral(": ") + problem.detail;
            if (!binding.isEmpty()) {
                ++boundByTheFileSystem;
                if (!failed)
                    wrong << QStringLiteral("%1: copied, yet flagged %2")
                                 .arg(shown(entry.path), binding.join("; "));
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
        // The tree holds enough of each kind that a check flagging nothing, or a copy refusing nothing,
        // fails.
        QVERIFY2(failures.size() >= 20, qPrintable(QString::number(failures.size())));
        QVERIFY2(boundByTheFileSystem >= 20, qPrintable(QString::number(boundByTheFileSystem)));
    }

    void mountedFolderGetsItsProfile_data()
    {
        QTest::addColumn<DiskMount::Kind>("kind");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("exfat-fuse shows as fuseblk")
            << DiskMount::Kind::Exfat << "exfat" << QByteArray("exfat");
        QTest::newRow("ntfs-3g on an image shows as fuse")
            << DiskMount::Kind::Ntfs << "windows" << QByteArray("ntfs");
        QTest::newRow("fusefat") << DiskMount::Kind::Fat << "fat32" << QByteArray("fuse.fusefat");
        QTest::newRow("ext2") << DiskMount::Kind::Ext2 << "linux" << QByteArray("ext2");
        QTest::newRow("bindfs") << DiskMount::Kind::Bindfs << "linux" << QByteArray("fuse");
    }
    void mountedFolderGetsItsProfile()
    {
        QFETCH(DiskMount::Kind, kind);
        QFETCH(QString, profile);
        QFETCH(QByteArray, type);
        DiskMount mount(kind);
        SKIP_UNLESS_MOUNTED(mount);
        const AutoProfile found = autoProfileForFolder(mount.path() + "/");
        QCOMPARE(found.error, QString());
        QCOMPARE(found.key, profile);
        QCOMPARE(found.fileSystemType, type);
        QCOMPARE(found.targetFolder, mount.path());
    }
};

LENTROVA_TEST_MAIN(TestTargetCopy)
#include "test_targetcopy.moc"
