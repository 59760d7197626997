// SPDX-License-Identifier: MIT
#include "services/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {
constexpr int Attempts = 1000;
}

void clearClipboard()
{
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard) {
            clipboard->clear(QClipboard::Clipboard);
            return;
        }
    }
}

bool setClipboardText(const QString& text, int format)
{
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            continue;
        if (format == 0) {
            clipboard->setText(text, QClipboard::Clipboard);
        } else {
            auto* data = new QMimeData;
            data->setData(QStringLiteral("application/x-qt-windows-mime;value=\"%1\"").arg(format),
                          text.toUtf8());
            clipboard->setMimeData(data, QClipboard::Clipboard);
        }
        return true;
    }
    return false;
}
