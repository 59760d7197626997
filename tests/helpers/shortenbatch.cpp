// SPDX-License-Identifier: MIT
// Shortens every name in a folder as one batch, for tests that kill the process in the middle of it.
// Usage: shorten_batch FOLDER LIMIT. Prints "start" once the plan is made, just before the batch begins.
#include "fileops/shorten.h"
#include "fileops/shortenapply.h"
#include "support/filetree.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const QByteArray folder = QByteArray(argv[1]) + '/';
    const std::optional<ShortenLimit> limit = parseShortenLimit(QString::fromLocal8Bit(argv[2]));
    if (!limit)
        return 2;
    std::vector<ShortenCandidate> candidates;
    quint64 id = 0;
    for (const QByteArray& name : FileTree::list(folder))
        candidates.push_back({++id, folder + name});
    const std::vector<ShortenItem> plan = planShortening(candidates, *limit);
    std::fputs("start\n", stdout);
    std::fflush(stdout);
    const ShortenResult result = applyShortening(plan, *limit);
    return result.journalError.isEmpty() && result.outcomes.size() == plan.size() ? 0 : 1;
}
