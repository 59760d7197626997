// SPDX-License-Identifier: MIT
#include "results/csvreport.h"

#include "platform/apperror.h"
#include "platform/textfile.h"
#include "results/textreport.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

namespace {

// Records are gathered and written in blocks, so a million rows cost a few hundred writes.
constexpr qsizetype BlockBytes = 256 * 1024;

class CsvFile
{
public:
    void create(const QString& path)
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            throw AppError(m_file.errorString());
    }
    void appendRecord(const QStringList& fields)
    {
        QString line;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i)
                line += QLatin1Char(',');
            line += csvField(fields[i]);
        }
        line += QStringLiteral("\r\n");
        const qsizetype at = m_block.size();
        m_block.resize(at + m_encoder.requiredSpace(line.size()));
        char* end = m_encoder.appendToBuffer(m_block.data() + at, line);
        m_block.resize(end - m_block.data());
        if (m_block.size() >= BlockBytes)
            flush();
    }
    void flush()
    {
        const QString failed = writeWhole(m_file, m_block);
        m_block.resize(0);
        if (!failed.isEmpty())
            throw AppError(failed);
    }
    void close()
    {
        flush();
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            throw AppError(m_file.errorString());
    }
    void abandon() { m_file.close(); }

private:
    QFile m_file;
    QByteArray m_block;
    QStringEncoder m_encoder{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
};

} // namespace

QString csvFileFilter()
{
    return QStringLiteral("CSV Files (*.csv)");
}

QString csvField(const QString& text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    if (!quote)
        return text;
    QString out = text;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

StatementFailure writeCsvReport(const ListTable& list, const QString& fileName, ProgressSink* progress,
                                const YieldFn& yield)
{
    StatementFailure failed;
    const auto step = [&](int label, auto&& statement) { return runStatement(failed, label, statement); };
    const QString writing = QStringLiteral("Writing file: ") + QFileInfo(fileName).fileName();
    if (progress) {
        progress->setValue(1);
        progress->setText(writing);
    }
    const auto finish = [&] {
        if (progress) {
            progress->setValue(0);
            progress->setText(QStringLiteral("Progress Bar"));
        }
    };

    CsvFile file;
    if (!step(100, [&] { file.create(fileName); })) {
        finish();
        return failed;
    }
    const int columns = list.columnCount();
    QStringList fields;
    for (int c = 0; c < columns; ++c)
        fields.append(list.columnTitle(c));
    bool written = step(102, [&] { file.appendRecord(fields); });

    const int rows = list.rowCount();
    for (int r = 0; written && r < rows; ++r) {
        yield();
        if (!list.isChecked(r))
            continue;
        fields.clear();
        for (int c = 0; c < columns; ++c)
            fields.append(list.cellText(r, c));
        written = step(104, [&] { file.appendRecord(fields); });
        if (progress)
            progress->setValue(double(r + 1) / rows * 100);
    }
    // After a failed write the file is given up quietly: its one failure is reported.
    if (written)
        step(106, [&] { file.close(); });
    else
        file.abandon();
    finish();
    return failed;
}
