// SPDX-License-Identifier: MIT
#include "extras/samples.h"

QStringList sampleFolderRows(const QString& installFolder)
{
    return {installFolder + QStringLiteral("/Samples/sample1/"),
            installFolder + QStringLiteral("/Samples/sample2/")};
}

QList<QByteArray> sampleFolderRows(const QByteArray& installFolderNative)
{
    return {installFolderNative + "/Samples/sample1/", installFolderNative + "/Samples/sample2/"};
}

QByteArray samplesFolder(const QByteArray& installFolderNative)
{
    return installFolderNative + "/Samples/";
}

QString samplesFolder(const QString& installFolder)
{
    return installFolder + QStringLiteral("/Samples/");
}

QString samplesQuestionText()
{
    return QStringLiteral(
        "Would you like this software to open the folder where these sample files are stored (so "
        "that you can view them before working with them)?");
}
