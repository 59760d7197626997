// SPDX-License-Identifier: MIT
#pragma once

#include "app/searchrun.h"
#include "results/resultmodel.h"
#include "services/errorbox.h"
#include "support/scripteddialogs.h"

#include <QFile>
#include <QTest>

// The window's search run on a plain host: a folder list, the criteria texts and a result model, without the
// window's widgets, so that tests can compare what the search finds with other ways of finding it.
class SearchHost : public SearchRunHost
{
public:
    ScriptedDialogs scripted;
    ErrorBox box{scripted};
    ResultModel model;
    QList<QByteArray> folders;
    QString filter;
    QString length = QStringLiteral("-1");
    int comparisonIndex = 1; // the place in the comparison list; -1 for none chosen
    QString caption = QStringLiteral("Start Finding");
    SearchRun run{*this};

    QString buttonCaption() const override { return caption; }
    void setButtonCaption(const QString& c) override { caption = c; }
    int folderCount() const override { return int(folders.size()); }
    QString folderText(int row) const override { return QFile::decodeName(folders[row]); }
    QByteArray folderNativePath(int row) const override { return folders[row]; }
    QString filterText() const override { return filter; }
    QString lengthText() const override { return length; }
    std::optional<Comparison> comparison() const override { return comparisonAt(comparisonIndex); }
    void setProgressValue(int) override {}
    void setProgressText(const QString&) override {}
    void setFolderHeader(const QString&) override {}
    void setBusy(bool) override {}
    ResultModel& results() override { return model; }
    Dialogs& dialogs() override { return scripted; }
    ErrorBox& errorBox() override { return box; }
    ErrorLocation runLocation() const override
    {
        return {QStringLiteral("Form1"), QStringLiteral("PushButton1_Click")};
    }
    std::pair<ErrorLocation, int> walkFailurePlace() const override
    {
        return {{QStringLiteral("modSearch"), QStringLiteral("searchFiles")}, 112};
    }

    // Presses Start and waits for "Done.".
    bool search()
    {
        const int before = scripted.countMessages(QStringLiteral("Done."));
        run.click();
        return QTest::qWaitFor([&] { return scripted.countMessages(QStringLiteral("Done.")) == before + 1; },
                               60000);
    }
    // Each row as the path's bytes, a tab and the length column.
    QList<QByteArray> rows() const
    {
        QList<QByteArray> out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.nativePath(r) + '\t' + QByteArray::number(model.measuredLength(r));
        return out;
    }
};
