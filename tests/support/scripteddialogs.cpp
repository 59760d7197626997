// SPDX-License-Identifier: MIT
#include "support/scripteddialogs.h"

#include "services/errorbox.h"

Answer ScriptedDialogs::message(const QString& text, MessageStyle style, const QString& title)
{
    messages.append({text, int(style), title});
    if (onMessage)
        onMessage(messages.last());
    if (style == MessageStyle::YesNo)
        return answers.isEmpty() ? Answer::No : answers.dequeue();
    return Answer::Ok;
}

QString ScriptedDialogs::inputText(const QString& prompt, const QString& title)
{
    inputPrompts.append(prompt);
    inputTitles.append(title);
    return inputs.isEmpty() ? QString() : inputs.dequeue();
}

QString ScriptedDialogs::saveFileName(const QString& title, const QString& filters, const QString& startPath,
                                      QString* chosenFilter)
{
    saveTitles.append(title);
    saveFilters.append(filters);
    saveStarts.append(startPath);
    const QString chosen = saveChosenFilters.isEmpty() ? filters.section(QStringLiteral(";;"), 0, 0)
                                                       : saveChosenFilters.dequeue();
    if (chosenFilter)
        *chosenFilter = chosen;
    return saveNames.isEmpty() ? QString() : saveNames.dequeue();
}

QString ScriptedDialogs::existingDirectory(const QString& /*title*/, const QString& startFolder)
{
    directoryStarts.append(startFolder);
    return directories.isEmpty() ? QString() : directories.dequeue();
}

QStringList ScriptedDialogs::errorTexts() const
{
    QStringList texts;
    for (const Message& m : messages)
        if (m.title == errorBoxTitle())
            texts.append(m.text);
    return texts;
}

int ScriptedDialogs::countMessages(const QString& text) const
{
    int n = 0;
    for (const Message& m : messages)
        n += m.text == text ? 1 : 0;
    return n;
}
