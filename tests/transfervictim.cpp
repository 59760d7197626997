// SPDX-License-Identifier: MIT
// A move or a trash run for a test to kill: every file of a folder, each copy chunk and each batch sync held
// up by the given milliseconds, so that a kill lands inside the operation.
//   transfervictim move SOURCE_FOLDER TARGET_FOLDER DELAY_MS
//   transfervictim trash SOURCE_FOLDER DELAY_MS
//   transfervictim replace SOURCE_FOLDER TARGET_FOLDER RENAMES
//   transfervictim claim SOURCE_FOLDER CLAIMS
// The last moves within one file system over files of the same names, and the process kills itself (SIGKILL)
// as the given number of renames after a file's staging rename is about to begin (claims of trash entries
// not counted). The claim mode trashes the files and is killed as the given claim of a trash entry is about
// to be renamed to its name. Prints "started" once the operation begins, "finished" at its end.
#include "fileops/moveoperation.h"
#include "fileops/trashoperation.h"
#include "platform/filemove.h"
#include "platform/renamefile.h"
#include "results/resultmodel.h"
#include "support/filetree.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const bool move = (mode == "move" || mode == "replace") && argc == 5;
    if (!move && !((mode == "trash" || mode == "claim") && argc == 4)) {
        std::fputs("usage: transfervictim move SOURCE TARGET DELAY_MS | trash SOURCE DELAY_MS | "
                   "replace SOURCE TARGET RENAMES | claim SOURCE CLAIMS\n",
                   stderr);
        return 2;
    }
    const QByteArray source = argv[2];
    const int count = QByteArray(argv[argc - 1]).toInt();
    if (mode == "replace") {
        // The hook is copied for each call: the count lives outside it.
        auto afterStaging = std::make_shared<int>(-1);
        setRenameFaultHook([count, afterStaging](RenameStep, const QByteArray& toName) {
            if (*afterStaging < 0 && toName.contains("/.lentrova-moving-"))
                *afterStaging = 0;
            else if (toName.endsWith(".trashinfo"))
                return 0;
            else if (*afterStaging >= 0 && ++*afterStaging == count)
                std::raise(SIGKILL);
            return 0;
        });
    } else if (mode == "claim") {
        auto claims = std::make_shared<int>(0);
        setRenameFaultHook([count, claims](RenameStep step, const QByteArray& toName) {
            if (step == RenameStep::NoReplace && toName.endsWith(".trashinfo") && ++*claims == count)
                std::raise(SIGKILL);
            return 0;
        });
    } else {
        setCopyFaultHook([count](CopyStep, qint64) {
            std::this_thread::sleep_for(std::chrono::milliseconds(count));
            return 0;
        });
    }
    ResultModel model;
    for (const QByteArray& name : FileTree::list(source)) {
        const QByteArray path = source + '/' + name;
        model.appendRow(std::string_view(path.constData(), size_t(path.size())), 1);
        model.setChecked(model.rowCount() - 1, true);
    }
    std::puts("started");
    std::fflush(stdout);
    if (move) {
        MoveOperation operation(QByteArray(argv[3]) + '/');
        operation.moveChecked(model.snapshot(), {});
    } else {
        TrashOperation operation;
        operation.addChecked(model.snapshot());
        operation.run({});
    }
    std::puts("finished");
    return 0;
}
