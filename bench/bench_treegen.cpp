// SPDX-License-Identifier: MIT
// Makes a benchmark tree: bench_treegen DIR FILES FOLDERS SEED
#include "treegen.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: bench_treegen DIR FILES FOLDERS SEED\n");
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    TreeGenerator gen(args[4].toUInt());
    const auto stats = gen.generate(args[1], args[2].toLongLong(), args[3].toLongLong());
    std::printf("generated %lld files in %lld folders under %s in %.1f s\n", stats.files, stats.folders,
                qPrintable(args[1]), clock.elapsed() / 1000.0);
    return 0;
}
