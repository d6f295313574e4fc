#include "PrinterSurface.h"

#include "LineClip.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

bool isFinite(QPointF point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

// Lets the surface draw in device coordinates for as long as it lives: saves the painter's state
// and switches its world and view transforms off; the destructor puts everything back.
class DeviceCoordinates
{
public:
    explicit DeviceCoordinates(QPainter &painter) : m_painter(painter)
    {
        m_painter.save();
        m_painter.setWorldMatrixEnabled(false);
        m_painter.setViewTransformEnabled(false);
    }
    ~DeviceCoordinates() { m_painter.restore(); }
    DeviceCoordinates(const DeviceCoordinates &) = delete;
    DeviceCoordinates &operator=(const DeviceCoordinates &) = delete;

private:
    QPainter &m_painter;
};

// A solid pen of PrinterSurface::LineWidthPoints on the painter's device.
QPen linePen(const QPainter &painter, const QColor &colour)
{
    const QPaintDevice *device = painter.device();
    const double dotsPerPoint = device ? device->logicalDpiX() / 72.0 : 1.0;
    return QPen(colour, PrinterSurface::LineWidthPoints * dotsPerPoint, Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

} // namespace

PrinterSurface::PrinterSurface(QPainter &painter)
    : SurfaceState(QSizeF(painter.viewport().size()), painter.font()), m_painter(painter),
      m_viewport(painter.viewport())
{
    // Half the printable area again on every side reaches well past the edges of the paper, and
    // keeps every coordinate handed on within twice the size of the page.
    const double dx = m_viewport.width() / 2;
    const double dy = m_viewport.height() / 2;
    m_limits = m_viewport.adjusted(-dx, -dy, dx, dy);
}

void PrinterSurface::printText(const QString &text)
{
    const QPointF topLeft = toDevice(m_current);
    if (text.isEmpty() || !isFinite(topLeft))
        return;

    const DeviceCoordinates deviceCoordinates(m_painter);
    // The painter turns the point size into dots with the device's own resolution.
    m_painter.setFont(m_font);
    m_painter.setPen(m_textColour);
    const QFontMetricsF metrics(m_painter.font(), m_painter.device());
    const QRectF cell(topLeft, QSizeF(metrics.horizontalAdvance(text), metrics.height()));
    if (!cell.intersects(m_limits))
        return;
    m_painter.drawText(topLeft + QPointF(0, metrics.ascent()), text);
}

QSizeF PrinterSurface::textSize(const QString &text) const
{
    // Measured in device units as printText() draws, then back to logical units.
    const QFontMetricsF metrics(m_font, m_painter.device());
    return {metrics.horizontalAdvance(text) * m_logicalSize.width() / m_viewport.width(),
            metrics.height() * m_logicalSize.height() / m_viewport.height()};
}

void PrinterSurface::drawLine(QPointF from, QPointF to, const QColor &colour)
{
    const std::optional<QLineF> visible = clipLine(QLineF(toDevice(from), toDevice(to)), m_limits);
    if (!visible)
        return;

    const DeviceCoordinates deviceCoordinates(m_painter);
    m_painter.setPen(linePen(m_painter, colour));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawLine(*visible);
}

void PrinterSurface::drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour,
                             Fill fill)
{
    const std::optional<QRectF> box =
        LineClip::clipBox(toDevice(corner), toDevice(oppositeCorner), m_limits);
    if (!box)
        return;
    const DeviceCoordinates deviceCoordinates(m_painter);
    m_painter.setPen(linePen(m_painter, colour));
    if (fill == Fill::Filled)
        m_painter.setBrush(colour);
    else
        m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(*box);
}

void PrinterSurface::clear()
{
    m_current = QPointF();
}

QPointF PrinterSurface::toDevice(QPointF logical) const
{
    return {m_viewport.left() + logical.x() * m_viewport.width() / m_logicalSize.width(),
            m_viewport.top() + logical.y() * m_viewport.height() / m_logicalSize.height()};
}

std::optional<QLineF> PrinterSurface::clipLine(const QLineF &line, const QRectF &rect)
{
    return LineClip::clip(line, rect);
}
