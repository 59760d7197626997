// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringEncoder>

// Writes every byte to an open file; empty when done, else the system's reason. Qt takes a write that fills
// the disk part of the way for a short count and sets no error ("Unknown error"), so the rest is written
// again, which fails with the reason ("No space left on device").
QString writeWhole(QFile& file, const QByteArray& bytes);

// A text file written line by line: UTF-8, every line closed by CR LF, only a small write buffer held.
// Each step throws AppError on failure; nothing is ever removed, so whatever reached the disk stays.
class TextFileWriter
{
public:
    // Creates the file, or empties it when it exists.
    void create(const QString& path);
    // The same for a path given as its bytes, which need not be valid UTF-8.
    void createNative(const QByteArray& nativePath);
    void writeLine(const QString& line);
    // Writes what is buffered and releases the file; a write that fails then (a full disk) is reported here.
    void close();
    // Releases the file without writing what is buffered and without a word: for a file whose writing
    // already failed and was reported.
    void abandon();
    bool isOpen() const { return m_file.isOpen(); }

private:
    void writeBuffered();

    QFile m_file;
    QByteArray m_bytes; // lines not yet written, up to about BufferSize
    // Stateless: a lone surrogate at the end of one line never leaks into the next.
    QStringEncoder m_encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
};
