// SPDX-License-Identifier: MIT
// Fuzzes the text report and the clipboard text over a list built from the input: the first byte gives the
// column count (1-4), the second which rows are checked, the rest are NUL-separated cells, the first row's
// cells being the titles. Report: every line is the cells padded with spaces to their column's width (titles
// counting) and closed by a tab, and ends in tab CR LF. Clipboard: one line per checked row, no titles, cells
// padded to the widest row cell and tab-separated, the line ending in CR LF with no space before it.
#include "app/clipboardcopy.h"
#include "fuzzcheck.h"
#include "results/listtable.h"
#include "results/textreport.h"
#include "services/dialogs.h"
#include "services/errorbox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>

namespace {
class FuzzTable : public ListTable
{
public:
    QStringList titles;
    std::vector<QStringList> rows;
    std::vector<bool> checked;

    int columnCount() const override { return int(titles.size()); }
    QString columnTitle(int column) const override { return titles.value(column); }
    int rowCount() const override { return int(rows.size()); }
    QString cellText(int row, int column) const override { return rows[std::size_t(row)].value(column); }
    bool isChecked(int row) const override { return checked[std::size_t(row)]; }
};

// Writing a report to a fresh file must not fail; any box is a finding.
class NoDialogs : public Dialogs
{
public:
    QString input;
    Answer message(const QString& text, MessageStyle, const QString&) override
    {
        fuzzFail("the report is written without an error box", input, text);
    }
    QString inputText(const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&, QString*) override { return {}; }
    QString existingDirectory(const QString&, const QString&) override { return {}; }
};

// Reads the text piece by piece; any piece that is not there fails the property.
struct Reader
{
    QStringView text;
    const char* property;
    const QString& input;

    void expect(QStringView piece)
    {
        if (!text.startsWith(piece))
            fuzzFail(property, input,
                     QStringLiteral("expected ") + QString::fromUtf8(fuzzQuoted(piece.toString())) +
                         QStringLiteral(" before ") +
                         QString::fromUtf8(fuzzQuoted(text.left(60).toString())));
        text = text.mid(piece.size());
    }
};

// Cell text, then spaces up to the width, then the tab, for every cell: one report line before its CR LF.
void readPaddedCells(Reader& in, const QStringList& cells, const std::vector<qsizetype>& widths)
{
    for (std::size_t c = 0; c < widths.size(); ++c) {
        const QString cell = cells.value(qsizetype(c));
        in.expect(cell);
        in.expect(QString(std::max<qsizetype>(0, widths[c] - cell.size()), u' '));
        in.expect(u"\t");
    }
}

void checkReport(const FuzzTable& list, const QString& input)
{
    static QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("report.txt"));
    if (const StatementFailure failed = writeTextReport(list, file, nullptr, [] {}))
        fuzzFail("the report is written", input, failed.description);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        fuzzFail("the report file exists", input, file);
    const QString text = QString::fromUtf8(f.readAll());

    std::vector<qsizetype> widths;
    for (const QString& title : list.titles)
        widths.push_back(title.size());
    for (const QStringList& row : list.rows)
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row.value(qsizetype(c)).size());

    Reader in{text, "report lines are padded cells closed by tabs, then CR LF", input};
    readPaddedCells(in, list.titles, widths);
    in.expect(u"\r\n");
    for (std::size_t r = 0; r < list.rows.size(); ++r) {
        if (!list.checked[r])
            continue;
        readPaddedCells(in, list.rows[r], widths);
        in.expect(u"\r\n");
    }
    if (!in.text.isEmpty())
        fuzzFail("the report holds the header and the checked rows only", input, in.text.toString());
}

void checkClipboard(const FuzzTable& list, const QString& input)
{
    const QString text = clipboardText(list, [] {});
    std::vector<qsizetype> widths(list.titles.size(), 0);
    for (const QStringList& row : list.rows)
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row.value(qsizetype(c)).size());

    Reader in{text,
              "clipboard lines are padded cells, tab-separated, ending in CR LF with no space before it",
              input};
    for (std::size_t r = 0; r < list.rows.size(); ++r) {
        if (!list.checked[r])
            continue;
        // The cells as padded, then the line ends where its trailing spaces began: nothing but CR LF follows.
        QString line;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QString cell = list.rows[r].value(qsizetype(c));
            line += cell;
            if (c + 1 < widths.size())
                line += QString(std::max<qsizetype>(0, widths[c] - cell.size()), u' ') + u'\t';
        }
        QString trimmed = line;
        while (trimmed.endsWith(u' '))
            trimmed.chop(1);
        in.expect(trimmed);
        in.expect(u"\r\n");
    }
    if (!in.text.isEmpty())
        fuzzFail("the clipboard holds the checked rows only", input, in.text.toString());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 8192)
        return 0;
    const int columns = 1 + data[0] % 4;
    const uint8_t checks = data[1];
    const QByteArray rest(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const QString input = QString::number(columns) + QStringLiteral(" columns, checks ") +
                          QString::number(checks, 2) + QStringLiteral(": ") + QString::fromUtf8(rest);

    FuzzTable list;
    const QList<QByteArray> cells = rest.split('\0');
    for (int c = 0; c < columns; ++c)
        list.titles << QString::fromUtf8(cells.value(c));
    for (qsizetype i = columns; i < cells.size(); i += columns) {
        QStringList row;
        for (qsizetype c = i; c < std::min(i + columns, cells.size()); ++c)
            row << QString::fromUtf8(cells[c]);
        list.checked.push_back((checks >> (list.rows.size() % 8)) & 1);
        list.rows.push_back(row);
    }

    checkReport(list, input);
    checkClipboard(list, input);
    return 0;
}
