// SPDX-License-Identifier: MIT
#include "platform/textfile.h"

#include "platform/apperror.h"
#include "platform/posixfile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {
const QString NotOpen = QStringLiteral("Bad file mode: the file is not open");
// The file is unbuffered and this class buffers itself, so that a file given up after a failure gets no
// further write: Qt's own buffer would try again when the file is released.
constexpr qsizetype BufferSize = 64 * 1024;
} // namespace

QString writeWhole(QFile& file, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n < 0)
            return file.errorString();
        if (n == 0) // nothing taken and nothing said: nothing more can be learnt by asking again
            return QStringLiteral("the file takes no more bytes");
        done += n;
    }
    return {};
}

void TextFileWriter::create(const QString& path)
{
    abandon();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw AppError(m_file.errorString());
}

void TextFileWriter::createNative(const QByteArray& nativePath)
{
    abandon();
    // Opened here: QFile takes a name as text, and a byte that is not UTF-8 would come back as another.
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw AppError(systemErrorText(errno));
    m_file.setFileName(QString());
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw AppError(m_file.errorString());
    }
}

void TextFileWriter::writeLine(const QString& line)
{
    if (!m_file.isOpen())
        throw AppError(NotOpen);
    // Encoded onto the end of a buffer that keeps its capacity, so a long report does not allocate per line.
    const qsizetype start = m_bytes.size();
    m_bytes.resize(start + m_encoder.requiredSpace(line.size()) + 2);
    char* end = m_encoder.appendToBuffer(m_bytes.data() + start, line);
    *end++ = '\r';
    *end++ = '\n';
    m_bytes.resize(end - m_bytes.data());
    if (m_bytes.size() >= BufferSize)
        writeBuffered();
}

void TextFileWriter::writeBuffered()
{
    if (m_bytes.isEmpty())
        return;
    const QString failed = writeWhole(m_file, m_bytes);
    m_bytes.resize(0); // keeps its capacity
    if (!failed.isEmpty())
        throw AppError(failed);
}

void TextFileWriter::close()
{
    if (!m_file.isOpen())
        throw AppError(NotOpen);
    try {
        writeBuffered();
    } catch (...) {
        m_file.close();
        throw;
    }
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        throw AppError(m_file.errorString());
}

void TextFileWriter::abandon()
{
    m_bytes.resize(0);
    if (m_file.isOpen())
        m_file.close();
}
