// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Path helpers on the platform's directory separator ("/" here; a backslash is an ordinary character).

// The part after the last separator; the whole text without one; empty when the text ends in one.
QString fileNameOfPath(const QString& path);
QByteArray fileNameOfPath(const QByteArray& nativePath);

// The text up to and including the last separator; empty without one.
QString folderOfPath(const QString& path);
QByteArray folderOfPath(const QByteArray& nativePath);

// Replaces each doubled separator with one, scanning from the left without overlap. A leading run of
// separators becomes the platform's root prefix: one "/" here (two backslashes where network paths exist).
QString collapseSeparators(const QString& path);
