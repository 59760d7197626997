// SPDX-License-Identifier: MIT
// lentrova-find's options: what --help shows, and reading the arguments into FinderOptions.
#include "finder.h"

#include "search/lengthconv.h"

#include <QRegularExpression>

#include <charconv>

namespace {

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

// What the arguments said, before their combination is checked.
struct ArgumentsRead
{
    FinderOptions options;
    std::optional<std::string> number; // the value of --eq, --gt or --lt
    std::string numberOption;          // which of them gave it
    std::string unit = "name";
    bool outputChosen = false;
};

enum class OptionOutcome {
    NotThisKind, // left to the next kind of option
    Taken,
    Refused,  // the error says why
    Finished, // --help or --version: nothing after it matters
};

// One option as the arguments give it; its value follows "=" in the same argument or is the next argument.
class OptionArgument
{
public:
    OptionArgument(const std::vector<std::string>& args, std::size_t& at, QString& error)
        : m_args(args), m_at(at), m_error(error), m_name(args[at])
    {
        if (const std::size_t eq = m_name.find('='); m_name.rfind("--", 0) == 0 && eq != std::string::npos) {
            m_inlineValue = m_name.substr(eq + 1);
            m_name.resize(eq);
        }
    }

    const std::string& name() const { return m_name; }

    bool value(std::string& into)
    {
        if (m_inlineValue) {
            into = *m_inlineValue;
            return true;
        }
        if (m_at + 1 >= m_args.size()) {
            m_error = QStringLiteral("option %1 needs a value").arg(QString::fromStdString(m_name));
            return false;
        }
        into = m_args[++m_at];
        return true;
    }

    bool takesNoValue()
    {
        if (!m_inlineValue)
            return true;
        m_error = QStringLiteral("option %1 takes no value").arg(QString::fromStdString(m_name));
        return false;
    }

private:
    const std::vector<std::string>& m_args;
    std::size_t& m_at;
    QString& m_error;
    std::string m_name;
    std::optional<std::string> m_inlineValue;
};

bool chooseOutput(ArgumentsRead& read, FinderOptions::Output kind, QString& error)
{
    if (read.outputChosen && read.options.output != kind) {
        error = QStringLiteral("choose one of --print0, --with-length, --report and --quiet");
        return false;
    }
    read.outputChosen = true;
    read.options.output = kind;
    return true;
}

OptionOutcome taken(bool ok)
{
    return ok ? OptionOutcome::Taken : OptionOutcome::Refused;
}

// What is searched for and where: the length, the filter, the folders to skip, how deep to go.
OptionOutcome takeSearchOption(OptionArgument& option, ArgumentsRead& read, QString& error)
{
    const std::string& name = option.name();
    FinderOptions& o = read.options;
    std::string v;
    if (name == "--eq" || name == "--gt" || name == "--lt") {
        if (read.number) {
            error = QStringLiteral("choose one of --eq, --gt and --lt");
            return OptionOutcome::Refused;
        }
        if (!option.value(v))
            return OptionOutcome::Refused;
        read.number = v;
        read.numberOption = name;
        o.length.comparison = name == "--eq"   ? Comparison::EqualTo
                              : name == "--gt" ? Comparison::GreaterThan
                                               : Comparison::LessThan;
    } else if (name == "--unit") {
        return taken(option.value(read.unit));
    } else if (name == "--filter") {
        if (!option.value(v))
            return OptionOutcome::Refused;
        o.filter = QString::fromUtf8(v.data(), qsizetype(v.size()));
    } else if (name == "--exclude") {
        if (!option.value(v))
            return OptionOutcome::Refused;
        o.excludes.push_back(v);
    } else if (name == "--max-depth") {
        if (!option.value(v))
            return OptionOutcome::Refused;
        int depth = -1;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), depth);
        if (ec != std::errc() || end != v.data() + v.size() || depth < 0) {
            error = QStringLiteral("--max-depth needs a whole number of levels, 0 or more");
            return OptionOutcome::Refused;
        }
        o.maxDepth = depth;
    } else if (name == "--files0-from") {
        if (!option.value(v))
            return OptionOutcome::Refused;
        o.foldersFrom = v;
    } else if (name == "--one-file-system") {
        if (!option.takesNoValue())
            return OptionOutcome::Refused;
        o.oneFileSystem = true;
    } else {
        return OptionOutcome::NotThisKind;
    }
    return OptionOutcome::Taken;
}

OptionOutcome takeOutputOption(OptionArgument& option, ArgumentsRead& read, QString& error)
{
    using Output = FinderOptions::Output;
    const std::string& name = option.name();
    if (name == "--report")
        return taken(chooseOutput(read, Output::Report, error) && option.value(read.options.reportFile));
    if (name == "--print0")
        return taken(option.takesNoValue() && chooseOutput(read, Output::Print0, error));
    if (name == "--with-length")
        return taken(option.takesNoValue() && chooseOutput(read, Output::WithLength, error));
    if (name == "--quiet" || name == "-q")
        return taken(option.takesNoValue() && chooseOutput(read, Output::Quiet, error));
    return OptionOutcome::NotThisKind;
}

OptionOutcome takeOption(OptionArgument& option, ArgumentsRead& read, QString& error)
{
    if (const OptionOutcome o = takeSearchOption(option, read, error); o != OptionOutcome::NotThisKind)
        return o;
    if (const OptionOutcome o = takeOutputOption(option, read, error); o != OptionOutcome::NotThisKind)
        return o;
    const std::string& name = option.name();
    if (bool takes = false; isTargetOption(name, &takes)) {
        std::string v;
        if (takes ? !option.value(v) : !option.takesNoValue())
            return OptionOutcome::Refused;
        return taken(takeTargetOption(name, v, read.options.target, error));
    }
    if (name == "--help" || name == "-h") {
        read.options.help = true;
        return OptionOutcome::Finished;
    }
    if (name == "--version") {
        read.options.version = true;
        return OptionOutcome::Finished;
    }
    error = QStringLiteral("unknown option %1").arg(QString::fromUtf8(name.data(), qsizetype(name.size())));
    return OptionOutcome::Refused;
}

// Reads the arguments in order; Taken once all are read.
OptionOutcome readArguments(const std::vector<std::string>& args, ArgumentsRead& read, QString& error)
{
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-") {
            error = QStringLiteral("- is not a folder here: to read the folders from standard input, give "
                                   "--files0-from -; for a folder named -, write ./-");
            return OptionOutcome::Refused;
        }
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            read.options.folders.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        OptionArgument option(args, i, error);
        if (const OptionOutcome o = takeOption(option, read, error); o != OptionOutcome::Taken)
            return o;
    }
    return OptionOutcome::Taken;
}

// Why options that were each read well do not go together; empty when they do.
QString combinationRefusal(const ArgumentsRead& read)
{
    const FinderOptions& o = read.options;
    if (o.target.active()) {
        if (read.number || !o.filter.isEmpty() || read.unit != "name" ||
            (read.outputChosen && o.output != FinderOptions::Output::Quiet))
            return QStringLiteral("--target checks every name: --eq, --gt, --lt, --unit, --filter, --print0, "
                                  "--with-length and --report do not go with it");
    } else if (o.target.anyGiven()) {
        return QStringLiteral(
            "--target-folder, --rules, --with-reason, --summary and --format go with --target");
    } else if (!read.number) {
        return QStringLiteral("one of --eq, --gt and --lt is needed");
    }
    if (o.foldersFrom && !o.folders.empty())
        return QStringLiteral("give the folders either as arguments or with --files0-from, not both");
    if (o.folders.empty() && !o.foldersFrom)
        return QStringLiteral("no folder to search");
    return QString();
}

// The value and unit of the length options, each refused in its option's name.
bool readLength(const ArgumentsRead& read, LengthCriterion& length, QString& error)
{
    const QString number = QString::fromUtf8(read.number->data(), qsizetype(read.number->size()));
    const std::optional<qint16> value = convertToInt16(number);
    if (!value) {
        error = QStringLiteral("%1: \"%2\" is not a number from -32768 to 32767")
                    .arg(QString::fromStdString(read.numberOption), number);
        return false;
    }
    length.value = *value;
    static const QRegularExpression pathBytes(QStringLiteral("^path(-|\\s+)bytes$"));
    const QString given = QString::fromUtf8(read.unit.data(), qsizetype(read.unit.size()));
    const QString unit = given.trimmed().toLower();
    if (unit.isEmpty() || unit == QLatin1String("name")) {
        length.unit = LengthUnit::Name;
    } else if (unit == QLatin1String("bytes")) {
        length.unit = LengthUnit::Bytes;
    } else if (unit == QLatin1String("path")) {
        length.unit = LengthUnit::Path;
    } else if (pathBytes.match(unit).hasMatch()) {
        length.unit = LengthUnit::PathBytes;
    } else {
        error = QStringLiteral("--unit: unknown unit \"%1\" (name, bytes, path or path-bytes)").arg(given);
        return false;
    }
    return true;
}
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
    ArgumentsRead read;
    const OptionOutcome outcome = readArguments(args, read, error);
    if (outcome == OptionOutcome::Refused)
        return std::nullopt;
    if (outcome == OptionOutcome::Finished)
        return read.options;
    if (const QString refused = combinationRefusal(read); !refused.isEmpty()) {
        error = refused;
        return std::nullopt;
    }
    if (!read.options.target.active() && !readLength(read, read.options.length, error))
        return std::nullopt;
    return read.options;
}
