// SPDX-License-Identifier: MIT
#pragma once

#include "results/resultmodel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string_view>

// A target check lists folders as rows too; their paths end with "/".
inline bool isFolderRow(std::string_view nativePath)
{
    return nativePath.size() > 1 && nativePath.back() == '/';
}

// The path a desktop call takes for a row: a folder row without its closing "/".
QByteArray rowTargetPath(const QByteArray& nativePath);

// The rows the trash and the move work on: a snapshot whose checked folder rows are left unchecked, the
// model's own check marks untouched. folderRows receives the display paths of the folder rows left out.
ResultSnapshot snapshotOfCheckedFiles(ResultModel& model, QStringList* folderRows);

// The message naming the folder rows an operation on files left alone; empty when there are none.
QString folderRowsLeftText(const QStringList& folderRows, const QString& operation);
