// SPDX-License-Identifier: MIT
#include "finder.h"

#include "platform/dirlisting.h"
#include "platform/textfile.h"
#include "results/listformat.h"
#include "results/listtable.h"
#include "results/resultmodel.h"
#include "results/textreport.h"
#include "search/lengthunit.h"
#include "search/walker.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Output that streams: while rows come fast they leave in large writes, yet none waits longer than
// FlushDelay; a reader that went away (a closed pipe) stops the walk at once.
class StreamedOutput
{
public:
    StreamedOutput(int fd, std::atomic<bool>& stop, std::function<void()> readerGone)
        : m_fd(fd), m_stop(stop), m_readerGone(std::move(readerGone))
    {
        struct stat st;
        m_watchReader = ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
        m_thread = std::thread([this] { run(); });
    }
    ~StreamedOutput() { finish(); }
    StreamedOutput(const StreamedOutput&) = delete;
    StreamedOutput& operator=(const StreamedOutput&) = delete;

    // Takes the text; it comes back empty, its capacity kept.
    void push(std::string& text)
    {
        std::unique_lock lock(m_mutex);
        if (m_error) {
            text.clear();
            return;
        }
        if (m_pending.empty()) {
            m_pending.swap(text);
            m_since = Clock::now();
            m_wake.notify_one();
        } else {
            m_pending.append(text);
        }
        text.clear();
        if (m_pending.size() >= LargeWrite) {
            lock.unlock();
            flush();
        }
    }
    // Writes what waits before returning.
    void flush()
    {
        std::lock_guard writing(m_writeMutex);
        {
            std::lock_guard lock(m_mutex);
            if (m_error)
                m_pending.clear();
            m_writing.swap(m_pending);
        }
        const char* p = m_writing.data();
        std::size_t left = m_writing.size();
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fail(n < 0 ? errno : EIO);
                break;
            }
            p += n;
            left -= std::size_t(n);
        }
        m_writing.clear();
    }
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_closing)
                return;
            m_closing = true;
            m_wake.notify_one();
        }
        m_thread.join();
        flush();
    }
    // The errno of the write that failed, EPIPE once the reader went away; 0 while all was written.
    int error()
    {
        std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    static constexpr std::size_t LargeWrite = 256 * 1024;
    // With the walk's report slice, a found name is written within 50 ms.
    static constexpr auto FlushDelay = std::chrono::milliseconds(25);
    // How often a pipe with nothing to write is asked whether its reader is still there.
    static constexpr auto ReaderCheck = std::chrono::milliseconds(50);

    void fail(int err)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_error)
                return;
            m_error = err;
            m_pending.clear();
            m_stop.store(true);
        }
        if (err == EPIPE && m_readerGone)
            m_readerGone();
    }
    bool readerGone() const
    {
        pollfd p{m_fd, 0, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLERR);
    }
    void run()
    {
        std::unique_lock lock(m_mutex);
        while (!m_closing) {
            if (m_pending.empty()) {
                m_wake.wait_for(lock, ReaderCheck);
            } else if (Clock::now() < m_since + FlushDelay) {
                m_wake.wait_until(lock, m_since + FlushDelay);
                continue;
            } else {
                lock.unlock();
                flush();
                lock.lock();
            }
            if (m_watchReader && !m_error && readerGone()) {
                lock.unlock();
                fail(EPIPE);
                lock.lock();
            }
        }
    }

    const int m_fd;
    std::atomic<bool>& m_stop;
    const std::function<void()> m_readerGone;
    bool m_watchReader = false;
    std::mutex m_mutex; // guards what follows, up to m_writeMutex
    std::condition_variable m_wake;
    std::string m_pending;
    Clock::time_point m_since; // when m_pending last stopped being empty
    bool m_closing = false;
    int m_error = 0;
    std::mutex m_writeMutex; // held through a write, so that writes leave in the order they were taken
    std::string m_writing;
    std::thread m_thread;
};

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

struct OptionHelp
{
    const char* spellings; // as shown, value included
    const char* text;
};

// Every option, as --help shows it; finderOptionNames reads the names from here.
const OptionHelp Options[] = {
    {"--eq N, --gt N, --lt N", "the length must be equal to, greater than or less than N (-32768 to\n"
                               "32767; one of the three is needed)"},
    {"--unit UNIT", "what the length counts: name (the default: the file name in UTF-16\n"
                    "units, as the window counts), bytes (the name's bytes), path (the\n"
                    "path below FOLDER, in UTF-16 units), path-bytes (that path in bytes)"},
    {"--filter TEXT", "only names containing TEXT, case ignored; a TEXT with * is a pattern\n"
                      "the whole name must match (* ? # [a-z] [!0-9])"},
    {"--exclude FOLDER", "skip FOLDER and everything below it; may be given again"},
    {"--one-file-system", "do not enter folders on another file system than FOLDER"},
    {"--max-depth N", "look at most N levels below each FOLDER, as find -maxdepth: 1 is\n"
                      "FOLDER's own files, 0 is nothing"},
    {"--files0-from FILE", "read the folders from FILE, each name ended by a NUL; - reads\n"
                           "standard input (a folder argument of - is refused)"},
    {"--print0", "end each path with a NUL instead of a line break, for xargs -0"},
    {"--with-length", "follow each path with a tab and the measured length"},
    {"--report FILE", "write the Lentrova window's text report to FILE instead of paths"},
    {"-q, --quiet", "print nothing; stop at the first match: the exit status tells"},
    {"--target PROFILE", "instead of lengths, list what would not copy to PROFILE: windows,\n"
                         "exfat, fat32, onedrive, macos, ecryptfs, linux; auto takes the\n"
                         "file system of --target-folder"},
    {"--target-folder PATH", "where the files would go (a Windows path too), for path lengths"},
    {"--rules KEYS", "the rules to check: all (the default), keys separated by commas,\n"
                     "or keys led by - to leave out"},
    {"--with-reason", "follow each path with a tab and its reasons"},
    {"--summary", "end with the count of files and folders per rule on standard error"},
    {"--format FORMAT", "lines (the default) or json: one object per line"},
    {"-h, --help", "show this help"},
    {"--version", "show the version"},
};

} // namespace

QString finderUsage()
{
    return QStringLiteral("usage: lentrova-find (--eq N | --gt N | --lt N) [OPTION]... FOLDER...\n"
                          "       lentrova-find (--eq N | --gt N | --lt N) [OPTION]... --files0-from FILE\n"
                          "       lentrova-find --target PROFILE [OPTION]... FOLDER...\n");
}

QString finderHelp()
{
    QString help = finderUsage();
    help += QStringLiteral("\nLists the files below each FOLDER whose name or path is as long as asked: the\n"
                           "search of the Lentrova window, without the window.\n\n");
    for (const OptionHelp& o : Options) {
        const QString spellings = QString::fromLatin1(o.spellings);
        QStringList lines = QString::fromLatin1(o.text).split(QLatin1Char('\n'));
        help += QStringLiteral("  %1%2\n").arg(spellings.leftJustified(24), lines.takeFirst());
        for (const QString& l : lines)
            help += QString(26, QLatin1Char(' ')) + l + QLatin1Char('\n');
    }
    help += QStringLiteral(
        "\nPaths are printed as their bytes are stored, each file's folders first to last, files\n"
        "before sub-folders. On a terminal a name with spaces, quotes, control characters or\n"
        "line breaks is quoted as ls quotes it; in a pipe it is written raw. A folder reached\n"
        "again through a bind mount is named on standard error and not searched twice.\n"
        "With --target every file and folder is checked; a folder's path ends with /, and one\n"
        "that cannot be read is listed with its reason.\n"
        "Exit status: 0 when a file matched (or would be refused), 1 when none did, 2 on an\n"
        "error.\n\n"
        "Examples:\n"
        "  lentrova-find --gt 255 --unit bytes ~/Archive       # names no Linux file system takes\n"
        "  lentrova-find --gt 219 --unit path --with-length ~/Projects\n"
        "  lentrova-find --gt 60 --filter '*.mp3' --exclude ~/Music/Old ~/Music\n"
        "  lentrova-find -q --gt 143 --unit bytes ~/Sync && echo 'too long for eCryptfs'\n"
        "  lentrova-find --gt 100 --max-depth 2 --one-file-system --print0 / | xargs -0 ls -ld\n"
        "  find ~ -maxdepth 1 -type d -print0 | lentrova-find --gt 80 --files0-from -\n"
        "  lentrova-find --gt 100 --report long-names.txt ~/Documents\n"
        "  lentrova-find --target windows --with-reason --summary ~/Projects\n"
        "  lentrova-find --target auto --target-folder /media/stick ~/Photos\n\n"
        "Full documentation: man lentrova-find\n");
    return help;
}

std::vector<std::string> finderOptionNames()
{
    std::vector<std::string> names;
    for (const OptionHelp& o : Options) {
        std::string_view rest = o.spellings;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find(','), rest.size());
            std::string_view one = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            while (one.starts_with(' '))
                one.remove_prefix(1);
            names.emplace_back(one.substr(0, std::min(one.find(' '), one.size())));
        }
    }
    return names;
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
        if (arg == "-") {
            error = QStringLiteral("- is not a folder here: to read the folders from standard input, give "
                                   "--files0-from -; for a folder named -, write ./-");
            return std::nullopt;
        }
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
                error = QStringLiteral("choose one of --print0, --with-length, --report and --quiet");
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
        } else if (arg == "--max-depth") {
            if (!value(v))
                return std::nullopt;
            int depth = -1;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), depth);
            if (ec != std::errc() || end != v.data() + v.size() || depth < 0) {
                error = QStringLiteral("--max-depth needs a whole number of levels, 0 or more");
                return std::nullopt;
            }
            o.maxDepth = depth;
        } else if (arg == "--files0-from") {
            if (!value(v))
                return std::nullopt;
            o.foldersFrom = v;
        } else if (arg == "--report") {
            if (!output(FinderOptions::Output::Report) || !value(o.reportFile))
                return std::nullopt;
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
        } else if (arg == "--quiet" || arg == "-q") {
            if (!takesNoValue() || !output(FinderOptions::Output::Quiet))
                return std::nullopt;
        } else if (bool takes = false; isTargetOption(arg, &takes)) {
            if (takes ? !value(v) : !takesNoValue())
                return std::nullopt;
            if (!takeTargetOption(arg, v, o.target, error))
                return std::nullopt;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
            return o;
        } else if (arg == "--version") {
            o.version = true;
            return o;
        } else {
            error =
                QStringLiteral("unknown option %1").arg(QString::fromUtf8(arg.data(), qsizetype(arg.size())));
            return std::nullopt;
        }
    }
    if (o.target.active()) {
        if (number || !o.filter.isEmpty() || unit != "name" ||
            (outputChosen && o.output != FinderOptions::Output::Quiet)) {
            error =
                QStringLiteral("--target checks every name: --eq, --gt, --lt, --unit, --filter, --print0, "
                               "--with-length and --report do not go with it");
            return std::nullopt;
        }
    } else if (o.target.anyGiven()) {
        error = QStringLiteral(
            "--target-folder, --rules, --with-reason, --summary and --format go with --target");
        return std::nullopt;
    } else if (!number) {
        error = QStringLiteral("one of --eq, --gt and --lt is needed");
        return std::nullopt;
    }
    if (o.foldersFrom && !o.folders.empty()) {
        error = QStringLiteral("give the folders either as arguments or with --files0-from, not both");
        return std::nullopt;
    }
    if (o.folders.empty() && !o.foldersFrom) {
        error = QStringLiteral("no folder to search");
        return std::nullopt;
    }
    if (o.target.active())
        return o;
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

namespace {

// The length of the UTF-8 sequence at s[at] when it is one the terminal shows (valid, not a C1 control);
// 0 otherwise.
std::size_t printableSequence(std::string_view s, std::size_t at)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
    const unsigned lead = b(0);
    std::size_t n = 0;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (at + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (b(k) & 0x3F);
    }
    const bool overlong = (n == 3 && c < 0x800) || (n == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0x80 && c <= 0x9F))
        return 0;
    return n;
}

void appendEscaped(std::string& out, unsigned char c)
{
    static constexpr char Letters[] = "abtnvfr"; // \a (7) to \r (13)
    out.push_back('\\');
    if (c >= 7 && c <= 13) {
        out.push_back(Letters[c - 7]);
        return;
    }
    out.push_back(char('0' + (c >> 6)));
    out.push_back(char('0' + ((c >> 3) & 7)));
    out.push_back(char('0' + (c & 7)));
}

} // namespace

std::string quotedForTerminal(std::string_view path)
{
    bool needsQuotes = path.empty();
    bool singleQuote = false;
    bool doubleQuotesServe = true; // nothing the shell reads inside double quotes
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c >= 0x80) {
            if (const std::size_t n = printableSequence(path, i)) {
                i += n - 1;
                continue;
            }
            needsQuotes = true;
            doubleQuotesServe = false;
            continue;
        }
        switch (c) {
        case '!':
        case '"':
        case '$':
        case '\\':
        case '`':
            doubleQuotesServe = false;
            needsQuotes = true;
            break;
        case ' ':
        case '&':
        case '(':
        case ')':
        case '*':
        case ';':
        case '<':
        case '=':
        case '>':
        case '?':
        case '[':
        case '^':
        case '|':
            needsQuotes = true;
            break;
        case '\'':
            needsQuotes = singleQuote = true;
            break;
        case '#':
        case '~':
            needsQuotes = needsQuotes || i == 0;
            break;
        case '{':
        case '}':
            needsQuotes = needsQuotes || path.size() == 1;
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                needsQuotes = true;
                doubleQuotesServe = false;
            }
        }
    }
    if (!needsQuotes)
        return std::string(path);
    if (singleQuote && doubleQuotesServe)
        return '"' + std::string(path) + '"';
    std::string out = "'";
    bool escaping = false; // inside $'...'
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        std::size_t n = 1;
        const bool printable = c >= 0x80 ? (n = printableSequence(path, i)) != 0 : c >= 0x20 && c != 0x7F;
        if (!printable) {
            if (!escaping)
                out.append("'$'");
            escaping = true;
            appendEscaped(out, c);
            continue;
        }
        if (escaping)
            out.append("''");
        escaping = false;
        if (c == '\'')
            out.append("'\\''");
        else
            out.append(path.substr(i, n));
        i += n - 1;
    }
    out.push_back('\'');
    return out;
}

int runFinder(const FinderOptions& options, std::FILE* out, std::FILE* err)
{
    if (options.help) {
        std::fputs(finderHelp().toUtf8().constData(), out);
        return FoundSome;
    }
    LiveCriteria criteria;
    std::shared_ptr<const TargetCheckSetup> target;
    if (options.target.active()) {
        QString wrong;
        std::optional<TargetCheckSetup> setup = resolveFinderTarget(options.target, wrong);
        if (!setup) {
            say(err, wrong.toUtf8());
            return Trouble;
        }
        target = std::make_shared<const TargetCheckSetup>(std::move(*setup));
    } else {
        const QString refused = criteriaRefusal(options.lengthText, options.filter);
        if (!refused.isEmpty()) {
            say(err, refused.toUtf8());
            return Trouble;
        }
        const std::optional<LengthSpec> spec = parseLengthSpec(options.lengthText);
        criteria.set(spec->length, options.comparison, spec->unit);
    }

    bool trouble = false;
    std::vector<std::string> folders = options.folders;
    if (options.foldersFrom && !readFolderList(*options.foldersFrom, folders, err))
        trouble = true;

    using Output = FinderOptions::Output;
    const bool quiet = options.output == Output::Quiet;
    const bool lines = options.output == Output::Lines || options.output == Output::WithLength;
    std::fflush(out);
    const int outFd = ::fileno(out);
    const bool quote = lines && ::isatty(outFd);
    const char separator = options.output == Output::Print0 ? '\0' : '\n';
    // Set by a failed write or a reader gone, and by the first match of --quiet.
    std::atomic<bool> stop{false};
    StreamedOutput output(outFd, stop, options.outputClosed);
    std::string text;
    std::size_t found = 0;
    ResultModel report;
    TargetOutput targetOutput(options.target, quote);

    for (const std::string& folder : folders) {
        if (stop.load())
            break;
        // Shared with the readers, which test it on their own threads and may outlive this loop when a folder
        // does not answer; it is only read once built.
        auto skipped = std::make_shared<std::unordered_set<std::string>>();
        for (const std::string& e : options.excludes)
            if (std::string p = excludedPathInWalk(e, folder); !p.empty())
                skipped->insert(std::move(p));
        const std::string rootPath = folderPathForWalk(bytes(folder));
        if (skipped->count(rootPath))
            continue;
        OpenResult root = fsys::openFolder(folder.c_str());
        if (!root.fd.valid()) {
            output.flush();
            say(err, bytes(folder) + ": " + root.error().toUtf8());
            trouble = true;
            continue;
        }
        if (options.maxDepth == 0)
            continue;
        WalkSettings settings;
        settings.stop = &stop;
        settings.criteria = &criteria;
        settings.filter = options.filter;
        settings.oneFileSystem = options.oneFileSystem;
        settings.maxFolderDepth = options.maxDepth < 0 ? -1 : options.maxDepth - 1;
        settings.beforeOpen = options.beforeOpen;
        settings.target = target;
        if (!skipped->empty())
            settings.skipFolder = [skipped = std::shared_ptr<const std::unordered_set<std::string>>(skipped)](
                                      std::string_view path) {
                return skipped->count(std::string(path)) != 0;
            };
        settings.repeatedFolder = [&](std::string_view path) {
            output.flush();
            say(err, QByteArray(path.data(), qsizetype(path.size())) +
                         ": met before through another path (a bind mount); not searched again");
        };
        // Rows go out as soon as they are found; the output gathers them into large writes.
        settings.readers = DefaultWalkReaders;
        settings.sliceMs = 10;
        settings.maxRows = quiet ? 1 : 64 * 1024;
        settings.reportBeforeWaiting = true;
        walkFolder(std::move(root.fd), rootPath, settings, [&](WalkReport&& r) {
            const ResultBatch& rows = r.rows;
            found += rows.size();
            if (quiet) {
                if (found > 0)
                    stop.store(true);
            } else if (target) {
                targetOutput.append(r, text);
                if (!text.empty())
                    output.push(text);
            } else if (options.output == Output::Report) {
                report.appendBatch(rows);
            } else if (!rows.empty()) {
                for (const ResultBatch::Entry& row : rows.entries) {
                    const std::string_view path(rows.bytes.data() + row.offset, row.length);
                    if (quote)
                        text.append(quotedForTerminal(path));
                    else
                        text.append(path);
                    if (options.output == Output::WithLength) {
                        char digits[8];
                        const auto end = std::to_chars(digits, digits + sizeof digits, row.nameLength).ptr;
                        text.push_back('\t');
                        text.append(digits, end);
                    }
                    text.push_back(separator);
                }
                output.push(text);
            }
            if (r.failure) {
                output.flush();
                say(err, r.failure->path + ": " + r.failure->description.toUtf8());
                trouble = true;
            }
            return std::move(r.rows);
        });
    }
    output.finish();
    if (const int e = output.error()) {
        // A reader that went away ends the run as SIGPIPE ends find: without a word.
        if (e == EPIPE)
            return OutputClosed;
        say(err, QByteArray("cannot write the output: ") + systemErrorText(e).toUtf8());
        trouble = true;
    }
    if (target && options.target.summary)
        std::fputs(targetOutput.summary().c_str(), err);
    if (options.output == Output::Report) {
        if (const StatementFailure failed = writeReport(report, options.reportFile)) {
            say(err, bytes(options.reportFile) + ": " + failed.description.toUtf8());
            trouble = true;
        }
    }
    if (quiet && found > 0)
        return FoundSome; // as grep -q: a match answers the question, whatever else went wrong
    if (trouble)
        return Trouble;
    return found > 0 ? FoundSome : FoundNone;
}
