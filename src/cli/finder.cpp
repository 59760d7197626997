// SPDX-License-Identifier: MIT
// lentrova-find's run: the folders it is given walked in turn, what they hold written as it is found.
#include "finder.h"
#include "finderoutput.h"

#include "platform/dirlisting.h"
#include "platform/textfile.h"
#include "results/listformat.h"
#include "results/listtable.h"
#include "results/resultmodel.h"
#include "results/textreport.h"
#include "search/lengthunit.h"
#include "search/nametest.h"
#include "search/walker.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_set>

#include <fcntl.h>
#include <unistd.h>

namespace {

void say(std::FILE* err, const QByteArray& what)
{
    std::fprintf(err, "lentrova-find: %s\n", what.constData());
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

std::string currentFolder()
{
    std::string cwd(4096, '\0');
    while (!::getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE)
            return "/";
        cwd.resize(cwd.size() * 2);
    }
    cwd.resize(std::strlen(cwd.c_str()));
    return cwd;
}

// The path made absolute and cleaned of ".", ".." and doubled separators, on its bytes; links not resolved.
std::string absoluteClean(const std::string& path)
{
    const std::string full = path.starts_with('/') ? path : currentFolder() + '/' + path;
    std::vector<std::string_view> parts;
    std::string_view rest = full;
    while (!rest.empty()) {
        const std::size_t slash = std::min(rest.find('/'), rest.size());
        const std::string_view part = rest.substr(0, slash);
        rest.remove_prefix(std::min(slash + 1, rest.size()));
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const std::string_view part : parts)
        out.append("/").append(part);
    return out.empty() ? "/" : out;
}

// The window's text report of every row, written by the window's own writer.
StatementFailure writeReport(ResultModel& model, const std::string& fileName)
{
    model.setAllChecked(true);
    return writeTextReportNative(SnapshotTable::of(model), bytes(fileName));
}

// The folders of --files0-from, each ended by a NUL (the last may lack it). Empty names are refused there.
bool readFolderList(const std::string& from, std::vector<std::string>& folders, std::FILE* err)
{
    const bool standardInput = from == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        say(err, bytes(from) + ": " + systemErrorText(errno).toUtf8());
        return false;
    }
    std::string text;
    char block[64 * 1024];
    int failure = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failure = errno;
        if (n <= 0)
            break;
        text.append(block, std::size_t(n));
    }
    if (!standardInput)
        ::close(fd);
    if (failure) {
        say(err, bytes(from) + ": " + systemErrorText(failure).toUtf8());
        return false;
    }
    bool clean = true;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\0', at), text.size());
        if (end == at) {
            say(err, (standardInput ? QByteArray("standard input") : bytes(from)) +
                         ": an empty folder name in the list");
            clean = false;
        } else {
            folders.push_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return clean;
}

// Reads what is searched for: the length and comparison into criteria, or the target check into target. Says
// why and returns false when it cannot be searched for.
bool readWhatToFind(const FinderOptions& options, LiveCriteria& criteria,
                    std::shared_ptr<const TargetCheckSetup>& target, std::FILE* err)
{
    if (options.target.active()) {
        QString wrong;
        std::optional<TargetCheckSetup> setup = resolveFinderTarget(options.target, wrong);
        if (!setup) {
            say(err, wrong.toUtf8());
            return false;
        }
        target = std::make_shared<const TargetCheckSetup>(std::move(*setup));
        return true;
    }
    const QString refused = filterRefusal(options.filter);
    if (!refused.isEmpty()) {
        say(err, refused.toUtf8());
        return false;
    }
    criteria.set(options.length);
    return true;
}

// The paths below a folder that --exclude skips, as the walk spells them.
using SkippedFolders = std::unordered_set<std::string>;

// One run over the folders: the walk of each in turn, its rows written as they come.
class FinderRun
{
    using Output = FinderOptions::Output;

public:
    // out: the descriptor of standard output, its stdio buffer already flushed.
    FinderRun(const FinderOptions& options, const LiveCriteria& criteria,
              std::shared_ptr<const TargetCheckSetup> target, int out, std::FILE* err)
        : m_options(options), m_criteria(criteria), m_target(std::move(target)), m_err(err),
          m_quiet(options.output == Output::Quiet), m_lineStyle(lineStyleFor(options.output, out)),
          m_output(out, m_stop, options.outputClosed), m_targetOutput(options.target, m_lineStyle.quote)
    {
    }

    bool stopped() const { return m_stop.load(); }
    void searchFolder(const std::string& folder);
    // Writes what is left and the summary or report; the exit status.
    int finish(bool trouble);

private:
    static PathLineStyle lineStyleFor(Output output, int out)
    {
        const bool lines = output == Output::Lines || output == Output::WithLength;
        return {lines && ::isatty(out), output == Output::WithLength, output == Output::Print0 ? '\0' : '\n'};
    }
    WalkSettings settingsFor(std::shared_ptr<const SkippedFolders> skipped);
    // Writes (or keeps, for the report) the rows of one report of the walk; hands the batch back for reuse.
    ResultBatch take(WalkReport&& r);

    const FinderOptions& m_options;
    const LiveCriteria& m_criteria;
    const std::shared_ptr<const TargetCheckSetup> m_target;
    std::FILE* const m_err;
    const bool m_quiet;
    const PathLineStyle m_lineStyle;
    // Set by a failed write or a reader gone, and by the first match of --quiet.
    std::atomic<bool> m_stop{false};
    StreamedOutput m_output;
    std::string m_text;
    std::size_t m_found = 0;
    ResultModel m_report;
    TargetOutput m_targetOutput;
    bool m_trouble = false;
};

void FinderRun::searchFolder(const std::string& folder)
{
    // Shared with the readers, which test it on their own threads and may outlive this run when a folder does
    // not answer; it is only read once built.
    auto skipped = std::make_shared<SkippedFolders>();
    for (const std::string& e : m_options.excludes)
        if (std::string p = excludedPathInWalk(e, folder); !p.empty())
            skipped->insert(std::move(p));
    const std::string rootPath = folderPathForWalk(bytes(folder));
    if (skipped->count(rootPath))
        return;
    OpenResult root = fsys::openFolder(folder.c_str());
    if (!root.fd.valid()) {
        m_output.flush();
        say(m_err, bytes(folder) + ": " + root.error().toUtf8());
        m_trouble = true;
        return;
    }
    if (m_options.maxDepth == 0)
        return;
    walkFolder(std::move(root.fd), rootPath, settingsFor(std::move(skipped)),
               [this](WalkReport&& r) { return take(std::move(r)); });
}

WalkSettings FinderRun::settingsFor(std::shared_ptr<const SkippedFolders> skipped)
{
    WalkSettings settings;
    settings.stop = &m_stop;
    settings.criteria = &m_criteria;
    settings.filter = m_options.filter;
    settings.oneFileSystem = m_options.oneFileSystem;
    settings.maxFolderDepth = m_options.maxDepth < 0 ? -1 : m_options.maxDepth - 1;
    settings.beforeOpen = m_options.beforeOpen;
    settings.target = m_target;
    if (!skipped->empty())
        settings.skipFolder = [skipped = std::move(skipped)](std::string_view path) {
            return skipped->count(std::string(path)) != 0;
        };
    settings.repeatedFolder = [this](std::string_view path) {
        m_output.flush();
        say(m_err, QByteArray(path.data(), qsizetype(path.size())) +
                       ": met before through another path (a bind mount); not searched again");
    };
    // Rows go out as soon as they are found; the output gathers them into large writes. A batch is held
    // three times over on its way out (rows, lines, the write): kept small, the finder's memory stays flat
    // however many files match.
    settings.readers = DefaultWalkReaders;
    settings.sliceMs = 10;
    settings.maxRows = m_quiet ? 1 : 8 * 1024;
    settings.reportBeforeWaiting = true;
    return settings;
}

ResultBatch FinderRun::take(WalkReport&& r)
{
    const ResultBatch& rows = r.rows;
    m_found += rows.size();
    if (m_quiet) {
        if (m_found > 0)
            m_stop.store(true);
    } else if (m_target) {
        m_targetOutput.append(r, m_text);
        if (!m_text.empty())
            m_output.push(m_text);
    } else if (m_options.output == Output::Report) {
        m_report.appendBatch(rows);
    } else if (!rows.empty()) {
        appendPathLines(rows, m_lineStyle, m_text);
        m_output.push(m_text);
    }
    if (r.failure) {
        m_output.flush();
        say(m_err, r.failure->path + ": " + r.failure->description.toUtf8());
        m_trouble = true;
    }
    return std::move(r.rows);
}

int FinderRun::finish(bool trouble)
{
    trouble = trouble || m_trouble;
    m_output.finish();
    if (const int e = m_output.error()) {
        // A reader that went away ends the run as SIGPIPE ends find: without a word.
        if (e == EPIPE)
            return OutputClosed;
        say(m_err, QByteArray("cannot write the output: ") + systemErrorText(e).toUtf8());
        trouble = true;
    }
    if (m_target && m_options.target.summary)
        std::fputs(m_targetOutput.summary().c_str(), m_err);
    if (m_options.output == Output::Report) {
        if (const StatementFailure failed = writeReport(m_report, m_options.reportFile)) {
            say(m_err, bytes(m_options.reportFile) + ": " + failed.description.toUtf8());
            trouble = true;
        }
    }
    if (m_quiet && m_found > 0)
        return FoundSome; // as grep -q: a match answers the question, whatever else went wrong
    if (trouble)
        return Trouble;
    return m_found > 0 ? FoundSome : FoundNone;
}

} // namespace

std::string excludedPathInWalk(const std::string& exclude, const std::string& rootAsGiven)
{
    const std::string e = absoluteClean(exclude);
    const std::string r = absoluteClean(rootAsGiven);
    const std::string walkRoot = folderPathForWalk(bytes(rootAsGiven));
    if (e == r)
        return walkRoot;
    const std::string rootSlash = r.ends_with('/') ? r : r + '/';
    if (!e.starts_with(rootSlash))
        return std::string();
    const std::string rest = e.substr(rootSlash.size());
    return walkRoot == "/" ? walkRoot + rest : walkRoot + '/' + rest;
}

int runFinder(const FinderOptions& options, std::FILE* out, std::FILE* err)
{
    if (options.help) {
        std::fputs(finderHelp().toUtf8().constData(), out);
        return FoundSome;
    }
    LiveCriteria criteria;
    std::shared_ptr<const TargetCheckSetup> target;
    if (!readWhatToFind(options, criteria, target, err))
        return Trouble;

    bool trouble = false;
    std::vector<std::string> folders = options.folders;
    if (options.foldersFrom && !readFolderList(*options.foldersFrom, folders, err))
        trouble = true;

    std::fflush(out);
    FinderRun run(options, criteria, std::move(target), ::fileno(out), err);
    for (const std::string& folder : folders) {
        if (run.stopped())
            break;
        run.searchFolder(folder);
    }
    return run.finish(trouble);
}
