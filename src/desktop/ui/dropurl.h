// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QUrl;

struct DropFolderRow
{
    QString text;      // the row's text, as the search shows it (bytes that are not UTF-8 read as U+FFFD)
    QByteArray native; // the exact bytes the search walks
};

// The folder-list row for a dropped URL, shaped as the folder picker's rows are: no closing separator (except
// the root), doubled separators halved. Nothing for a URL that is not a file on this machine: another scheme,
// or a host other than none, "localhost" or this machine's name. Whether the folder exists is not checked.
std::optional<DropFolderRow> folderRowFromDropUrl(const QUrl& url);
