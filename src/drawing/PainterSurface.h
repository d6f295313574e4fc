#pragma once

#include "SurfaceState.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QPainter;

// A drawing surface on any painter already begun on its device (a widget, an image, a pixmap), in
// the painter's own coordinates, which on a widget are device-independent pixels: on a screen
// with a device pixel ratio of 2 everything lands on twice as many pixels and stays sharp.
//
// The logical size spans `target` (painter coordinates), x and y each on its own scale; until
// setLogicalSize() a logical unit is one painter unit. Texts (in points) and line widths (in
// painter units) do not follow the logical scale.
//
// Lines are antialiased and `lineWidth` painter units wide, a polyline `weight` times that, with
// round ends and joins. A horizontal or vertical line instead has square ends, and its ends and
// its position move by less than a device pixel to where it covers whole device pixels, so that a
// grid line of width 1 is one crisp pixel wide at a ratio of 1 and two at a ratio of 2. A filled
// box covers the device pixels between its edges rounded to the nearest pixel boundary (at least
// one pixel either way); an outline is drawn as four such lines.
//
// Texts use the painter's font as it is when the surface is made, with the size and weight of
// setFontSize() and setBold(); black until a colour is set. The top-left corner of the text cell
// lands on the current position, the baseline on a whole device pixel.
//
// Anything far off the target is cut away before it reaches the painter (lines keeping their
// slope, boxes cut, a text whose cell lies wholly outside left out), within the target enlarged
// by half its size on every side, so coordinates of any size are safe. Non-finite coordinates
// draw nothing. The painter's state is saved when the surface is made and restored when it goes.
class PainterSurface : public SurfaceState
{
public:
    PainterSurface(QPainter &painter, const QRectF &target, double lineWidth = 1);
    ~PainterSurface() override;
    PainterSurface(const PainterSurface &) = delete;
    PainterSurface &operator=(const PainterSurface &) = delete;

    void printText(const QString &text) override;
    QSizeF textSize(const QString &text) const override;
    void drawLine(QPointF from, QPointF to, const QColor &colour) override;
    void drawPolyline(std::span<const QPointF> points, const QColor &colour,
                      double weight) override;
    void drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour, Fill fill) override;

    // Nothing drawn can be taken back from the painter's device: this only puts the current
    // position back at (0, 0).
    void clear() override;

    // Where a logical point lands in the painter's coordinates.
    QPointF toPainter(QPointF logical) const;

private:
    // A coordinate of a horizontal or vertical line of the given width moved to where the line
    // covers whole device pixels; in painter units.
    double onPixels(double at, double width) const;
    // A coordinate on the nearest device pixel boundary.
    double onBoundary(double at) const;
    void drawStraight(QPointF from, QPointF to, const QColor &colour);

    QPainter &m_painter;
    QRectF m_target;
    QRectF m_limits; // the target and half its size around it
    double m_lineWidth;
    double m_ratio; // device pixels per painter unit
};
