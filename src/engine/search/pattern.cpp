// SPDX-License-Identifier: MIT
#include "search/pattern.h"

std::optional<Pattern> Pattern::compile(const QString& text, QString* error)
{
    return compile(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())),
        error);
}

std::optional<Pattern> Pattern::compile(std::u16string_view text, QString* error)
{
    Pattern p;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'*':
            // Runs of stars mean the same as one and would only slow the backtracking.
            if (p.m_tokens.empty() || p.m_tokens.back().op != Op::Star)
                p.m_tokens.push_back({Op::Star});
            break;
        case u'?':
            p.m_tokens.push_back({Op::AnyOne});
            break;
        case u'#':
            p.m_tokens.push_back({Op::Digit});
            break;
        case u'[': {
            const std::size_t close = text.find(u']', i + 1);
            if (close == std::u16string_view::npos) {
                if (error)
                    *error = QStringLiteral("a \"[\" is not closed by \"]\"");
                return std::nullopt;
            }
            std::u16string_view list = text.substr(i + 1, close - i - 1);
            i = close;
            if (list.empty())
                break; // "[]" stands for the empty text
            bool negated = false;
            if (list[0] == u'!' && list.size() > 1) {
                negated = true;
                list.remove_prefix(1);
            }
            Token t{negated ? Op::NotSet : Op::Set};
            t.setBegin = unsigned(p.m_ranges.size());
            for (std::size_t k = 0; k < list.size(); ++k) {
                if (k + 2 < list.size() && list[k + 1] == u'-') {
                    if (list[k] > list[k + 2]) {
                        if (error)
                            *error = QStringLiteral("the range \"%1\" runs backwards")
                                         .arg(QString::fromUtf16(list.data() + k, 3));
                        return std::nullopt;
                    }
                    p.m_ranges.emplace_back(list[k], list[k + 2]);
                    k += 2;
                } else {
                    p.m_ranges.emplace_back(list[k], list[k]);
                }
            }
            t.setEnd = unsigned(p.m_ranges.size());
            p.m_tokens.push_back(t);
            break;
        }
        default: {
            Token t{Op::Literal};
            t.ch = c;
            p.m_tokens.push_back(t);
        }
        }
    }
    return p;
}

bool Pattern::matchOne(const Token& t, char16_t c) const
{
    switch (t.op) {
    case Op::Literal:
        return c == t.ch;
    case Op::AnyOne:
        return true;
    case Op::Digit:
        return c >= u'0' && c <= u'9';
    case Op::Set:
    case Op::NotSet: {
        bool in = false;
        for (unsigned k = t.setBegin; k < t.setEnd && !in; ++k)
            in = c >= m_ranges[k].first && c <= m_ranges[k].second;
        return in != (t.op == Op::NotSet);
    }
    case Op::Star:
        break;
    }
    return false;
}

bool Pattern::matches(std::u16string_view name) const
{
    // Every token but the star takes exactly one unit, so the classic backtrack to the last star suffices:
    // the latest star absorbing one more unit covers every choice an earlier star could make.
    const std::size_t nt = m_tokens.size(), nn = name.size();
    std::size_t t = 0, s = 0;
    std::size_t starToken = SIZE_MAX, starName = 0;
    while (s < nn) {
        if (t < nt && m_tokens[t].op == Op::Star) {
            starToken = t++;
            starName = s;
        } else if (t < nt && matchOne(m_tokens[t], name[s])) {
            ++t;
            ++s;
        } else if (starToken != SIZE_MAX) {
            t = starToken + 1;
            s = ++starName;
        } else {
            return false;
        }
    }
    while (t < nt && m_tokens[t].op == Op::Star)
        ++t;
    return t == nt;
}
