// SPDX-License-Identifier: MIT
// Operations on the files of checked rows.
#include "app/form1.h"

void Form1::PushButton10_Click() {} // Send Checked To Recycle Bin: not built yet
void Form1::PushButton11_Click() {} // Move To Folder: not built yet
