// SPDX-License-Identifier: MIT
#pragma once

#include "search/nametest.h"

#include <QString>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// lentrova-find: the window's search for scripts, on the same name test and walk, without a display.

struct FinderOptions
{
    enum class Output { Lines, Print0, WithLength, Report };
    Comparison comparison = Comparison::EqualTo;
    QString lengthText; // as the length box would read: the number, then the unit word if any
    QString filter;
    bool oneFileSystem = false;
    std::vector<std::string> excludes;
    Output output = Output::Lines;
    QString reportFile;
    std::vector<std::string> folders; // exactly as given: bytes
    bool help = false;
};

// Exit statuses, as grep's.
inline constexpr int FoundSome = 0;
inline constexpr int FoundNone = 1;
inline constexpr int Trouble = 2;

// Reads the arguments (without the program name). On a usage error, error holds what to say.
std::optional<FinderOptions> parseFinderArguments(const std::vector<std::string>& args, QString& error);

QString finderUsage();

// Runs the search and writes its output; messages go to err. Returns the exit status.
int runFinder(const FinderOptions& options, std::FILE* out, std::FILE* err);

// The path of a folder as the walk spells the paths below root (rootAsGiven), when it lies below root;
// empty otherwise. Both are resolved lexically against the current folder (".", "..", doubled separators),
// links are not followed.
std::string excludedPathInWalk(const std::string& exclude, const std::string& rootAsGiven);
