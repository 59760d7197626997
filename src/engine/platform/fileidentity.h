// SPDX-License-Identifier: MIT
#pragma once

#include "platform/filemove.h"
#include "platform/posixfile.h"

#include <QByteArray>
#include <QString>

// The identity of what is at the path itself (a link is not followed), or the errno why there is none.
struct IdentityResult
{
    FileIdentity identity;
    int errnum = 0;
    bool exists() const { return errnum == 0; }
    QString error() const { return errnum ? systemErrorText(errnum) : QString(); }
};
IdentityResult identityWithoutFollowing(const QByteArray& nativePath);

// Whether two identities name one file; an identity not taken names none.
inline bool sameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.valid && a == b;
}

// A folder held open under an exclusive advisory lock, so that processes that take it one after another see
// each other's files. The lock goes with the object.
class FolderLock
{
public:
    explicit FolderLock(const QByteArray& folder);
    bool locked() const { return m_fd.valid(); }
    QString error() const { return m_error; }
    // Makes the folder's entries (names just made in it) durable; empty when done, else the system's text.
    QString syncEntries() const;

private:
    UniqueFd m_fd;
    QString m_error;
};
