// SPDX-License-Identifier: MIT
#pragma once

#include "platform/dirlisting.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <string>
#include <unordered_set>
#include <vector>

// A synthetic tree for the benchmarks, the same for the same seed: files spread over folders up to eight
// levels deep, names of 1 to 120 characters with periods, blanks, hidden names and characters beyond ASCII
// (all in the Basic Multilingual Plane, so every tool counts them alike).
class TreeGenerator
{
public:
    struct Stats
    {
        qint64 files = 0;
        qint64 folders = 0;
    };

    TreeGenerator(quint32 seed) : m_random(seed) {}

    Stats generate(const QString& root, qint64 files, qint64 folders)
    {
        Stats stats;
        QDir().mkpath(root);
        struct Folder
        {
            QByteArray path;
            int depth;
            std::unordered_set<std::string> names;
        };
        std::vector<Folder> all;
        all.push_back({QFile::encodeName(root), 0, {}});
        while (qint64(all.size()) < folders + 1) {
            // Parents drawn from the later half more often, so the tree grows deep as well as wide.
            std::size_t parent = m_random.bounded(4) == 0
                                     ? std::size_t(m_random.bounded(quint32(all.size())))
                                     : all.size() / 2 + m_random.bounded(quint32((all.size() + 1) / 2));
            if (parent >= all.size())
                parent = all.size() - 1;
            if (all[parent].depth >= 8)
                continue;
            const QByteArray name = uniqueName(all[parent].names, 40);
            const QByteArray path = all[parent].path + '/' + name;
            if (!QDir().mkdir(QFile::decodeName(path)))
                continue;
            all.push_back({path, all[parent].depth + 1, {}});
            ++stats.folders;
        }
        for (qint64 i = 0; i < files; ++i) {
            Folder& f = all[m_random.bounded(quint32(all.size()))];
            const QByteArray name = uniqueName(f.names, 120);
            if (fsys::createEmptyFile(f.path + '/' + name))
                ++stats.files;
        }
        return stats;
    }

private:
    QByteArray uniqueName(std::unordered_set<std::string>& taken, int maxChars)
    {
        for (;;) {
            QByteArray n = name(maxChars);
            if (n == "." || n == "..")
                continue;
            if (taken.insert(n.toStdString()).second)
                return n;
        }
    }

    QByteArray name(int maxChars)
    {
        static const char16_t wide[] =
            u"\u00e9\u00fc\u00df\u00f1\u0434\u0436\u03bb\u03a9\u4e2d\u6587\u65e5\u00c5\u20ac\u2603";
        // Mostly short and middling names, with a long tail up to the limit.
        const int chars = m_random.bounded(3) == 0 ? 1 + int(m_random.bounded(maxChars))
                                                   : 1 + int(m_random.bounded(std::min(maxChars, 30)));
        const bool nonAscii = m_random.bounded(8) == 0;
        QString s;
        if (m_random.bounded(20) == 0)
            s += QLatin1Char('.');
        while (s.size() < chars) {
            const quint32 r = m_random.bounded(100);
            if (nonAscii && r < 15)
                s += QChar(wide[m_random.bounded(quint32(std::size(wide) - 1))]);
            else if (r < 20)
                s += QLatin1Char('.');
            else if (r < 25)
                s += QLatin1Char(' ');
            else if (r < 35)
                s += QChar(u'0' + m_random.bounded(10));
            else
                s += QChar((m_random.bounded(2) ? u'a' : u'A') + m_random.bounded(26));
        }
        QByteArray bytes = s.toUtf8();
        while (bytes.size() > 255) { // the file system's limit is on bytes
            s.chop(1);
            bytes = s.toUtf8();
        }
        return bytes;
    }

    QRandomGenerator m_random;
};
