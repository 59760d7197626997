// SPDX-License-Identifier: MIT
#include "support/filetree.h"
#include "support/targettree.h"
#include "support/testmain.h"
#include "target/collisions.h"
#include "target/targetcheck.h"
#include "target/targetpath.h"

using TargetTree::repeated;

namespace {

constexpr qint64 GiB = qint64(1) << 30;
const QByteArray Emoji = "\xF0\x9F\x98\x80"; // 2 UTF-16 units, 4 bytes
const QByteArray EAcute = "\xC3\xA9";        // 1 unit, 2 bytes
const QByteArray CafeNfc = "caf\xC3\xA9";
const QByteArray CafeNfd = "cafe\xCC\x81";

QStringList collisionTexts(const std::vector<IndexedProblem>& problems)
{
    QStringList out;
    for (const IndexedProblem& found : problems)
        out << QString::number(found.index) + QStringLiteral(" ") +
                   TargetTree::texts({found.problem}).first();
    return out;
}

QString utf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

} // namespace

class TestTargetRules : public QObject
{
    Q_OBJECT

private slots:
    void profilesByKey()
    {
        QStringList keys;
        for (const TargetProfile& profile : targetProfiles()) {
            keys << profile.key;
            QVERIFY(!profile.title.isEmpty() && !profile.description.isEmpty());
            QCOMPARE(targetProfile(profile.key), &profile);
        }
        QCOMPARE(keys, QStringList({"windows", "exfat", "fat32", "onedrive", "macos", "ecryptfs", "linux"}));
        QCOMPARE(targetProfile(u"ntfs"), nullptr);
    }

    void ruleKeysRoundTrip()
    {
        QSet<QString> keys;
        QSet<QString> titles;
        for (int i = 0; i < TargetRuleCount; ++i) {
            const auto rule = TargetRule(i);
            TargetRule back = TargetRule::Unreadable;
            QVERIFY(ruleFromKey(ruleKey(rule), &back));
            QCOMPARE(back, rule);
            keys.insert(ruleKey(rule));
            titles.insert(ruleTitle(rule));
        }
        QCOMPARE(keys.size(), TargetRuleCount);
        QCOMPARE(titles.size(), TargetRuleCount);
        TargetRule unused;
        QVERIFY(!ruleFromKey(u"forbidden characters", &unused));
        QCOMPARE(ruleKey(TargetRule::ForbiddenCharacter), "forbidden-character");
        QCOMPARE(ruleKey(TargetRule::NotUtf8), "not-utf8");
    }

    void checkName_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("pathLength");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char* label, const char* profile, const QByteArray& name,
                            const QStringList& expected, qint64 size = 0, qint64 pathLength = 0,
                            bool folder = false) {
            QTest::newRow(label) << QString::fromLatin1(profile) << name << folder << size << pathLength
                                 << expected;
        };
        row("plain", "windows", "plain.txt", {});
        row("forbidden at its place", "windows", "Report 2024-01:02", {"forbidden-character: \":\" at 15"});
        row("each forbidden one", "windows", "a:b?c",
            {"forbidden-character: \":\" at 2", "forbidden-character: \"?\" at 4"});
        row("backslash", "exfat", "back\\slash", {"forbidden-character: \"\\\" at 5"});
        row("colon on a Mac", "macos", "a:b*c", {"forbidden-character: \":\" at 2"});
        row("Linux takes any", "linux", "a:b*c\x01", {});
        row("position past an emoji", "windows", Emoji + ":", {"forbidden-character: \":\" at 3"});
        row("position past a byte not UTF-8", "linux", "\xFF:", {});
        row("control character", "windows", "bell\x07x",
            {"control-character: control character U+0007 at 5"});
        row("tab", "onedrive", "a\tb", {"control-character: control character U+0009 at 2"});
        row("delete on NTFS", "windows", "del\x7F", {});
        row("delete on FAT", "fat32", "del\x7F", {"control-character: control character U+007F at 4"});
        row("reserved", "windows", "CON", {"reserved-name: reserved name \"CON\""});
        row("reserved, any case, extension", "windows", "con.txt", {"reserved-name: reserved name \"con\""});
        row("reserved, two extensions", "exfat", "NUL.tar.gz", {"reserved-name: reserved name \"NUL\""});
        row("reserved port", "onedrive", "COM1.log", {"reserved-name: reserved name \"COM1\""});
        row("reserved port 0", "windows", "lpt0", {"reserved-name: reserved name \"lpt0\""});
        row("superscript port", "windows", "COM\xC2\xB9", {"reserved-name: reserved name \"COM\xC2\xB9\""});
        row("superscript three", "fat32", "LPT\xC2\xB3.txt",
            {"reserved-name: reserved name \"LPT\xC2\xB3\""});
        row("port 10 is a name", "windows", "COM10", {});
        row("longer stem is a name", "windows", "CONSOLE.txt", {});
        row("inside a name", "windows", "icon.txt", {});
        row("reserved nowhere else", "macos", "CON", {});
        row("trailing period", "windows", "trail.", {"trailing-period: ends with a period"});
        row("trailing space", "exfat", "trail ", {"trailing-space: ends with a space"});
        row("leading space on Windows", "windows", " lead", {});
        row("leading space on OneDrive", "onedrive", " lead", {"leading-space: starts with a space"});
        row("both ends", "onedrive", " both ",
            {"trailing-space: ends with a space", "leading-space: starts with a space"});
        row("trailing period on Linux", "linux", "trail.", {});
        row("lock file", "onedrive", ".lock", {"own-name: name used by OneDrive \".lock\""});
        row("desktop.ini any case", "onedrive", "Desktop.INI",
            {"own-name: name used by OneDrive \"desktop.ini\""});
        row("Office owner file", "onedrive", "~$report.docx", {"own-name: name used by OneDrive \"~$\""});
        row("vti anywhere", "onedrive", "a_vti_b", {"own-name: name used by OneDrive \"_vti_\""});
        row("lock file elsewhere", "windows", ".lock", {});
        row("longer than .lock", "onedrive", "x.lock", {});
        row("not UTF-8 on Windows", "windows", "bad\xFF", {"not-utf8: not valid UTF-8"});
        row("encoded surrogate", "exfat", "sur\xED\xA0\x80", {"not-utf8: not valid UTF-8"});
        row("overlong slash", "macos", "a\xC0\xAF", {"not-utf8: not valid UTF-8"});
        row("not UTF-8 on Linux", "linux", "bad\xFF", {});
        row("127 emoji", "exfat", repeated(Emoji, 127), {});
        row("128 emoji", "exfat", repeated(Emoji, 128), {"name-too-long: name 256 characters, limit 255"});
        row("255 e-acute on NTFS", "windows", repeated(EAcute, 255), {});
        row("255 e-acute on ext4", "linux", repeated(EAcute, 255),
            {"name-too-long: name 510 bytes, limit 255"});
        row("127 emoji on ext4", "linux", repeated(Emoji, 127), {"name-too-long: name 508 bytes, limit 255"});
        row("143 bytes encrypted", "ecryptfs", repeated("a", 143), {});
        row("144 bytes encrypted", "ecryptfs", repeated(EAcute, 72),
            {"name-too-long: name 144 bytes, limit 143"});
        row("256 bytes not UTF-8 in units", "windows", repeated("\xFF", 256),
            {"not-utf8: not valid UTF-8", "name-too-long: name 256 characters, limit 255"});
        row("path at the limit", "onedrive", "f", {}, 0, 400);
        row("path over", "onedrive", "f", {"path-too-long: path 412 characters at the target, limit 400"}, 0,
            412);
        row("MAX_PATH", "windows", "f", {"path-too-long: path 260 characters at the target, limit 259"}, 0,
            260);
        row("PATH_MAX", "linux", "f", {"path-too-long: path 4096 bytes at the target, limit 4095"}, 0, 4096);
        row("no path limit", "exfat", "f", {}, 0, 100000);
        row("large file on FAT32", "fat32", "big.iso", {"file-too-large: file 5.2 GB, limit 4 GB"},
            qint64(5.2 * GiB));
        row("4 GiB on FAT32", "fat32", "big.iso",
            {"file-too-large: file 4,294,967,296 bytes, limit 4,294,967,295 bytes"}, 4 * GiB);
        row("4 GiB less a byte", "fat32", "big.iso", {}, 4 * GiB - 1);
        row("large file on exFAT", "exfat", "big.iso", {}, 5 * GiB);
        row("folders have no size limit", "fat32", "big", {}, 5 * GiB, 0, true);
        row("OneDrive file", "onedrive", "huge.vhdx", {"file-too-large: file 300 GB, limit 250 GB"},
            300 * GiB);
        row("several at once", "windows", "CON. ",
            {"reserved-name: reserved name \"CON\"", "trailing-space: ends with a space"});
        row("all of them", "onedrive", " a_vti_:\x01.",
            {"forbidden-character: \":\" at 8", "control-character: control character U+0001 at 9",
             "trailing-period: ends with a period", "leading-space: starts with a space",
             "own-name: name used by OneDrive \"_vti_\""});
    }
    void checkName()
    {
        QFETCH(QString, profile);
        QFETCH(QByteArray, name);
        QFETCH(bool, folder);
        QFETCH(qint64, size);
        QFETCH(qint64, pathLength);
        QFETCH(QStringList, expected);
        const TargetItem item{name, folder, size, pathLength};
        QCOMPARE(TargetTree::texts(::checkName(*targetProfile(profile), TargetRuleSet::all(), item)),
                 expected);
    }

    // The quick screen ahead of checkName may let a name through only where checkName finds nothing, for
    // every profile and every kind of name the rules look at.
    void quickScreenNeverHidesAProblem_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("pathLength");
        const QList<QByteArray> names = {"plain.txt",
                                         "a:b",
                                         "star*",
                                         "back\\slash",
                                         "q?",
                                         "CON",
                                         "con.txt",
                                         "Com1.log",
                                         "LPT9",
                                         "comx",
                                         "nul.",
                                         "ends.",
                                         "ends ",
                                         " starts",
                                         "desktop.ini",
                                         ".lock",
                                         "~$draft.docx",
                                         "x_vti_y",
                                         "tab\there",
                                         "del\x7f",
                                         repeated("a", 256),
                                         repeated("a", 144),
                                         "caf\xC3\xA9",
                                         "bad\xFFname",
                                         "README",
                                         "aux",
                                         "COM\xC2\xB9.log",
                                         "lpt\xC2\xB3",
                                         "COM\xC2\xB4",
                                         "nUl.tar.gz",
                                         "COM0",
                                         "abc",
                                         "abcd.txt",
                                         "prnx",
                                         "aux1",
                                         "LPT\xC2"};
        for (const QByteArray& name : names) {
            const QString title = QString::fromLatin1(name.left(12).toPercentEncoding());
            for (const bool folder : {false, true}) {
                QTest::newRow(qPrintable(title + (folder ? "/" : "")))
                    << name << folder << 5 * GiB << qint64(name.size() + 300);
                // Within every limit, so that the screen's own tests of the name decide.
                QTest::newRow(qPrintable(title + (folder ? "/" : "") + " small"))
                    << name << folder << qint64(10) << qint64(name.size() + 10);
            }
        }
    }
    void quickScreenNeverHidesAProblem()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, folder);
        QFETCH(qint64, size);
        QFETCH(qint64, pathLength);
        for (const TargetProfile& profile : targetProfiles()) {
            const std::string_view view(name.constData(), std::size_t(name.size()));
            if (!surelyBreaksNothing(profile, TargetRuleSet::all(), view, folder, size, pathLength))
                continue;
            const std::vector<TargetProblem> found =
                ::checkName(profile, TargetRuleSet::all(), {name, folder, size, pathLength});
            QVERIFY2(found.empty(),
                     qPrintable(profile.key + QStringLiteral(": ") + TargetTree::texts(found).join("; ")));
        }
    }

    void rulesSwitchedOff_data()
    {
        QTest::addColumn<QString>("off");
        QTest::addColumn<QStringList>("expected");
        // " a:\x01." on OneDrive breaks four rules.
        const QStringList all = {"forbidden-character: \":\" at 3",
                                 "control-character: control character U+0001 at 4",
                                 "trailing-period: ends with a period", "leading-space: starts with a space"};
        QTest::newRow("none") << QString() << all;
        QTest::newRow("forbidden characters") << "forbidden-character" << all.mid(1);
        QTest::newRow("leading space") << "leading-space" << all.mid(0, 3);
        QTest::newRow("trailing period") << "trailing-period" << (all.mid(0, 2) << all[3]);
    }
    void rulesSwitchedOff()
    {
        QFETCH(QString, off);
        QFETCH(QStringList, expected);
        TargetRuleSet rules;
        TargetRule rule;
        if (ruleFromKey(off, &rule))
            rules.set(rule, false);
        const TargetItem item{" a:\x01.", false, 0, 0};
        QCOMPARE(TargetTree::texts(::checkName(*targetProfile(u"onedrive"), rules, item)), expected);
        QVERIFY(::checkName(*targetProfile(u"onedrive"), TargetRuleSet::none(), item).empty());
    }

    void unreadable()
    {
        QCOMPARE(TargetTree::texts({unreadableProblem(QStringLiteral("Permission denied"))}),
                 QStringList{"unreadable: cannot be read: Permission denied"});
    }

    void collisions_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("case pair") << "windows" << QList<QByteArray>{"README", "Readme"}
                                   << QStringList{"0 case-collision: same name as \"Readme\" except case",
                                                  "1 case-collision: same name as \"README\" except case"};
        QTest::newRow("case pair among others")
            << "exfat" << QList<QByteArray>{"a", "Sub", "b", "sub", "c"}
            << QStringList{"1 case-collision: same name as \"sub\" except case",
                           "3 case-collision: same name as \"Sub\" except case"};
        QTest::newRow("case kept apart") << "linux" << QList<QByteArray>{"README", "Readme"} << QStringList{};
        QTest::newRow("beyond ASCII") << "exfat" << QList<QByteArray>{"\xC3\x84RGER", "\xC3\xA4rger"}
                                      << QStringList{"0 case-collision: same name as \"ärger\" except case",
                                                     "1 case-collision: same name as \"ÄRGER\" except case"};
        QTest::newRow("three sigmas") << "exfat" << QList<QByteArray>{"\xCF\x83", "\xCF\x82", "\xCE\xA3"}
                                      << QStringList{"0 case-collision: same name as \"ς\" except case",
                                                     "1 case-collision: same name as \"σ\" except case",
                                                     "2 case-collision: same name as \"σ\" except case"};
        QTest::newRow("two groups") << "fat32" << QList<QByteArray>{"A", "b", "a", "B"}
                                    << QStringList{"0 case-collision: same name as \"a\" except case",
                                                   "1 case-collision: same name as \"B\" except case",
                                                   "2 case-collision: same name as \"A\" except case",
                                                   "3 case-collision: same name as \"b\" except case"};
        QTest::newRow("forms kept apart by NTFS")
            << "windows" << QList<QByteArray>{CafeNfc, CafeNfd} << QStringList{};
        QTest::newRow("forms on a Mac")
            << "macos" << QList<QByteArray>{CafeNfc, CafeNfd}
            << QStringList{"0 form-collision: same name as \"" + utf8(CafeNfd) + "\" except Unicode form",
                           "1 form-collision: same name as \"" + utf8(CafeNfc) + "\" except Unicode form"};
        QTest::newRow("case and form: case")
            << "macos" << QList<QByteArray>{"CAF\xC3\x89", CafeNfd}
            << QStringList{"0 case-collision: same name as \"" + utf8(CafeNfd) + "\" except case",
                           "1 case-collision: same name as \"CAFÉ\" except case"};
        QTest::newRow("three on a Mac, each its way")
            << "macos" << QList<QByteArray>{CafeNfc, "CAFE\xCC\x81", CafeNfd}
            << QStringList{"0 case-collision: same name as \"" + utf8("CAFE\xCC\x81") + "\" except case",
                           "1 case-collision: same name as \"café\" except case",
                           "2 form-collision: same name as \"café\" except Unicode form"};
        QTest::newRow("not UTF-8 left to its own rule")
            << "windows" << QList<QByteArray>{"A\xFF", "a\xFF", "a\xFE"} << QStringList{};
        QTest::newRow("Kelvin sign folds to k")
            << "windows" << QList<QByteArray>{"k", "\xE2\x84\xAA"}
            << QStringList{"0 case-collision: same name as \"\u212A\" except case",
                           "1 case-collision: same name as \"k\" except case"};
    }
    void collisions()
    {
        QFETCH(QString, profile);
        QFETCH(QList<QByteArray>, names);
        QFETCH(QStringList, expected);
        NameCollisions collisions(*targetProfile(profile), TargetRuleSet::all());
        // A folder checked before must not leak into the next one.
        collisions.add(0, names.first() + "x");
        collisions.add(1, names.first().toLower() + "X");
        collisions.clear();
        for (int i = 0; i < names.size(); ++i)
            collisions.add(i, names[i]);
        QCOMPARE(collisionTexts(collisions.problems()), expected);
    }

    void collisionRulesSwitchedOff()
    {
        TargetRuleSet noCase;
        noCase.set(TargetRule::CaseCollision, false);
        NameCollisions forms(*targetProfile(u"macos"), noCase);
        for (const QByteArray& name : {QByteArray("README"), QByteArray("Readme"), CafeNfc, CafeNfd})
            forms.add(int(name.size()), name);
        QCOMPARE(
            collisionTexts(forms.problems()),
            QStringList({"5 form-collision: same name as \"" + utf8(CafeNfd) + "\" except Unicode form",
                         "6 form-collision: same name as \"" + utf8(CafeNfc) + "\" except Unicode form"}));
        NameCollisions none(*targetProfile(u"windows"), noCase);
        QVERIFY(!none.active());
    }

    // A folder of 100,000 names with 500 case pairs among them: found all, each member once.
    void hundredThousandNames()
    {
        NameCollisions collisions(*targetProfile(u"windows"), TargetRuleSet::all());
        int index = 0;
        for (int i = 0; i < 99500; ++i)
            collisions.add(index++, "file-" + QByteArray::number(i) + ".txt");
        for (int i = 0; i < 99500; i += 199)
            collisions.add(index++, "FILE-" + QByteArray::number(i) + ".TXT");
        QCOMPARE(index, 100000);
        const std::vector<IndexedProblem> problems = collisions.problems();
        QCOMPARE(problems.size(), std::size_t(1000));
        QCOMPARE(collisionTexts({problems[0]}).first(),
                 "0 case-collision: same name as \"FILE-0.TXT\" except case");
        QCOMPARE(collisionTexts({problems[1]}).first(),
                 "199 case-collision: same name as \"FILE-199.TXT\" except case");
        QCOMPARE(collisionTexts({problems.back()}).first(),
                 "99999 case-collision: same name as \"file-99301.txt\" except case");
    }

    void targetPath_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("targetFolder");
        QTest::addColumn<QByteArray>("below");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("OneDrive folder")
            << "onedrive" << QByteArray("C:\\Users\\me\\OneDrive - Contoso\\Documents")
            << QByteArray("sub/file.txt") << qint64(53)
            << "C:\\Users\\me\\OneDrive - Contoso\\Documents\\sub\\file.txt";
        QTest::newRow("drive root") << "windows" << QByteArray("C:\\") << QByteArray("a.txt") << qint64(8)
                                    << "C:\\a.txt";
        QTest::newRow("Windows folder written with slashes")
            << "windows" << QByteArray("C:/Users/") << QByteArray("a") << qint64(10) << "C:/Users/a";
        QTest::newRow("Windows counts units") << "windows" << QByteArray("D:\\" + Emoji)
                                              << QByteArray("\xC3\xA9") << qint64(7) << "D:\\\U0001F600\\é";
        QTest::newRow("stick in units") << "exfat" << QByteArray("/media/stick/") << "\xC3\xA9" + Emoji
                                        << qint64(16) << "/media/stick/é\U0001F600";
        QTest::newRow("Linux in bytes") << "linux" << QByteArray("/media/disk") << QByteArray("d\xC3\xA9/f")
                                        << qint64(17) << "/media/disk/dé/f";
        QTest::newRow("root") << "linux" << QByteArray("/") << QByteArray("a") << qint64(2) << "/a";
        QTest::newRow("backslash is a name's on Linux")
            << "linux" << QByteArray("/mnt/back\\") << QByteArray("a") << qint64(12) << "/mnt/back\\/a";
        QTest::newRow("Windows share mounted here")
            << "windows" << QByteArray("/mnt/share") << QByteArray("sub/a") << qint64(16)
            << "/mnt/share/sub/a";
        QTest::newRow("no target folder")
            << "linux" << QByteArray() << QByteArray("sub/a") << qint64(5) << "sub/a";
        QTest::newRow("no target folder, Windows")
            << "windows" << QByteArray() << QByteArray("sub/a") << qint64(5) << "sub\\a";
        QTest::newRow("not UTF-8 below, units")
            << "exfat" << QByteArray("/mnt") << QByteArray("bad\xFF/x") << qint64(11) << "/mnt/bad\uFFFD/x";
        QTest::newRow("not UTF-8 below, bytes")
            << "ecryptfs" << QByteArray("/home/me") << QByteArray("\xFF\xFE") << qint64(11)
            << "/home/me/\uFFFD\uFFFD";
        QTest::newRow("not UTF-8 target folder")
            << "exfat" << QByteArray("/mnt/\xFF") << QByteArray("a") << qint64(8) << "/mnt/\uFFFD/a";
    }
    void targetPath()
    {
        QFETCH(QString, profile);
        QFETCH(QByteArray, targetFolder);
        QFETCH(QByteArray, below);
        QFETCH(qint64, length);
        QFETCH(QString, text);
        const TargetPath at(*targetProfile(profile), targetFolder);
        QCOMPARE(at.lengthOf(below), length);
        QCOMPARE(at.textOf(below), text);
    }

    // Two folders fed one after the other, as a walk lists them.
    void folderCheck()
    {
        TargetFolderCheck check(*targetProfile(u"windows"), TargetRuleSet::all(), "C:\\T");
        check.beginFolder("sub");
        for (const QByteArray& name :
             {QByteArray("CON"), QByteArray("ok"), QByteArray("con"), repeated("a", 250), repeated("b", 251)})
            check.add(name, false, 0);
        // "C:\T\sub\" is 9 units: 250 more reach 259.
        QCOMPARE(collisionTexts(check.finishFolder()),
                 QStringList({"0 reserved-name: reserved name \"CON\"",
                              "0 case-collision: same name as \"con\" except case",
                              "2 reserved-name: reserved name \"con\"",
                              "2 case-collision: same name as \"CON\" except case",
                              "4 path-too-long: path 260 characters at the target, limit 259"}));
        check.beginFolder("");
        QCOMPARE(check.add("Con", true, 0), 0);
        QCOMPARE(check.add("a:b", false, 0), 1);
        QCOMPARE(collisionTexts(check.finishFolder()), QStringList({"0 reserved-name: reserved name \"Con\"",
                                                                    "1 forbidden-character: \":\" at 2"}));
    }

    void ruleSetFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << ""
                               << "all"
                               << "";
        QTest::newRow("all") << " all "
                             << "all"
                             << "";
        QTest::newRow("none") << "none"
                              << "none"
                              << "";
        QTest::newRow("some on") << "name-too-long, forbidden-character"
                                 << "forbidden-character,name-too-long"
                                 << "";
        QTest::newRow("some off")
            << "-case-collision,-form-collision,-path-too-long,-unreadable"
            << "forbidden-character,control-character,reserved-name,trailing-period,"
               "trailing-space,leading-space,own-name,not-utf8,name-too-long,file-too-large"
            << "";
        QTest::newRow("no such rule") << "name-too-long,colons"
                                      << "all"
                                      << "no such rule: colons";
        QTest::newRow("title is no key") << "names too long"
                                         << "all"
                                         << "no such rule: names too long";
        QTest::newRow("mixed") << "not-utf8,-own-name"
                               << "all"
                               << "rules to switch on and off cannot be mixed: -own-name";
    }
    void ruleSetFromText()
    {
        QFETCH(QString, text);
        QFETCH(QString, rules);
        QFETCH(QString, error);
        QString why;
        const TargetRuleSet set = ::ruleSetFromText(text, &why);
        QCOMPARE(why, error);
        QCOMPARE(ruleSetText(set), rules);
        if (error.isEmpty()) {
            QCOMPARE(::ruleSetFromText(ruleSetText(set), &why), set);
        }
    }

    void summary()
    {
        TargetSummary summary;
        QCOMPARE(summary.text(), "no problems");
        summary.addItem({{TargetRule::ForbiddenCharacter, "\":\" at 2"},
                         {TargetRule::ForbiddenCharacter, "\"?\" at 4"},
                         {TargetRule::TrailingSpace, "ends with a space"}});
        summary.addItem({{TargetRule::ForbiddenCharacter, "\"|\" at 1"}});
        summary.add(TargetRule::Unreadable, 3);
        QCOMPARE(summary.text(),
                 "forbidden characters: 2, names ending with a space: 1, unreadable items: 3");
        QCOMPARE(summary.total(), 6);
    }

    void fileSystemKeys_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QString>("profile");
        QTest::newRow("vfat") << QByteArray("vfat") << "fat32";
        QTest::newRow("kernel exfat") << QByteArray("exfat") << "exfat";
        QTest::newRow("ntfs3") << QByteArray("ntfs3") << "windows";
        QTest::newRow("old ntfs") << QByteArray("ntfs") << "windows";
        QTest::newRow("cifs") << QByteArray("cifs") << "windows";
        QTest::newRow("smb3") << QByteArray("smb3") << "windows";
        QTest::newRow("ecryptfs") << QByteArray("ecryptfs") << "ecryptfs";
        QTest::newRow("sshfs") << QByteArray("fuse.sshfs") << "linux";
        QTest::newRow("ext4") << QByteArray("ext4") << "linux";
        QTest::newRow("unread fuseblk") << QByteArray("fuseblk") << "linux";
    }
    void fileSystemKeys()
    {
        QFETCH(QByteArray, type);
        QFETCH(QString, profile);
        QCOMPARE(profileKeyForFileSystem(type), profile);
    }

    // Boot sectors as the formatting tools write them, cut to what is read.
    void bootSectors_data()
    {
        QTest::addColumn<QByteArray>("sector");
        QTest::addColumn<QByteArray>("type");
        QByteArray blank(512, '\0');
        QTest::newRow("exFAT") << QByteArray(blank).replace(3, 8, "EXFAT   ") << QByteArray("exfat");
        QTest::newRow("NTFS") << QByteArray(blank).replace(3, 8, "NTFS    ") << QByteArray("ntfs");
        QTest::newRow("FAT32") << QByteArray(blank).replace(3, 8, "mkfs.fat").replace(82, 8, "FAT32   ")
                               << QByteArray("vfat");
        QTest::newRow("FAT16") << QByteArray(blank).replace(3, 8, "MSDOS5.0").replace(54, 8, "FAT16   ")
                               << QByteArray("vfat");
        QTest::newRow("ext4") << QByteArray(blank) << QByteArray();
        QTest::newRow("fifo") << QByteArray() << QByteArray();
        QTest::newRow("short") << QByteArray("\xEB\x76\x90"
                                             "EXFAT   ")
                               << QByteArray();
    }
    void bootSectors()
    {
        QFETCH(QByteArray, sector);
        QFETCH(QByteArray, type);
        ScratchDir dir;
        // An empty sector stands for a fifo named as a source: opening it would wait for a writer forever.
        if (sector.isEmpty())
            QCOMPARE(::mkfifo((dir.path() + "/image").constData(), 0644), 0);
        else
            QVERIFY(FileTree::write(dir.path() + "/image", sector));
        QCOMPARE(fileSystemOfDevice(dir.path() + "/image"), type);
    }

    void autoProfileNeedsAFolder()
    {
        ScratchDir dir;
        QCOMPARE(autoProfileForFolder(dir.path() + "/missing").error,
                 "folder not found: No such file or directory");
        QVERIFY(FileTree::write(dir.path() + "/file", "x"));
        QCOMPARE(autoProfileForFolder(dir.path() + "/file").error, "folder not found: Not a directory");
        const AutoProfile found = autoProfileForFolder(dir.path() + "/./");
        QCOMPARE(found.error, QString());
        QCOMPARE(found.targetFolder, dir.path());
        QVERIFY(!found.key.isEmpty());
    }
};

LENTROVA_TEST_MAIN(TestTargetRules)
#include "test_targetrules.moc"
