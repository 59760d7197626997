// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// A recording xdg-open put first on PATH for as long as it lives: every launch appends its arguments, one per
// line, to a record file.
class XdgOpenStub
{
public:
    XdgOpenStub()
    {
        m_record = m_bin.path() + QStringLiteral("/opened");
        QFile stub(m_bin.path() + QStringLiteral("/xdg-open"));
        if (stub.open(QIODevice::WriteOnly)) {
            stub.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(m_record).toUtf8());
            stub.close();
            stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", m_bin.path().toUtf8() + ':' + m_oldPath);
    }
    ~XdgOpenStub() { qputenv("PATH", m_oldPath); }
    XdgOpenStub(const XdgOpenStub&) = delete;
    XdgOpenStub& operator=(const XdgOpenStub&) = delete;

    // The arguments of every launch so far.
    QStringList launches() const
    {
        QFile f(m_record);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_bin;
    QString m_record;
    QByteArray m_oldPath;
};
