// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"
#include "results/resultmodel.h"
#include "support/fixtures.h"
#include "support/scripteddialogs.h"
#include "support/windowservices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

// A loaded window whose dialogs answer from the script and whose end of the program does nothing; the home
// page is drawn from random (never, by default).
inline std::unique_ptr<MainWindow>
makeTestWindow(ScriptedDialogs& dialogs, const QString& installFolder,
               const QString& displayName = QStringLiteral("Lentrova Software"),
               RandomSource* random = nullptr)
{
    MainWindowServices services = testWindowServices(dialogs, installFolder);
    if (random)
        services.random = random;
    services.displayName = displayName;
    return loadedWindow(services);
}

// A loaded window with a script of its own and an empty install folder.
struct TestForm
{
    ScriptedDialogs dialogs;
    QTemporaryDir install;
    std::unique_ptr<MainWindow> form = makeTestWindow(dialogs, install.path());

    MainWindow* operator->() const { return form.get(); }
    ResultModel& results() const { return *form->resultModel(); }
};

// Creates a file (and its folders) under root and returns its full path.
inline QString makeFile(const QString& root, const QString& relative, const QByteArray& content = "x")
{
    const QString path = root + QLatin1Char('/') + relative;
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

// Adds a row the way the search does: the file's path and the length of its name.
inline void addResult(ResultModel& model, const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    model.appendRow(std::string_view(native.constData(), std::size_t(native.size())), quint16(name.size()));
}
