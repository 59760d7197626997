// SPDX-License-Identifier: MIT
#include "results/textreport.h"

#include "platform/apperror.h"
#include "platform/textfile.h"
#include "results/listformat.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

StatementFailure writeReport(const ListTable& list, const std::function<void(TextFileWriter&)>& create,
                             const QString& fileName, ProgressSink* progressBar, const YieldFn& yield)
{
    StatementFailure failed;
    const auto step = [&](int label, auto&& statement) { return runStatement(failed, label, statement); };
    const QString writing = QStringLiteral("Writing file: ") + QFileInfo(fileName).fileName();
    const auto progress = [&](double value, const QString* text) {
        if (!progressBar)
            return;
        yield();
        progressBar->setValue(value);
        if (text)
            progressBar->setText(*text);
        yield();
    };

    progress(1, &writing);
    const std::vector<qsizetype> widths = columnWidths(list, true, yield);
    const int columns = int(widths.size());
    progress(10, &writing);

    // Once the file cannot be made or written nothing more is tried: one failure names it, where a box for
    // every checked row would hold the user for as many boxes as there are rows.
    TextFileWriter file;
    bool writable = step(156, [&] { create(file); });

    QStringList titles;
    for (int c = 0; c < columns; ++c)
        titles.append(list.columnTitle(c));
    QString line = paddedLine(titles, widths);
    if (writable)
        writable = step(170, [&] { file.writeLine(line); });
    progress(20, &writing);

    const int rows = list.rowCount();
    // Long lists end a little above 100 (the bar is capped); short ones end at exactly 100.
    const int q = rows / 2000;
    for (int j = 1; writable && j <= rows; ++j) {
        yield();
        if (!list.isChecked(j - 1))
            continue;
        line.resize(0);
        for (int c = 0; c < columns; ++c)
            appendPaddedCell(line, list.cellText(j - 1, c), widths[c]);
        if (progressBar) {
            // Set for every checked row; the bar itself repaints only when the shown percentage changes.
            progressBar->setValue(double(q + j) / rows * 100);
            if (j % 1000 == 0)
                progressBar->setText(writing + QStringLiteral(" (") + QString::number(j) + QLatin1Char(')'));
        }
        writable = step(222, [&] { file.writeLine(line); });
    }

    if (progressBar) {
        progressBar->setValue(100);
        progressBar->setText(QStringLiteral("Done."));
    }
    if (writable)
        step(232, [&] { file.close(); });
    else
        file.abandon();
    if (progressBar) {
        progressBar->setValue(0);
        progressBar->setText(QStringLiteral("Progress Bar"));
    }
    return failed;
}

} // namespace

StatementFailure writeTextReport(const ListTable& list, const QString& fileName, ProgressSink* progressBar,
                                 const YieldFn& yield)
{
    return writeReport(
        list, [&](TextFileWriter& file) { file.create(fileName); }, fileName, progressBar, yield);
}

StatementFailure writeTextReportNative(const ListTable& list, const QByteArray& nativeFileName)
{
    return writeReport(
        list, [&](TextFileWriter& file) { file.createNative(nativeFileName); },
        QString::fromLocal8Bit(nativeFileName), nullptr, [] {});
}
