// SPDX-License-Identifier: MIT
#pragma once

#include "services/dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <functional>

// Answers the program's dialogs from a script and records what was asked.
class ScriptedDialogs : public Dialogs
{
public:
    struct Message
    {
        QString text;
        int style; // by its number, as the box styles are known
        QString title;
    };
    QList<Message> messages;
    QQueue<Answer> answers;            // for Yes/No questions; No when empty
    QQueue<QString> inputs;            // for the input box; cancel when empty
    QQueue<QString> saveNames;         // for the save dialog; cancel when empty
    QQueue<QString> saveChosenFilters; // the filter left selected with each name; the first one when empty
    QQueue<QString> directories;       // for the folder picker; cancel when empty
    QStringList inputPrompts;
    QStringList inputTitles;
    QStringList saveTitles;
    QStringList saveFilters;
    QStringList saveStarts;
    QStringList directoryStarts;
    std::function<void(const Message&)> onMessage; // runs while the box would be open

    Answer message(const QString& text, MessageStyle style, const QString& title) override;
    QString inputText(const QString& prompt, const QString& title) override;
    QString saveFileName(const QString& title, const QString& filters, const QString& startPath,
                         QString* chosenFilter = nullptr) override;
    QString existingDirectory(const QString& title, const QString& startFolder) override;

    // Texts of the application error boxes shown so far.
    QStringList errorTexts() const;
    int countMessages(const QString& text) const;
};
