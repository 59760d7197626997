// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

QString homePageAddress();
QString contactPageAddress();
// Shown by the Help button below the result list: how a name's length is counted.
QString lengthHelpText();
// Shown by the Help button below the folder list.
QString contactHelpText();
