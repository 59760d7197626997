// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Found rows on their way from the walk to the model: native path bytes in one buffer. Rows of a target
// check also carry their problem text, UTF-8 in a buffer of its own, so that a plain search pays nothing
// for it.
struct ResultBatch
{
    struct Entry
    {
        quint32 offset;
        quint32 pathBytes;
        quint16 measuredLength; // in the search's unit: the name's or the path's length, as the list shows it
    };
    struct Problem
    {
        quint32 entry; // its row's place in entries
        quint32 offset;
        quint32 length;
        quint32 firstReason = 0;
        quint32 reasonCount = 0; // 0: the text was given whole
    };
    // One reason within a problem text: a part of problemBytes and the number of its rule, for output that
    // names rules (target/targetwalk.h writes and reads them).
    struct Reason
    {
        quint32 offset;
        quint32 length;
        quint8 rule;
    };
    std::string bytes;
    std::vector<Entry> entries;
    std::string problemBytes;
    std::vector<Problem> problems; // in entry order
    std::vector<Reason> reasons;

    void add(std::string_view nativePath, quint16 measuredLength)
    {
        entries.push_back({quint32(bytes.size()), quint32(nativePath.size()), measuredLength});
        bytes.append(nativePath);
    }
    void add(std::string_view nativePath, quint16 measuredLength, const QString& problem);
    bool empty() const { return entries.empty(); }
    std::size_t size() const { return entries.size(); }
    // The problem text of the entry at that place; empty when it has none.
    QString problemText(std::size_t entry) const;
    void clear()
    {
        bytes.clear();
        entries.clear();
        problemBytes.clear();
        problems.clear();
        reasons.clear();
    }
};
