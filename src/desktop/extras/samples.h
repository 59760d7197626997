// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The two sample folders installed beside the program, as folder-list rows (each with its closing separator).
QStringList sampleFolderRows(const QString& installFolder);
QList<QByteArray> sampleFolderRows(const QByteArray& installFolderNative);
// The folder that holds them, for the file manager.
QString samplesFolder(const QString& installFolder);
QByteArray samplesFolder(const QByteArray& installFolderNative);
QString samplesQuestionText();
