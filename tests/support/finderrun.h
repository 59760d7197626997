// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <string>
#include <vector>

struct FinderRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
// lentrova-find run in this process on exact bytes; a usage error comes back as exit code 2 with its words.
FinderRun runFinderHere(const std::vector<std::string>& args);
