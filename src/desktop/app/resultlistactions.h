// SPDX-License-Identifier: MIT
#pragma once

#include "app/actionservices.h"

#include <QString>

// The operations on the result list that leave files alone: the text report, the clipboard copy, the two
// prunes, opening the selected file or its folder, clearing. Each reports failures against the handler name
// the error box has always shown ("Form1.PushButton4_Click" and so on).
class ResultListActions : private ActionController
{
public:
    explicit ResultListActions(const ActionServices& services) : ActionController(services) {}

    void saveReport();
    void copyToClipboard();
    void removeContaining();
    void removeNotContaining();
    void openSelectedFile();
    void revealSelectedFile();
    void clear();

private:
    QString m_lastReportPath; // where the save dialog starts; kept for this run only
    // These yield; a second click while one runs is ignored.
    bool m_writingReport = false;
    bool m_copyingResults = false;
    bool m_pruning = false;
};
