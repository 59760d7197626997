// SPDX-License-Identifier: MIT
#include "search/nametest.h"

#include <QChar>

char16_t foldCase(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}

NameFilter::NameFilter(const QString& filter)
{
    if (filter.isEmpty()) {
        m_mode = Mode::None;
    } else if (filter.contains(QLatin1Char('*'))) {
        m_pattern = Pattern::compile(filter);
        m_mode = m_pattern ? Mode::Pattern : Mode::Rejected;
    } else {
        m_mode = Mode::Substring;
        m_folded.reserve(std::size_t(filter.size()));
        for (QChar c : filter)
            m_folded.push_back(foldCase(c.unicode()));
    }
}

QString NameFilter::problem(const QString& filter)
{
    QString why;
    if (filter.contains(QLatin1Char('*')) && !Pattern::compile(filter, &why))
        return why;
    return QString();
}

bool NameFilter::passes(std::u16string_view name) const
{
    switch (m_mode) {
    case Mode::None:
        return true;
    case Mode::Rejected:
        return false;
    case Mode::Pattern:
        return m_pattern->matches(name);
    case Mode::Substring:
        if (m_folded.size() > name.size())
            return false;
        m_scratch.resize(name.size());
        for (std::size_t i = 0; i < name.size(); ++i)
            m_scratch[i] = foldCase(name[i]);
        return m_scratch.find(m_folded) != std::u16string::npos;
    }
    return false;
}

QString criteriaRefusal(const QString& lengthText, const QString& filterText)
{
    if (!parseLengthCriterion(lengthText, Comparison::EqualTo))
        return lengthRefusal(lengthText);
    return filterRefusal(filterText);
}

QString filterRefusal(const QString& filterText)
{
    const QString why = NameFilter::problem(filterText);
    if (!why.isEmpty())
        return QStringLiteral("Filter: \"%1\" cannot be used as a pattern: %2.").arg(filterText, why);
    return QString();
}
