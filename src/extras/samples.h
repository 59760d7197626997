// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// The two sample folders installed beside the program, as folder-list rows (each with its closing separator).
QStringList sampleFolderRows(const QString& installFolder);
// The folder that holds them, for the file manager.
QString samplesFolder(const QString& installFolder);
QString samplesQuestionText();
