// SPDX-License-Identifier: MIT
#include "cli/finder.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    QString error;
    const std::optional<FinderOptions> options = parseFinderArguments(args, error);
    if (!options) {
        std::fprintf(stderr, "lentrova-find: %s\n%s", error.toUtf8().constData(),
                     finderUsage().toUtf8().constData());
        return Trouble;
    }
    return runFinder(*options, stdout, stderr);
}
