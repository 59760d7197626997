// SPDX-License-Identifier: MIT
#include "fileops/takennames.h"

#include "platform/filemove.h"
#include "target/collisions.h"

#include <cstring>
#include <dirent.h>

TakenNames::TakenNames(NameFolding folding, NameExists exists)
    : m_folding(folding), m_exists(std::move(exists))
{
}

QByteArray TakenNames::keyOf(const QByteArray& name) const
{
    return foldedNameKey(std::string_view(name.constData(), std::size_t(name.size())), m_folding.foldCase,
                         m_folding.foldForm);
}

QByteArray TakenNames::folderKey(const QByteArray& folder)
{
    auto it = m_folderKeys.constFind(folder);
    if (it != m_folderKeys.constEnd())
        return *it;
    const FileIdentity id = fileIdentity(folder.isEmpty() ? QByteArrayLiteral("./") : folder);
    const QByteArray key =
        id.valid ? QByteArray::number(id.device) + ':' + QByteArray::number(id.inode) : folder;
    m_folderKeys.insert(folder, key);
    return key;
}

TakenNames::Folder& TakenNames::folderOf(const QByteArray& folder)
{
    Folder& f = m_folders[folderKey(folder)];
    if (f.listed || m_exists)
        return f;
    f.listed = true;
    DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return f; // a rename there fails on its own, and says why
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name = QByteArray::fromRawData(entry->d_name, qsizetype(std::strlen(entry->d_name)));
        if (name != "." && name != "..")
            ++f.onDisk[keyOf(name)];
    }
    ::closedir(dir);
    return f;
}

bool TakenNames::isFree(const QByteArray& folder, const QByteArray& name, const QByteArray& ownName)
{
    Folder& f = folderOf(folder);
    const QByteArray key = keyOf(name);
    if (f.given.contains(key))
        return false;
    if (m_exists)
        return name == ownName || !m_exists(folder, name);
    // Its own name counts once; another name of the folder with the same key still stands in the way.
    return f.onDisk.value(key) <= (key == keyOf(ownName) ? 1 : 0);
}

void TakenNames::take(const QByteArray& folder, const QByteArray& name)
{
    folderOf(folder).given.insert(keyOf(name));
}

void TakenNames::release(const QByteArray& folder, const QByteArray& name)
{
    Folder& f = folderOf(folder);
    const QByteArray key = keyOf(name);
    auto it = f.onDisk.find(key);
    if (it != f.onDisk.end() && --*it <= 0)
        f.onDisk.erase(it);
}
