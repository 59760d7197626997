// SPDX-License-Identifier: MIT
#pragma once

#include "search/lengthunit.h"
#include "targetoutput.h"

#include <QString>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// lentrova-find: the window's search for scripts, on the same name test and walk, without a display.

struct FinderOptions
{
    enum class Output { Lines, Print0, WithLength, Report, Quiet };
    LengthCriterion length;
    QString filter;
    bool oneFileSystem = false;
    int maxDepth = -1; // levels of names below each folder looked at, as find's -maxdepth; -1: all
    std::vector<std::string> excludes;
    Output output = Output::Lines;
    std::string reportFile;                 // bytes, as given
    std::vector<std::string> folders;       // exactly as given: bytes
    std::optional<std::string> foldersFrom; // a file of folder names each ended by a NUL; "-": standard input
    FinderTargetOptions target;             // a target check instead of a length search
    bool help = false;
    bool version = false;
    // Called on the output's thread as soon as the output's reader goes away. The walk stops then, but may be
    // held in a call that does not return (a dead share): the program ends here.
    std::function<void()> outputClosed;
    // For tests: runs before each sub-folder is opened, as WalkSettings' hook.
    std::function<int(std::string_view path)> beforeOpen;
};

// Exit statuses, as grep's.
inline constexpr int FoundSome = 0;
inline constexpr int FoundNone = 1;
inline constexpr int Trouble = 2;
// The output's reader went away: main ends the program by SIGPIPE, as find ends.
inline constexpr int OutputClosed = 141;

// Reads the arguments (without the program name). On a usage error, error holds what to say.
std::optional<FinderOptions> parseFinderArguments(const std::vector<std::string>& args, QString& error);

QString finderUsage();
QString finderHelp();
// Every option's spellings, as --help, the manual page and the shell completions must offer them.
std::vector<std::string> finderOptionNames();

// Runs the search and writes its output; messages go to err. Returns the exit status.
int runFinder(const FinderOptions& options, std::FILE* out, std::FILE* err);

// The path of a folder as the walk spells the paths below root (rootAsGiven), when it lies below root;
// empty otherwise. Both are resolved lexically against the current folder (".", "..", doubled separators),
// links are not followed; bytes are compared as they are.
std::string excludedPathInWalk(const std::string& exclude, const std::string& rootAsGiven);

// A path as GNU ls shows it on a terminal (--quoting-style=shell-escape): as it is when the shell would read
// it so, else in single quotes, control characters and bytes that are not UTF-8 as $'\n' and $'\377'.
std::string quotedForTerminal(std::string_view path);
