// SPDX-License-Identifier: MIT
#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QStringList>
#include <QTextItem>
#include <QWidget>

// The texts a widget paints, in painting order, as its style lays them out (elided, for one): the widget is
// rendered onto a device that keeps each text and draws nothing.
class PaintedText : public QPaintDevice
{
public:
    static QStringList of(QWidget* widget)
    {
        PaintedText device(widget->size());
        widget->render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
        return device.m_engine.texts;
    }

    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / 960;
        case PdmHeightMM:
            return m_size.height() * 254 / 960;
        case PdmNumColors:
            return 0x7fffffff;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    explicit PaintedText(QSize size) : m_size(size) {}

    struct Engine : QPaintEngine
    {
        QStringList texts;
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        // Every other shape comes down to a polygon, which the base class would hand back and forth.
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { texts.append(item.text()); }
        Type type() const override { return User; }
    };
    QSize m_size;
    mutable Engine m_engine;
};
