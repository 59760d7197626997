// SPDX-License-Identifier: MIT
#include "app/actionservices.h"

#include "app/fileoperationgate.h"
#include "services/apptitle.h"
#include "services/dialogs.h"
#include "services/errorbox.h"

bool ActionController::refusedWhileBusy(Guard& step, int label)
{
    if (!m_fileOperations.busy())
        return false;
    step(label,
         [&] { m_dialogs->message(FileOperationGate::busyText(), MessageStyle::Ok, applicationTitle()); });
    return true;
}
