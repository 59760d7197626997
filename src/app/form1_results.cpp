// SPDX-License-Identifier: MIT
// Operations on the result list that leave files alone.
#include "app/form1.h"

void Form1::PushButton4_Click() {} // Save Results As Text File: not built yet
void Form1::PushButton5_Click() {} // Open Selected File: not built yet
void Form1::PushButton6_Click() {} // Remove Results Containing X: not built yet
void Form1::PushButton7_Click() {} // Clear Results: not built yet
void Form1::PushButton8_Click() {} // Remove Results Not Cont. X: not built yet
void Form1::PushButton9_Click() {} // Copy Results To Clipboard: not built yet
void Form1::PushButton13_Click() {} // Open Folder Containg File: not built yet
