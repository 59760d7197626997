// SPDX-License-Identifier: MIT
#include "app/folderpicker.h"

#include "app/closewatcher.h"
#include "app/pointer.h"
#include "services/browseforfolder.h"
#include "services/yielder.h"

QString pickFolderFrom(Dialogs& dialogs, PointerState& pointer, const QString& start,
                       const CloseWatcher& closing)
{
    Yielder yielder;
    const Pointer before = pointer.value();
    pointer.set(Pointer::Busy);
    return browseForFolder(
        dialogs, QStringLiteral("Please select folder:"), start, [&] { yielder(); },
        [&] {
            pointer.set(before);
            return closing.closed();
        });
}
