// SPDX-License-Identifier: MIT
#include "app/pointer.h"

#include "platform/apperror.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QWidget>

void PointerState::set(Pointer value)
{
    m_value = value;
    if (!m_window)
        return;
    switch (value) {
    case Pointer::Busy:
        m_window->setCursor(Qt::WaitCursor);
        break;
    case Pointer::Hand:
        if (m_hasCustom)
            m_window->setCursor(m_custom);
        else
            m_window->setCursor(Qt::ArrowCursor);
        break;
    default:
        m_window->setCursor(Qt::ArrowCursor);
        break;
    }
}

void PointerState::setCustomCursor(const QCursor& cursor)
{
    m_custom = cursor;
    m_hasCustom = true;
}

QCursor loadCursorData(const QByteArray& bytes)
{
    // Directory entry of the first image: hotspot x and y as little-endian 16-bit values at bytes 10 to 13.
    if (bytes.size() < 22 || bytes[2] != 2 || bytes[3] != 0)
        throw AppError(QStringLiteral("Invalid picture"));
    const auto u8 = [&](int i) { return int(static_cast<unsigned char>(bytes[i])); };
    const int hotX = u8(10) | (u8(11) << 8);
    const int hotY = u8(12) | (u8(13) << 8);
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        throw AppError(QStringLiteral("Invalid picture"));
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}
