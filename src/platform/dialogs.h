// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// Every modal question the program asks goes through here, so that tests can answer with a script.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // style: 0 OK, 4 Yes/No, 48 OK with the warning icon. Returns 1 (OK), 6 (Yes) or 7 (No).
    virtual int message(const QString& text, int style, const QString& title) = 0;
    // One line of input; cancel gives the empty text.
    virtual QString inputText(const QString& prompt, const QString& title) = 0;
    // Empty on cancel.
    virtual QString saveFileName(const QString& title, const QString& filters, const QString& startPath) = 0;
    // Empty on cancel. startFolder is used only when it names an existing folder.
    virtual QString existingDirectory(const QString& title, const QString& startFolder) = 0;
};

class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget* parent) : m_parent(parent) {}
    int message(const QString& text, int style, const QString& title) override;
    QString inputText(const QString& prompt, const QString& title) override;
    QString saveFileName(const QString& title, const QString& filters, const QString& startPath) override;
    QString existingDirectory(const QString& title, const QString& startFolder) override;

private:
    QWidget* m_parent;
};
