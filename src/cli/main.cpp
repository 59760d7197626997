// SPDX-License-Identifier: MIT
#include "finder.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    QString error;
    std::optional<FinderOptions> options = parseFinderArguments(args, error);
    if (!options) {
        std::fprintf(stderr, "lentrova-find: %s\n%sTry 'lentrova-find --help' for more.\n",
                     error.toUtf8().constData(), finderUsage().toUtf8().constData());
        return Trouble;
    }
    if (options->version) {
        std::printf("lentrova-find (Lentrova) %s\n", LENTROVA_VERSION);
        return FoundSome;
    }
    // Even where whoever started us ignored SIGPIPE: the caller sees the end find would have.
    const auto endBySigpipe = [] {
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
    };
    options->outputClosed = endBySigpipe;
    const int status = runFinder(*options, stdout, stderr);
    if (status == OutputClosed)
        endBySigpipe();
    return status;
}
