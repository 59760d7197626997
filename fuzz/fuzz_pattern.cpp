// SPDX-License-Identifier: MIT
// Fuzzes the filter's pattern matcher. The input is a pattern and a name split at the first NUL byte. Any
// pattern and name: compiling and matching never crash. A pattern of literal characters and "*" only (the
// input pattern with its "?", "#" and "[" taken out) always compiles and matches exactly when a plain
// dynamic-programming wildcard matcher says it does.
#include "fuzzcheck.h"
#include "search/pattern.h"

#include <cstdint>
#include <vector>

namespace {
// match[i][j]: the first i units of the pattern match the first j units of the name.
bool referenceMatch(std::u16string_view pattern, std::u16string_view name)
{
    const std::size_t m = pattern.size();
    const std::size_t n = name.size();
    std::vector<std::vector<char>> match(m + 1, std::vector<char>(n + 1, 0));
    match[0][0] = 1;
    for (std::size_t i = 1; i <= m; ++i) {
        for (std::size_t j = 0; j <= n; ++j) {
            if (pattern[i - 1] == u'*')
                match[i][j] = match[i - 1][j] || (j > 0 && match[i][j - 1]);
            else
                match[i][j] = j > 0 && match[i - 1][j - 1] && pattern[i - 1] == name[j - 1];
        }
    }
    return match[m][n];
}

std::u16string_view view(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The reference is quadratic; longer inputs add nothing the short ones do not already reach.
    if (size > 4096)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = bytes.indexOf('\0');
    const QString pattern = QString::fromUtf8(cut < 0 ? bytes : bytes.left(cut));
    const QString name = cut < 0 ? QString() : QString::fromUtf8(bytes.mid(cut + 1));
    const QString input = pattern + QStringLiteral(" | ") + name;

    QString error;
    if (const std::optional<Pattern> any = Pattern::compile(pattern, &error))
        (void)any->matches(view(name));
    else if (error.isEmpty())
        fuzzFail("a pattern that does not compile says why", input, QString());

    QString literal = pattern;
    literal.remove(u'?').remove(u'#').remove(u'[');
    const std::optional<Pattern> plain = Pattern::compile(literal, &error);
    if (!plain)
        fuzzFail("literals and stars always compile", input, QStringLiteral("error: ") + error);
    const bool got = plain->matches(view(name));
    if (got != referenceMatch(view(literal), view(name)))
        fuzzFail("literals and stars match as the reference does", input,
                 QStringLiteral("pattern: ") + QString::fromUtf8(fuzzQuoted(literal)) +
                     QStringLiteral(", matcher says ") +
                     (got ? QStringLiteral("yes") : QStringLiteral("no")));
    return 0;
}
