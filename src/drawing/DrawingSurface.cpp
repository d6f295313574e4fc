#include "DrawingSurface.h"

QString DrawingSurface::numberText(std::int16_t value)
{
    // A negative number's "-" stands where the blank before a positive number would.
    QString text = QString::number(value);
    if (value >= 0)
        text.prepend(u' ');
    text.append(u' ');
    return text;
}

void DrawingSurface::drawPolyline(std::span<const QPointF> points, const QColor &colour, double)
{
    for (std::size_t i = 1; i < points.size(); ++i)
        drawLine(points[i - 1], points[i], colour);
}
