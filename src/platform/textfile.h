// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QString>
#include <QStringEncoder>

// A text file written line by line: UTF-8, every line closed by CR LF, only a small write buffer held.
// Each step throws AppError on failure; nothing is ever removed, so whatever reached the disk stays.
class TextFileWriter
{
public:
    // Creates the file, or empties it when it exists.
    void create(const QString& path);
    void writeLine(const QString& line);
    // Flushes and releases the file; a flush that fails (a full disk) is reported here.
    void close();
    bool isOpen() const { return m_file.isOpen(); }

private:
    QFile m_file;
    QByteArray m_bytes;
    // Stateless: a lone surrogate at the end of one line never leaks into the next.
    QStringEncoder m_encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
};
