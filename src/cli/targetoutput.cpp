// SPDX-License-Identifier: MIT
#include "targetoutput.h"

#include "finder.h"

#include <QStringList>

#include <charconv>

bool isTargetOption(const std::string& arg, bool* takesValue)
{
    *takesValue = arg == "--target" || arg == "--target-folder" || arg == "--rules" || arg == "--format";
    return *takesValue || arg == "--with-reason" || arg == "--summary";
}

bool takeTargetOption(const std::string& arg, const std::string& value, FinderTargetOptions& into,
                      QString& error)
{
    const QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
    if (arg == "--target") {
        into.profile = text;
    } else if (arg == "--target-folder") {
        into.folder = value;
    } else if (arg == "--rules") {
        QString wrong;
        ruleSetFromText(text, &wrong);
        if (!wrong.isEmpty()) {
            error = QStringLiteral("--rules: ") + wrong;
            return false;
        }
        into.rules = text;
    } else if (arg == "--format") {
        if (text != u"json" && text != u"lines") {
            error = QStringLiteral("--format: unknown format \"%1\" (lines, json)").arg(text);
            return false;
        }
        into.json = text == u"json";
        into.formatGiven = true;
    } else if (arg == "--with-reason") {
        into.withReason = true;
    } else if (arg == "--summary") {
        into.summary = true;
    }
    return true;
}

std::optional<TargetCheckSetup> resolveFinderTarget(const FinderTargetOptions& options, QString& error)
{
    QString wrong;
    const TargetRuleSet rules = ruleSetFromText(options.rules.value_or(QStringLiteral("all")), &wrong);
    const QByteArray folder =
        options.folder ? QByteArray(options.folder->data(), qsizetype(options.folder->size())) : QByteArray();
    std::optional<TargetCheckSetup> setup = resolveTargetSetup(*options.profile, folder, rules, &wrong);
    if (!setup) {
        const bool profileKnown = *options.profile == u"auto" || targetProfile(*options.profile);
        if (!profileKnown)
            error = QStringLiteral("--target: ") + wrong;
        else if (!options.folder)
            error = QStringLiteral("--target auto needs --target-folder, the folder the files go to");
        else
            error = QStringLiteral("--target-folder: ") + wrong;
    }
    return setup;
}

namespace {

bool isUtf8(std::string_view bytes)
{
    const QByteArray raw(bytes.data(), qsizetype(bytes.size()));
    return QString::fromUtf8(raw).toUtf8() == raw;
}

} // namespace

std::string jsonString(std::string_view utf8)
{
    const QByteArray clean = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toUtf8();
    std::string out = "\"";
    for (const char ch : clean) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\r':
            out.append("\\r");
            break;
        default:
            if (c < 0x20) {
                static constexpr char Hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.push_back(Hex[c >> 4]);
                out.push_back(Hex[c & 15]);
            } else {
                out.push_back(ch);
            }
        }
    }
    out.push_back('"');
    return out;
}

void TargetOutput::append(const WalkReport& report, std::string& text)
{
    m_tally.add(report.target);
    const ResultBatch& rows = report.rows;
    for (const ResultBatch::Problem& problem : rows.problems) {
        const ResultBatch::Entry& row = rows.entries[problem.entry];
        const std::string_view path(rows.bytes.data() + row.offset, row.pathBytes);
        if (m_options.json)
            appendJson(path, targetReasons(rows, problem), text);
        else
            appendLine(path, rows.problemText(problem.entry), text);
    }
}

void TargetOutput::appendLine(std::string_view path, const QString& problem, std::string& text) const
{
    text.append(m_quote ? quotedForTerminal(path) : std::string(path));
    if (m_options.withReason)
        text.append("\t").append(problem.toUtf8().constData());
    text.push_back('\n');
}

void TargetOutput::appendJson(std::string_view path, const std::vector<TargetProblem>& reasons,
                              std::string& text) const
{
    const bool folder = path.size() > 1 && path.back() == '/';
    if (folder)
        path.remove_suffix(1);
    text.append("{\"path\": ").append(jsonString(path));
    if (!isUtf8(path)) {
        text.append(", \"path_bytes\": [");
        for (std::size_t i = 0; i < path.size(); ++i) {
            char digits[4];
            const auto end = std::to_chars(digits, digits + sizeof digits, unsigned(quint8(path[i]))).ptr;
            text.append(i ? ", " : "").append(digits, end);
        }
        text.push_back(']');
    }
    text.append(", \"kind\": ").append(folder ? "\"folder\"" : "\"file\"").append(", \"reasons\": [");
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        const QByteArray key = ruleKey(reasons[i].rule).toUtf8();
        const QByteArray detail = reasons[i].detail.toUtf8();
        text.append(i ? ", " : "").append("{\"rule\": ").append(jsonString(key.toStdString()));
        text.append(", \"detail\": ").append(jsonString(detail.toStdString())).append("}");
    }
    text.append("]}\n");
}

std::string TargetOutput::summary() const
{
    QString out;
    for (int i = 0; i < TargetRuleCount; ++i) {
        const TargetRule rule = TargetRule(i);
        const qint64 files = m_tally.fileSummary.count(rule);
        const qint64 folders = m_tally.folderSummary.count(rule);
        if (files || folders)
            out += QStringLiteral("%1: %2 files, %3 folders\n").arg(ruleTitle(rule)).arg(files).arg(folders);
    }
    out += QStringLiteral("checked: %1 files, %2 folders\n").arg(m_tally.files).arg(m_tally.folders);
    return out.toStdString();
}
