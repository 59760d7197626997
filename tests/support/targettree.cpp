// SPDX-License-Identifier: MIT
#include "support/targettree.h"

#include "support/filetree.h"
#include "target/targetcheck.h"

#include <QHash>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TargetTree {

QByteArray repeated(const QByteArray& unit, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += unit;
    return out;
}

std::vector<Entry> hostileTree(bool withSurrogate)
{
    const QByteArray emoji = "\xF0\x9F\x98\x80"; // U+1F600: 2 UTF-16 units, 4 bytes
    const QByteArray eAcute = "\xC3\xA9";        // 1 unit, 2 bytes
    QList<QByteArray> files = {
        "plain.txt",
        "with space.txt",
        "\xC3\xBCn\xC3\xAF"
        "c\xC3\xB6"
        "d\xC3\xA9.txt",
        "del\x7F",
        // forbidden characters
        "colon:a",
        "ask?",
        "star*",
        "quote\"",
        "less<",
        "more>",
        "pipe|",
        "back\\slash",
        // control characters
        "bell\x07",
        "tab\tname",
        "new\nline",
        // reserved names, with and without an extension, and names that only look like them
        "CON",
        "con.txt",
        "NUL.tar.gz",
        "COM1.log",
        "lpt9",
        "aux",
        "COM0",
        "COM\xC2\xB9",
        "LPT\xC2\xB3.txt",
        "CONSOLE",
        "icon.txt",
        // periods and spaces at the ends
        "trail.",
        "trail ",
        " lead",
        "mid. dle",
        // OneDrive's own names: files like any other here
        ".lock",
        "desktop.ini",
        "~$report.docx",
        "x_vti_y",
        // long names: UTF-16 units against bytes
        repeated(emoji, 127),
        repeated(emoji, 128),
        repeated(eAcute, 255),
        repeated(eAcute, 256),
        repeated("a", 255),
        repeated("a", 256),
        // case pairs; the Kelvin sign folds to "k" and exFAT and NTFS keep it apart
        "README",
        "Readme",
        "\xC3\x84RGER",
        "\xC3\xA4rger",
        "\xCF\x83",
        "\xCF\x82",
        "\xCE\xA3",
        "k",
        "\xE2\x84\xAA",
        // NFC and NFD
        "caf\xC3\xA9",
        "cafe\xCC\x81",
        // not UTF-8
        "bad\xFF",
        // several rules at once
        "mix:CON?. ",
    };
    if (withSurrogate)
        files.append("sur\xED\xA0\x80");

    std::vector<Entry> entries;
    for (const QByteArray& name : files)
        entries.push_back({name, false, "file " + name});
    const auto folder = [&](const QByteArray& path) { entries.push_back({path, true, {}}); };
    const auto file = [&](const QByteArray& path) { entries.push_back({path, false, "file " + path}); };
    folder("empty");
    folder("sub");
    file("sub/a.txt");
    folder("SUB");
    file("SUB/b.txt");
    folder("a:b");
    file("a:b/inside.txt");
    folder("dot.");
    file("dot./inside.txt");
    // Folders whose children lie past 260 UTF-16 units but well within NTFS's own limit.
    QByteArray deep;
    for (int level = 0; level < 3; ++level) {
        deep += (deep.isEmpty() ? "" : "/") + repeated("d", 100);
        folder(deep);
    }
    file(deep + "/file.txt");
    folder("nest");
    folder("nest/Inner");
    folder("nest/INNER");
    file("nest/INNER/deeper.txt");
    return entries;
}

QList<QByteArray> ancestorsOf(const QByteArray& path)
{
    QList<QByteArray> ancestors;
    for (qsizetype at = path.lastIndexOf('/'); at > 0; at = path.lastIndexOf('/', at - 1))
        ancestors.append(path.left(at));
    return ancestors;
}

namespace {

QString copyOne(const QByteArray& top, const Entry& entry)
{
    const QByteArray path = top + '/' + entry.path;
    if (entry.folder)
        return ::mkdir(path.constData(), 0755) == 0 ? QString()
                                                    : QString::fromLocal8Bit(std::strerror(errno));
    // As cp does: a file of that name already there is written over.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const bool written =
        ::write(fd, entry.content.constData(), size_t(entry.content.size())) == entry.content.size();
    const int error = errno;
    ::close(fd);
    return written ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QMap<QByteArray, QString> copyAndCompare(const QByteArray& top, const std::vector<Entry>& entries)
{
    QMap<QByteArray, QString> failures;
    for (const Entry& entry : entries) {
        const QString error = copyOne(top, entry);
        if (!error.isEmpty())
            failures.insert(entry.path, error);
    }
    // What the tree puts in each folder, to tell a folder that took in another's children.
    QHash<QByteArray, QSet<QByteArray>> placed;
    for (const Entry& entry : entries) {
        const qsizetype slash = entry.path.lastIndexOf('/');
        placed[slash < 0 ? QByteArray() : entry.path.left(slash)].insert(entry.path.mid(slash + 1));
    }
    // Each folder listed once; an entry is there only where every part of its path is, byte for byte.
    QHash<QByteArray, QSet<QByteArray>> listings;
    const auto listed = [&](const QByteArray& folder) -> const QSet<QByteArray>& {
        auto found = listings.find(folder);
        if (found == listings.end()) {
            const QList<QByteArray> names = FileTree::list(folder.isEmpty() ? top : top + '/' + folder);
            found = listings.insert(folder, QSet<QByteArray>(names.begin(), names.end()));
        }
        return *found;
    };
    for (const Entry& entry : entries) {
        if (failures.contains(entry.path))
            continue;
        bool there = true;
        QByteArray folder;
        for (const QByteArray& part : entry.path.split('/')) {
            if (!listed(folder).contains(part)) {
                there = false;
                break;
            }
            folder = folder.isEmpty() ? part : folder + '/' + part;
        }
        if (!there)
            failures.insert(entry.path, QStringLiteral("lost"));
        else if (!entry.folder && FileTree::read(top + '/' + entry.path) != entry.content)
            failures.insert(entry.path, QStringLiteral("overwritten"));
        else if (entry.folder && !placed.value(entry.path).contains(listed(entry.path)))
            failures.insert(entry.path, QStringLiteral("merged with another"));
    }
    return failures;
}

QMap<QByteArray, std::vector<TargetProblem>> flagged(const TargetProfile& profile, const TargetRuleSet& rules,
                                                     const QByteArray& targetFolder,
                                                     const std::vector<Entry>& entries)
{
    QMap<QByteArray, std::vector<int>> byFolder; // entries by the folder that holds them
    for (int i = 0; i < int(entries.size()); ++i) {
        const QByteArray& path = entries[std::size_t(i)].path;
        const qsizetype slash = path.lastIndexOf('/');
        byFolder[slash < 0 ? QByteArray() : path.left(slash)].push_back(i);
    }
    QMap<QByteArray, std::vector<TargetProblem>> problems;
    TargetFolderCheck check(profile, rules, targetFolder);
    for (auto folder = byFolder.cbegin(); folder != byFolder.cend(); ++folder) {
        check.beginFolder(folder.key());
        for (int i : folder.value()) {
            const Entry& entry = entries[std::size_t(i)];
            check.add(entry.path.mid(entry.path.lastIndexOf('/') + 1), entry.folder, entry.content.size());
        }
        for (const IndexedProblem& found : check.finishFolder())
            problems[entries[std::size_t(folder.value()[std::size_t(found.index)])].path].push_back(
                found.problem);
    }
    return problems;
}

QStringList texts(const std::vector<TargetProblem>& problems)
{
    QStringList out;
    for (const TargetProblem& problem : problems)
        out.append(ruleKey(problem.rule) + QStringLiteral(": ") + problem.detail);
    return out;
}

} // namespace TargetTree
