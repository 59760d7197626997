// SPDX-License-Identifier: MIT
#pragma once

// A tree a user changes between two searches, and the check that a search reusing the listings of an earlier
// one gives exactly what a fresh walk gives.

#include "search/listingcache.h"
#include "support/filetree.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QRandomGenerator>

#include <algorithm>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

// A walk's sequence, and how many sub-folders it opened.
struct Walked
{
    QByteArrayList sequence;
    int opened = 0;
};

Walked walk(const QByteArray& root, int readers, const std::shared_ptr<ListingCache>& listings, bool target);

// A tree of folders and files with random names, changed at random: what a user does between two searches.
class ChangingTree
{
public:
    ChangingTree(const QByteArray& top, quint32 seed) : m_top(top), m_random(seed) {}

    void make(int folders, int files)
    {
        m_folders = {m_top};
        for (int i = 0; i < folders; ++i)
            addFolder(pick(m_folders));
        for (int i = 0; i < files; ++i)
            addFile(pick(m_folders));
        // A link whose folder never changes while what it names turns from a file into a folder.
        FileTree::makeFolder(m_top + "/linked");
        FileTree::write(m_top + "/target", "x");
        // FAT and exFAT keep no links.
        link("../target", m_top + "/linked/link");
    }
    // Folders holding a link.
    int linkFolders()
    {
        refreshFolders();
        return int(std::count_if(m_folders.begin(), m_folders.end(), [](const QByteArray& folder) {
            const QList<QByteArray> names = FileTree::list(folder);
            return std::any_of(names.begin(), names.end(), [&](const QByteArray& n) {
                struct stat st;
                return ::lstat((folder + '/' + n).constData(), &st) == 0 && S_ISLNK(st.st_mode);
            });
        }));
    }
    QList<QByteArray> folders()
    {
        refreshFolders();
        return m_folders;
    }
    int subFolders()
    {
        refreshFolders();
        return int(m_folders.size()) - 1;
    }

    // One change in each of count folders picked at random.
    void change(int count)
    {
        for (int i = 0; i < count; ++i) {
            const QByteArray folder = pick(m_folders);
            const QList<QByteArray> names = FileTree::list(folder);
            const QByteArray some = names.isEmpty() ? QByteArray() : folder + '/' + pick(names);
            switch (m_random.bounded(7)) {
            case 0:
                addFile(folder);
                break;
            case 1:
                if (!some.isEmpty() && !isFolder(some))
                    ::unlink(some.constData());
                break;
            case 2: // renamed, within its folder or into another
                if (!some.isEmpty())
                    ::rename(some.constData(), (pick(m_folders) + '/' + name()).constData());
                break;
            case 3:
                addFolder(folder);
                addFile(m_folders.last());
                break;
            case 4: // a file becomes a folder of the same name
                if (!some.isEmpty() && !isFolder(some) && ::unlink(some.constData()) == 0)
                    FileTree::makeFolder(some);
                break;
            case 5:
                if (!some.isEmpty() && isFolder(some) && some != m_top + "/linked")
                    FileTree::removeTree(some);
                break;
            default: // a folder moved aside, a link to it in its place
                if (!some.isEmpty() && isFolder(some) && some != m_top + "/linked" &&
                    ::rename(some.constData(), (some + ".moved").constData()) == 0)
                    link(some.mid(some.lastIndexOf('/') + 1) + ".moved", some);
                break;
            }
            // Folders moved or removed above are found again from the tree itself.
            refreshFolders();
        }
        if (::unlink((m_top + "/target").constData()) == 0)
            FileTree::makeFolder(m_top + "/target");
        else if (FileTree::removeTree(m_top + "/target"))
            FileTree::write(m_top + "/target", "x");
    }

private:
    template <class T> const T& pick(const QList<T>& from)
    {
        return from[qsizetype(m_random.bounded(quint32(from.size())))];
    }
    QByteArray name()
    {
        // Lower-case ASCII, lengths that vary: names every file system here takes, and lengths that differ.
        QByteArray n;
        const int length = 1 + int(m_random.bounded(24u));
        for (int i = 0; i < length; ++i)
            n += char('a' + m_random.bounded(26u));
        return n + QByteArray::number(m_serial++);
    }
    void addFile(const QByteArray& folder) { FileTree::write(folder + '/' + name() + ".txt", "x"); }
    void addFolder(const QByteArray& parent)
    {
        const QByteArray folder = parent + '/' + name();
        if (FileTree::makeFolder(folder))
            m_folders << folder;
    }
    static void link(const QByteArray& target, const QByteArray& at)
    {
        // FAT and exFAT keep no links: there the tree has none.
        [[maybe_unused]] const int made = ::symlink(target.constData(), at.constData());
    }
    static bool isFolder(const QByteArray& path)
    {
        struct stat st;
        return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    void refreshFolders()
    {
        m_folders = {m_top};
        for (qsizetype i = 0; i < m_folders.size(); ++i) {
            for (const QByteArray& n : FileTree::list(m_folders[i])) {
                if (isFolder(m_folders[i] + '/' + n))
                    m_folders << m_folders[i] + '/' + n;
            }
        }
    }

    QByteArray m_top;
    QRandomGenerator m_random;
    QList<QByteArray> m_folders;
    int m_serial = 0;
};

// Long enough for every listing to be kept: their folders' times lie further back than the margin.
void waitPastMargin();

// Searches the tree again and again as it changes, each time with the listings kept from before, and fails
// the running test where one differs from a fresh walk. kept: whether the file system lets listings be kept,
// so that a search of the unchanged tree opens only the folders that hold a link.
void checkSearchesAgain(const QByteArray& top, ChangingTree& tree, int readers, bool target, bool kept);
