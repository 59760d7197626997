// SPDX-License-Identifier: MIT
// lentrova-find's standard output: the streamed writer, and paths as they are written to a pipe or a
// terminal.
#include "finderoutput.h"
#include "finder.h"

#include <cerrno>
#include <charconv>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

StreamedOutput::StreamedOutput(int fd, std::atomic<bool>& stop, std::function<void()> readerGone)
    : m_fd(fd), m_stop(stop), m_readerGone(std::move(readerGone))
{
    struct stat st;
    m_watchReader = ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    m_thread = std::thread([this] { run(); });
}

void StreamedOutput::push(std::string& text)
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

void StreamedOutput::flush()
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

void StreamedOutput::finish()
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

int StreamedOutput::error()
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void StreamedOutput::fail(int err)
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

bool StreamedOutput::readerGone() const
{
    pollfd p{m_fd, 0, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLERR);
}

void StreamedOutput::run()
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

// What quoting a path needs so that the shell reads it back as it is.
struct QuoteNeed
{
    bool needsQuotes = false;
    bool singleQuote = false;
    bool doubleQuotesServe = true; // nothing the shell reads inside double quotes
};

QuoteNeed quoteNeed(std::string_view path)
{
    QuoteNeed need;
    need.needsQuotes = path.empty();
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c >= 0x80) {
            if (const std::size_t n = printableSequence(path, i)) {
                i += n - 1;
                continue;
            }
            need.needsQuotes = true;
            need.doubleQuotesServe = false;
            continue;
        }
        switch (c) {
        case '!':
        case '"':
        case '$':
        case '\\':
        case '`':
            need.doubleQuotesServe = false;
            need.needsQuotes = true;
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
            need.needsQuotes = true;
            break;
        case '\'':
            need.needsQuotes = need.singleQuote = true;
            break;
        case '#':
        case '~':
            need.needsQuotes = need.needsQuotes || i == 0;
            break;
        case '{':
        case '}':
            need.needsQuotes = need.needsQuotes || path.size() == 1;
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                need.needsQuotes = true;
                need.doubleQuotesServe = false;
            }
        }
    }
    return need;
}

// The path in single quotes, what the terminal would not show as $'...' escapes.
std::string singleQuoted(std::string_view path)
{
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

} // namespace

std::string quotedForTerminal(std::string_view path)
{
    const QuoteNeed need = quoteNeed(path);
    if (!need.needsQuotes)
        return std::string(path);
    if (need.singleQuote && need.doubleQuotesServe)
        return '"' + std::string(path) + '"';
    return singleQuoted(path);
}

void appendPathLines(const ResultBatch& rows, const PathLineStyle& style, std::string& text)
{
    for (const ResultBatch::Entry& row : rows.entries) {
        const std::string_view path(rows.bytes.data() + row.offset, row.pathBytes);
        if (style.quote)
            text.append(quotedForTerminal(path));
        else
            text.append(path);
        if (style.withLength) {
            char digits[8];
            const auto end = std::to_chars(digits, digits + sizeof digits, row.measuredLength).ptr;
            text.push_back('\t');
            text.append(digits, end);
        }
        text.push_back(style.separator);
    }
}
