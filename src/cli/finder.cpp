// SPDX-License-Identifier: MIT
#include "cli/finder.h"

#include "platform/dirlisting.h"
#include "platform/errorbox.h"
#include "platform/textfile.h"
#include "results/listformat.h"
#include "results/listtable.h"
#include "results/resultmodel.h"
#include "search/lengthunit.h"
#include "search/searchrun.h"
#include "search/walker.h"

#include <QDir>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace {

// Output leaves in large writes: a million short lines through stdio one by one would cost more than the
// walk.
class OutBuffer
{
public:
    explicit OutBuffer(std::FILE* out) : m_out(out) { m_buf.reserve(Limit + 4096); }
    ~OutBuffer() { flush(); }
    std::string& text() { return m_buf; }
    void maybeFlush()
    {
        if (m_buf.size() >= Limit)
            flush();
    }
    void flush()
    {
        if (!m_buf.empty())
            std::fwrite(m_buf.data(), 1, m_buf.size(), m_out);
        m_buf.clear();
        std::fflush(m_out);
    }

private:
    static constexpr std::size_t Limit = 256 * 1024;
    std::FILE* m_out;
    std::string m_buf;
};

void say(std::FILE* err, const QByteArray& what)
{
    std::fprintf(err, "lentrova-find: %s\n", what.constData());
}

QString absoluteClean(const std::string& path)
{
    return QDir::cleanPath(
        QDir::current().absoluteFilePath(QString::fromUtf8(path.data(), qsizetype(path.size()))));
}

// The window's text report of every row, written the way the window writes it.
void writeReport(ResultModel& model, const QString& fileName)
{
    model.setAllChecked(true);
    const SnapshotTable table = SnapshotTable::of(model);
    const YieldFn noYield = [] {};
    const std::vector<qsizetype> widths = columnWidths(table, true, noYield);
    TextFileWriter file;
    file.create(fileName);
    QStringList titles;
    for (int c = 0; c < table.columnCount(); ++c)
        titles.append(table.columnTitle(c));
    QString line = paddedLine(titles, widths);
    file.writeLine(line);
    for (int r = 0; r < table.rowCount(); ++r) {
        line.resize(0);
        for (int c = 0; c < table.columnCount(); ++c)
            appendPaddedCell(line, table.cellText(r, c), widths[std::size_t(c)]);
        file.writeLine(line);
    }
    file.close();
}

} // namespace

QString finderUsage()
{
    return QStringLiteral("usage: lentrova-find (--eq N | --gt N | --lt N) [--unit "
                          "name|bytes|path|path-bytes] [--filter TEXT]\n"
                          "                     [--one-file-system] [--exclude FOLDER]... [--print0 | "
                          "--with-length | --report FILE]\n"
                          "                     FOLDER...\n");
}

std::optional<FinderOptions> parseFinderArguments(const std::vector<std::string>& args, QString& error)
{
    FinderOptions o;
    std::optional<std::string> number;
    std::string unit = "name";
    bool outputChosen = false;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            o.folders.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const auto value = [&](std::string& into) {
            if (inlineValue) {
                into = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = QStringLiteral("option %1 needs a value").arg(QString::fromStdString(arg));
                return false;
            }
            into = args[++i];
            return true;
        };
        const auto output = [&](FinderOptions::Output kind) {
            if (outputChosen && o.output != kind) {
                error = QStringLiteral("choose one of --print0, --with-length and --report");
                return false;
            }
            outputChosen = true;
            o.output = kind;
            return true;
        };
        const auto takesNoValue = [&] {
            if (!inlineValue)
                return true;
            error = QStringLiteral("option %1 takes no value").arg(QString::fromStdString(arg));
            return false;
        };
        std::string v;
        if (arg == "--eq" || arg == "--gt" || arg == "--lt") {
            if (number) {
                error = QStringLiteral("choose one of --eq, --gt and --lt");
                return std::nullopt;
            }
            if (!value(v))
                return std::nullopt;
            number = v;
            o.comparison = arg == "--eq"   ? Comparison::EqualTo
                           : arg == "--gt" ? Comparison::GreaterThan
                                           : Comparison::LessThan;
        } else if (arg == "--unit") {
            if (!value(unit))
                return std::nullopt;
        } else if (arg == "--filter") {
            if (!value(v))
                return std::nullopt;
            o.filter = QString::fromUtf8(v.data(), qsizetype(v.size()));
        } else if (arg == "--exclude") {
            if (!value(v))
                return std::nullopt;
            o.excludes.push_back(v);
        } else if (arg == "--report") {
            if (!output(FinderOptions::Output::Report) || !value(v))
                return std::nullopt;
            o.reportFile = QString::fromUtf8(v.data(), qsizetype(v.size()));
        } else if (arg == "--one-file-system") {
            if (!takesNoValue())
                return std::nullopt;
            o.oneFileSystem = true;
        } else if (arg == "--print0") {
            if (!takesNoValue() || !output(FinderOptions::Output::Print0))
                return std::nullopt;
        } else if (arg == "--with-length") {
            if (!takesNoValue() || !output(FinderOptions::Output::WithLength))
                return std::nullopt;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
            return o;
        } else {
            error =
                QStringLiteral("unknown option %1").arg(QString::fromUtf8(arg.data(), qsizetype(arg.size())));
            return std::nullopt;
        }
    }
    if (!number) {
        error = QStringLiteral("one of --eq, --gt and --lt is needed");
        return std::nullopt;
    }
    if (o.folders.empty()) {
        error = QStringLiteral("no folder to search");
        return std::nullopt;
    }
    // The unit becomes the length box's own words, so a bad number or unit is refused as the window would.
    QString unitWords = QString::fromUtf8(unit.data(), qsizetype(unit.size()));
    const QString u = unitWords.trimmed().toLower();
    if (u == QLatin1String("name"))
        unitWords.clear();
    else if (u == QLatin1String("path-bytes"))
        unitWords = QStringLiteral("path bytes");
    o.lengthText = QString::fromUtf8(number->data(), qsizetype(number->size()));
    if (!unitWords.isEmpty())
        o.lengthText += QLatin1Char(' ') + unitWords;
    return o;
}

std::string excludedPathInWalk(const std::string& exclude, const std::string& rootAsGiven)
{
    const QString e = absoluteClean(exclude);
    const QString r = absoluteClean(rootAsGiven);
    const std::string walkRoot = folderPathForWalk(QByteArray::fromStdString(rootAsGiven));
    if (e == r)
        return walkRoot;
    const QString rootSlash = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
    if (!e.startsWith(rootSlash))
        return std::string();
    const std::string rest = e.mid(rootSlash.size()).toStdString();
    return walkRoot == "/" ? walkRoot + rest : walkRoot + '/' + rest;
}

int runFinder(const FinderOptions& options, std::FILE* out, std::FILE* err)
{
    if (options.help) {
        std::fputs(finderUsage().toUtf8().constData(), out);
        return FoundSome;
    }
    const QString refused = SearchRun::refusal(options.lengthText, options.filter);
    if (!refused.isEmpty()) {
        say(err, refused.toUtf8());
        return Trouble;
    }
    const std::optional<LengthSpec> spec = parseLengthSpec(options.lengthText);
    LiveCriteria criteria;
    criteria.set(spec->length, options.comparison, spec->unit);
    const std::atomic<bool> never{false};

    bool trouble = false;
    std::size_t found = 0;
    OutBuffer buffer(out);
    ResultModel report;
    const char separator = options.output == FinderOptions::Output::Print0 ? '\0' : '\n';

    for (const std::string& folder : options.folders) {
        // Shared with the readers, which test it on their own threads and may outlive this loop when a folder
        // does not answer; it is only read once built.
        auto skipped = std::make_shared<std::unordered_set<std::string>>();
        for (const std::string& e : options.excludes)
            if (std::string p = excludedPathInWalk(e, folder); !p.empty())
                skipped->insert(std::move(p));
        const std::string rootPath = folderPathForWalk(QByteArray::fromStdString(folder));
        if (skipped->count(rootPath))
            continue;
        OpenResult root = fsys::openFolder(folder.c_str());
        if (!root.fd.valid()) {
            say(err, QByteArray::fromStdString(folder) + ": " + root.error().toUtf8());
            trouble = true;
            continue;
        }
        WalkSettings settings;
        settings.stop = &never;
        settings.criteria = &criteria;
        settings.filter = options.filter;
        settings.oneFileSystem = options.oneFileSystem;
        if (!skipped->empty())
            settings.skipFolder = [skipped = std::shared_ptr<const std::unordered_set<std::string>>(skipped)](
                                      std::string_view path) {
                return skipped->count(std::string(path)) != 0;
            };
        // No one waits for the rows, so they go out in large batches.
        settings.readers = DefaultWalkReaders;
        settings.sliceMs = 1000;
        settings.maxRows = 64 * 1024;
        walkFolder(std::move(root.fd), rootPath, settings, [&](WalkReport&& r) {
            const ResultBatch& rows = r.rows;
            found += rows.size();
            if (options.output == FinderOptions::Output::Report) {
                report.appendBatch(rows);
            } else {
                std::string& text = buffer.text();
                for (const ResultBatch::Entry& row : rows.entries) {
                    text.append(rows.bytes, row.offset, row.length);
                    if (options.output == FinderOptions::Output::WithLength) {
                        char digits[8];
                        const auto end = std::to_chars(digits, digits + sizeof digits, row.nameLength).ptr;
                        text.push_back('\t');
                        text.append(digits, end);
                    }
                    text.push_back(separator);
                    buffer.maybeFlush();
                }
            }
            if (r.failure) {
                buffer.flush();
                say(err, r.failure->path + ": " + r.failure->description.toUtf8());
                trouble = true;
            }
            return std::move(r.rows);
        });
    }
    buffer.flush();
    // A full disk or a closed pipe behind stdout must not pass for a clean run.
    if (std::ferror(out)) {
        say(err, QByteArray("cannot write the output: ") + std::strerror(errno));
        trouble = true;
    }
    if (options.output == FinderOptions::Output::Report) {
        try {
            writeReport(report, options.reportFile);
        } catch (...) {
            say(err, (options.reportFile + QStringLiteral(": ") + describeCurrentException()).toUtf8());
            trouble = true;
        }
    }
    if (trouble)
        return Trouble;
    return found > 0 ? FoundSome : FoundNone;
}
