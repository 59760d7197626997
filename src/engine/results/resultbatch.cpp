// SPDX-License-Identifier: MIT
#include "results/resultbatch.h"

#include <QByteArray>

#include <algorithm>

void ResultBatch::add(std::string_view nativePath, quint16 measuredLength, const QString& problem)
{
    const QByteArray text = problem.toUtf8();
    problems.push_back({quint32(entries.size()), quint32(problemBytes.size()), quint32(text.size()), 0, 0});
    problemBytes.append(text.constData(), std::size_t(text.size()));
    add(nativePath, measuredLength);
}

QString ResultBatch::problemText(std::size_t entry) const
{
    const auto it = std::lower_bound(problems.begin(), problems.end(), entry,
                                     [](const Problem& p, std::size_t e) { return p.entry < e; });
    if (it == problems.end() || it->entry != entry)
        return QString();
    return QString::fromUtf8(problemBytes.data() + it->offset, qsizetype(it->length));
}
