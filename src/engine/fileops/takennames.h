// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>

#include <functional>

// exists(folder, name) answers whether the folder holds exactly that name.
using NameExists = std::function<bool(const QByteArray& folder, const QByteArray& name)>;

// How a target tells names apart: names equal under the folding are one name there.
struct NameFolding
{
    bool foldCase = true;
    bool foldForm = true; // Unicode normalization (NFC)
};

// The names a plan may no longer give out in each folder: those the folder holds and those the plan gave out,
// compared under a folding. exFAT, Windows, SMB, OneDrive and macOS take "Photo.jpeg" and "photo.jpeg" for
// one name, so a rename that makes a new name equal to a neighbour that way would lose one of them in a copy.
// Each folder is listed once, when first asked about.
class TakenNames
{
public:
    // exists, when given, is asked instead of listing the folders, with the exact name (tests; no folding).
    explicit TakenNames(NameFolding folding, NameExists exists = {});

    // Whether the item now named ownName in folder may take name: its own name never stands in its way, so
    // "café" in another Unicode form may become "café".
    bool isFree(const QByteArray& folder, const QByteArray& name, const QByteArray& ownName);
    void take(const QByteArray& folder, const QByteArray& name);
    // The folder will no longer hold the name on disk (its item is to be renamed, or was): a name equal to it
    // is free unless given out again. Without effect where exists was given.
    void release(const QByteArray& folder, const QByteArray& name);
    // The same for every spelling of one folder: its device and inode, or the path where it has none.
    QByteArray folderKey(const QByteArray& folder);
    QByteArray keyOf(const QByteArray& name) const;

private:
    struct Folder
    {
        QHash<QByteArray, int> onDisk; // folded, with how many names of the folder have that key
        QSet<QByteArray> given;        // folded
        bool listed = false;
    };
    Folder& folderOf(const QByteArray& folder);

    NameFolding m_folding;
    NameExists m_exists;
    QHash<QByteArray, QByteArray> m_folderKeys;
    QHash<QByteArray, Folder> m_folders;
};
