#include "PainterSurface.h"

#include "LineClip.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

namespace {

bool isFinite(QPointF point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

} // namespace

PainterSurface::PainterSurface(QPainter &painter, const QRectF &target, double lineWidth)
    : SurfaceState(target.size(), painter.font()), m_painter(painter), m_target(target),
      m_lineWidth(lineWidth),
      m_ratio(painter.device() ? painter.device()->devicePixelRatioF() : 1.0)
{
    const double dx = m_target.width() / 2;
    const double dy = m_target.height() / 2;
    m_limits = m_target.adjusted(-dx, -dy, dx, dy);
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing);
}

PainterSurface::~PainterSurface()
{
    m_painter.restore();
}

void PainterSurface::printText(const QString &text)
{
    const QPointF topLeft = toPainter(m_current);
    if (text.isEmpty() || !isFinite(topLeft))
        return;
    const QFontMetricsF metrics(m_font, m_painter.device());
    if (!QRectF(topLeft, QSizeF(metrics.horizontalAdvance(text), metrics.height()))
             .intersects(m_limits))
        return;
    m_painter.setFont(m_font);
    m_painter.setPen(m_textColour);
    const double baseline = std::round((topLeft.y() + metrics.ascent()) * m_ratio) / m_ratio;
    m_painter.drawText(QPointF(topLeft.x(), baseline), text);
}

QSizeF PainterSurface::textSize(const QString &text) const
{
    const QFontMetricsF metrics(m_font, m_painter.device());
    // A target of no size has no scale: painter units then.
    const double sx = m_target.width() > 0 ? m_logicalSize.width() / m_target.width() : 1;
    const double sy = m_target.height() > 0 ? m_logicalSize.height() / m_target.height() : 1;
    return {metrics.horizontalAdvance(text) * sx, metrics.height() * sy};
}

void PainterSurface::drawLine(QPointF from, QPointF to, const QColor &colour)
{
    const QPointF a = toPainter(from);
    const QPointF b = toPainter(to);
    if (a.x() == b.x() || a.y() == b.y()) {
        drawStraight(a, b, colour);
        return;
    }
    const std::optional<QLineF> visible = LineClip::clip(QLineF(a, b), m_limits);
    if (!visible)
        return;
    m_painter.setPen(QPen(colour, m_lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    m_painter.drawLine(*visible);
}

void PainterSurface::drawPolyline(std::span<const QPointF> points, const QColor &colour,
                                  double weight)
{
    if (points.size() < 2)
        return;
    QPolygonF line;
    line.reserve(qsizetype(points.size()));
    bool inside = true;
    for (const QPointF point : points) {
        line << toPainter(point);
        inside = inside && m_limits.contains(line.back());
    }
    // One line per segment, with square caps to close the joins: the stroke of the whole line
    // (folded over itself where the readings swing) and round caps fill many times slower.
    // Far-off points: each segment cut on its own.
    m_painter.setPen(
        QPen(colour, m_lineWidth * weight, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    QVarLengthArray<QLineF, 256> segments;
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QLineF segment(line[i - 1], line[i]);
        if (inside)
            segments.append(segment);
        else if (const std::optional<QLineF> visible = LineClip::clip(segment, m_limits))
            segments.append(*visible);
    }
    m_painter.drawLines(segments.constData(), int(segments.size()));
}

void PainterSurface::drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour,
                             Fill fill)
{
    const std::optional<QRectF> box =
        LineClip::clipBox(toPainter(corner), toPainter(oppositeCorner), m_limits);
    if (!box)
        return;
    const double left = box->left(), right = box->right(), top = box->top(), bottom = box->bottom();
    if (fill == Fill::Outline) {
        drawStraight({left, top}, {right, top}, colour);
        drawStraight({left, bottom}, {right, bottom}, colour);
        drawStraight({left, top}, {left, bottom}, colour);
        drawStraight({right, top}, {right, bottom}, colour);
        return;
    }
    const double pixel = 1 / m_ratio;
    const double l = onBoundary(left);
    const double t = onBoundary(top);
    const double r = std::max(onBoundary(right), l + pixel);
    const double bt = std::max(onBoundary(bottom), t + pixel);
    m_painter.fillRect(QRectF(QPointF(l, t), QPointF(r, bt)), colour);
}

void PainterSurface::clear()
{
    m_current = QPointF();
}

QPointF PainterSurface::toPainter(QPointF logical) const
{
    return {m_target.left() + logical.x() * m_target.width() / m_logicalSize.width(),
            m_target.top() + logical.y() * m_target.height() / m_logicalSize.height()};
}

double PainterSurface::onPixels(double at, double width) const
{
    // The hair added keeps coordinates that differ only by rounding (a tick at the end of an
    // axis and the frame) on the same pixel, unless they lie within it of the turning point.
    const double device = at * m_ratio + 1e-6;
    const long pixels = std::max(1L, std::lround(width * m_ratio));
    // An odd number of pixels is centred on a pixel's centre, an even one on a boundary.
    return (pixels % 2 ? std::floor(device) + 0.5 : std::floor(device + 0.5)) / m_ratio;
}

double PainterSurface::onBoundary(double at) const
{
    return std::round(at * m_ratio) / m_ratio;
}

void PainterSurface::drawStraight(QPointF from, QPointF to, const QColor &colour)
{
    const std::optional<QLineF> visible = LineClip::clip(QLineF(from, to), m_limits);
    if (!visible)
        return;
    const QLineF line(onPixels(visible->x1(), m_lineWidth), onPixels(visible->y1(), m_lineWidth),
                      onPixels(visible->x2(), m_lineWidth), onPixels(visible->y2(), m_lineWidth));
    m_painter.setPen(QPen(colour, m_lineWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    m_painter.drawLine(line);
}
