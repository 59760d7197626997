// SPDX-License-Identifier: MIT
#include "extras/help.h"

QString homePageAddress()
{
    return QStringLiteral("https://www.quenlor.example.com/");
}

QString contactPageAddress()
{
    return QStringLiteral("https://www.quenlor.example.com/contact");
}

QString lengthHelpText()
{
    return QStringLiteral("cat.csv = filename length of 7\r\nmy test.exe = filename length of 11");
}

QString contactHelpText()
{
    return QStringLiteral("Questions? Please contact Team Quenlor at ") + contactPageAddress();
}
