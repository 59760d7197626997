// SPDX-License-Identifier: MIT
// Samples and help.
#include "app/form1.h"

#include "extras/help.h"
#include "platform/apptitle.h"
#include "platform/dialogs.h"

void Form1::PushButton2_Click()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    step(100, [&] { m_dialogs->message(lengthHelpText(), StyleOk, applicationTitle()); });
}

void Form1::PushButton12_Click()
{
    Guard step(m_errorBox, QStringLiteral("Form1"), QStringLiteral("PushButton12_Click"));
    step(100, [&] { m_dialogs->message(contactHelpText(), StyleOk, applicationTitle()); });
}

void Form1::PushButton14_Click()
{
    // Load Sample/Example Folders: not built yet.
}
