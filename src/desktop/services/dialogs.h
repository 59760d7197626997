// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// Message box styles and answers keep the numbers the error box and the tests know them by.
enum class MessageStyle : int {
    Ok = 0,      // OK, no icon
    YesNo = 4,   // Yes and No
    Warning = 48 // OK with the warning icon
};
enum class Answer : int {
    Ok = 1,
    Yes = 6,
    No = 7,
};

// Every modal question the program asks goes through here, so that tests can answer with a script.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual Answer message(const QString& text, MessageStyle style, const QString& title) = 0;
    // One line of input; cancel gives the empty text.
    virtual QString inputText(const QString& prompt, const QString& title) = 0;
    // Empty on cancel. chosenFilter, when given, receives the filter the user left selected.
    virtual QString saveFileName(const QString& title, const QString& filters, const QString& startPath,
                                 QString* chosenFilter = nullptr) = 0;
    // Empty on cancel. startFolder: a folder the caller found to answer (browseForFolder tests it off the
    // window's thread), or empty for the home folder.
    virtual QString existingDirectory(const QString& title, const QString& startFolder) = 0;
};

class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget* parent) : m_parent(parent) {}
    Answer message(const QString& text, MessageStyle style, const QString& title) override;
    QString inputText(const QString& prompt, const QString& title) override;
    QString saveFileName(const QString& title, const QString& filters, const QString& startPath,
                         QString* chosenFilter = nullptr) override;
    QString existingDirectory(const QString& title, const QString& startFolder) override;

private:
    QWidget* m_parent;
};
