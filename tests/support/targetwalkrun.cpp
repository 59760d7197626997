// SPDX-License-Identifier: MIT
#include "support/targetwalkrun.h"

#include "finder.h"
#include "search/walker.h"
#include "support/filetree.h"

#include <cstdio>

TargetWalkRun runTargetWalk(const QByteArray& folder, const QString& profile, int readers,
                            const QByteArray& targetFolder, const TargetRuleSet& rules)
{
    TargetWalkRun run;
    QString error;
    const std::optional<TargetCheckSetup> setup = resolveTargetSetup(profile, targetFolder, rules, &error);
    if (!setup) {
        run.failures << error.toUtf8();
        return run;
    }
    std::atomic<bool> stop{false};
    WalkSettings settings;
    settings.stop = &stop;
    settings.readers = readers;
    settings.maxRows = 3;
    settings.sliceMs = 0;
    settings.target = std::make_shared<const TargetCheckSetup>(*setup);
    OpenResult root = fsys::openFolder(folder.constData());
    if (!root.fd.valid()) {
        run.failures << folder;
        return run;
    }
    walkFolder(std::move(root.fd), folderPathForWalk(folder), settings, [&](WalkReport&& report) {
        const ResultBatch& rows = report.rows;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ResultBatch::Entry& e = rows.entries[i];
            const std::string_view path(rows.bytes.data() + e.offset, e.pathBytes);
            run.rows << QByteArray(path.data(), qsizetype(path.size())) + '\t' + rows.problemText(i).toUtf8();
        }
        for (const ResultBatch::Problem& p : rows.problems) {
            const ResultBatch::Entry& e = rows.entries[p.entry];
            addTargetRow(run.batch, std::string_view(rows.bytes.data() + e.offset, e.pathBytes),
                         targetReasons(rows, p));
        }
        if (report.failure)
            run.failures << report.failure->path;
        run.tally.add(report.target);
        return ResultBatch();
    });
    return run;
}

FinderRun runFinderHere(const std::vector<std::string>& args)
{
    FinderRun r;
    QString error;
    const std::optional<FinderOptions> options = parseFinderArguments(args, error);
    if (!options) {
        r.exitCode = Trouble;
        r.err = error.toUtf8();
        return r;
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    r.exitCode = runFinder(*options, out, err);
    for (auto [file, into] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::fflush(file);
        std::rewind(file);
        char block[4096];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;)
            into->append(block, qsizetype(n));
        std::fclose(file);
    }
    return r;
}

bool makeTree(const QByteArray& top, const QByteArrayList& entries)
{
    for (const QByteArray& entry : entries) {
        const bool made = entry.endsWith('/') ? FileTree::makeFolder(top + '/' + entry.chopped(1))
                                              : FileTree::write(top + '/' + entry, entry);
        if (!made)
            return false;
    }
    return true;
}
