// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

// The input as a C-like literal, so that a finding can be pasted into a test row.
inline QByteArray fuzzQuoted(const QString& text)
{
    QByteArray out = "\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'"' || u == u'\\')
            out += '\\' + QByteArray(1, char(u));
        else if (u >= 0x20 && u < 0x7f)
            out += char(u);
        else
            out += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
    }
    return out + '"';
}

// A property that failed ends the run with its name, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void fuzzFail(const char* property, const QString& input, const QString& detail)
{
    std::fprintf(stderr, "\nPROPERTY FAILED: %s\n  input: %s\n  %s\n", property,
                 fuzzQuoted(input).constData(), detail.toUtf8().constData());
    std::abort();
}
