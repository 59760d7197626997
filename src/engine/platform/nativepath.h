// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <string_view>

// Paths as this platform spells them: bytes, "/" the one separator (a backslash is an ordinary character).
// The window shows a path decoded as QFile decodes it, so that encoding the text gives the same bytes back.

inline constexpr char PathSeparator = '/';

// The part after the last separator; the whole path without one; empty when the path ends in one.
inline std::string_view fileNameOf(std::string_view path)
{
    const std::size_t slash = path.rfind(PathSeparator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
QByteArray fileNameOf(const QByteArray& path);
QString fileNameOf(const QString& path);

// The path up to and including the last separator; empty without one.
inline std::string_view folderOf(std::string_view path)
{
    const std::size_t slash = path.rfind(PathSeparator);
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}
QByteArray folderOf(const QByteArray& path);
QString folderOf(const QString& path);

// The folder that holds path, as a system call takes it: without a closing separator, "/" for an item of the
// root and "." for a bare name.
QByteArray parentFolder(const QByteArray& path);

// folder and name with one separator between them (none added after a folder that ends in one).
QByteArray joinPath(const QByteArray& folder, QByteArrayView name);

// Native bytes as the window shows them, and back (QFile's encoding: the two are inverses).
QString toDisplay(const QByteArray& nativePath);
QString toDisplay(std::string_view nativePath);
QByteArray fromDisplay(const QString& path);

// Replaces each doubled separator with one, scanning from the left without overlap. A leading run of
// separators becomes the platform's root prefix: one "/" here (two backslashes where network paths exist).
QString collapseSeparators(const QString& path);
