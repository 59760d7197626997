// SPDX-License-Identifier: MIT
#pragma once

#include "results/textreport.h"

class QProgressBar;

// Shows progress on a bar, touching the widget only when what it shows changes: a million rows give a million
// values but at most a hundred repaints.
class ProgressBarSink : public ProgressSink
{
public:
    explicit ProgressBarSink(QProgressBar* bar) : m_bar(bar) {}
    void setValue(double percent) override;
    void setText(const QString& text) override;
    // The whole percentage the bar shows for a value: truncated, and never above 100.
    static int shownValue(double percent);
    // Sets the bar's value and leaves the repaint to the event loop. QProgressBar repaints at once, which
    // takes about a millisecond the caller then waits for.
    static void setValueLater(QProgressBar* bar, int value);

private:
    QProgressBar* m_bar;
};
