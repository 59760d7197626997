// SPDX-License-Identifier: MIT
// The search run and the folder list.
#include "app/form1.h"

void Form1::PushButton1_Click()
{
    // Start Finding / Stop: not built yet.
}

void Form1::PushButton3_Click()
{
    // Add Folder To Search: not built yet.
}

void Form1::ListView1_KeyDown(int keyCode)
{
    (void)keyCode; // removing a folder: not built yet
}
