// SPDX-License-Identifier: MIT
#pragma once

#include "app/form1.h"
#include "platform/shell.h"
#include "results/resultmodel.h"
#include "support/scripteddialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

class FixedRandom : public RandomSource
{
public:
    explicit FixedRandom(int value) : m_value(value) {}
    int draw1to100() override { return m_value; }

private:
    int m_value;
};

// A loaded window whose dialogs answer from a script; the home page is never drawn.
struct TestForm
{
    ScriptedDialogs dialogs;
    FixedRandom random{1};
    QTemporaryDir install;
    std::unique_ptr<Form1> form;

    TestForm()
    {
        Form1Services services;
        services.dialogs = &dialogs;
        services.random = &random;
        services.installFolder = install.path();
        services.endProgram = [] {};
        form = std::make_unique<Form1>(services);
        form->Form_Load();
    }
    Form1* operator->() const { return form.get(); }
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
