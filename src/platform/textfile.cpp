// SPDX-License-Identifier: MIT
#include "platform/textfile.h"

#include "platform/errorbox.h"

namespace {
const QString NotOpen = QStringLiteral("Bad file mode: the file is not open");
}

void TextFileWriter::create(const QString& path)
{
    if (m_file.isOpen())
        m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(m_file.errorString());
}

void TextFileWriter::writeLine(const QString& line)
{
    if (!m_file.isOpen())
        throw AppError(NotOpen);
    // Encoded into a buffer that keeps its capacity, so a long report does not allocate per line.
    m_bytes.resize(m_encoder.requiredSpace(line.size()) + 2);
    char* end = m_encoder.appendToBuffer(m_bytes.data(), line);
    *end++ = '\r';
    *end++ = '\n';
    m_bytes.resize(end - m_bytes.data());
    if (m_file.write(m_bytes) != m_bytes.size())
        throw AppError(m_file.errorString());
}

void TextFileWriter::close()
{
    if (!m_file.isOpen())
        throw AppError(NotOpen);
    const bool flushed = m_file.flush();
    const QString flushError = m_file.errorString();
    m_file.close();
    if (!flushed)
        throw AppError(flushError);
    if (m_file.error() != QFileDevice::NoError)
        throw AppError(m_file.errorString());
}
