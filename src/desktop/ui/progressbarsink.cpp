// SPDX-License-Identifier: MIT
#include "ui/progressbarsink.h"

#include <QProgressBar>

#include <algorithm>
#include <cmath>

void ProgressBarSink::setValue(double percent)
{
    const int shown = shownValue(percent);
    if (m_bar)
        setValueLater(m_bar, shown);
}

void ProgressBarSink::setValueLater(QProgressBar* bar, int value)
{
    if (bar->value() == value)
        return;
    // With updates off the bar's own repaint does nothing; turning them on again asks for one later.
    const bool enabled = bar->updatesEnabled();
    bar->setUpdatesEnabled(false);
    bar->setValue(value);
    bar->setUpdatesEnabled(enabled);
}

void ProgressBarSink::setText(const QString& text)
{
    if (m_bar && m_bar->format() != text)
        m_bar->setFormat(text);
}

int ProgressBarSink::shownValue(double percent)
{
    if (!(percent > 0)) // also NaN
        return 0;
    return int(std::min(100.0, std::floor(percent)));
}
