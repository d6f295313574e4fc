#pragma once

#include "DrawingSurface.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QSizeF>

// The drawing state that a surface drawing through a painter keeps: the logical size, the text
// colour (black until set), the font of the texts (size and weight as set) and the current
// position. A logical size or a font size that is not a finite number above 0 is ignored.
class SurfaceState : public DrawingSurface
{
public:
    void setLogicalSize(double width, double height) override;
    void setTextColour(const QColor &colour) override;
    void setFontSize(double points) override;
    void setBold(bool bold) override;
    void setCurrentX(double x) override;
    void setCurrentY(double y) override;

protected:
    SurfaceState(QSizeF logicalSize, QFont font)
        : m_logicalSize(logicalSize), m_font(std::move(font))
    {}

    QSizeF m_logicalSize;
    QFont m_font;
    QColor m_textColour = Qt::black;
    QPointF m_current;
};
