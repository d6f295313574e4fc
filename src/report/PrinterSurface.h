#pragma once

#include "SurfaceState.h"

#include <QColor>
#include <QFont>
#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

class QPainter;

// A drawing surface on a printed page (a QPrinter or a PDF file) through a painter that is
// already begun on it. The logical size spans the painter's viewport, which on a printer is the
// printable area. Font sizes are true points on paper whatever the logical scale; lines use a
// thin black pen; texts are black unless a colour is set.
//
// How it maps: the surface draws in the device's own coordinates, with the painter's world and
// view transforms switched off while it draws, and works out every device point itself:
//
//   device x = viewport left + logical x × viewport width / logical width, y likewise.
//
// x and y scale separately (the printable area of A4 is not exactly 14 by 20), and because no
// transform stands between the painter and the paper, a 20-point font comes out at 20 points
// instead of being squeezed along with the logical scale. The viewport is the one the painter
// has when the surface is made. Until setLogicalSize() is called a logical unit is one device
// unit.
//
// Texts: the painter's font when the surface is made (the default face), with the size and
// weight set through setFontSize() and setBold(); the top-left corner of the text cell (the top of
// the line's ascent, not the baseline) lands on the current position. One line, never wrapped
// or clipped to a box.
//
// Lines and box outlines use a solid pen LineWidthPoints wide in the given colour, with round
// ends so that the segments of a trace join smoothly; boxes are outlined or filled in their
// colour.
//
// Anything far off the page is cut away here before it reaches the painter, so coordinates of
// any size (a chart sample can land hundreds of millions of units away) are safe, and the
// printer never receives a coordinate beyond twice the size of the page: lines are cut to the
// limits (the viewport enlarged by half its size on every side, well beyond the paper) so that
// the visible part keeps its slope, boxes are cut to the limits, and texts whose cell lies wholly
// outside them are left out. Non-finite coordinates draw nothing.
class PrinterSurface : public SurfaceState
{
public:
    // Width of lines and box outlines on paper, in points (1/72 inch).
    static constexpr double LineWidthPoints = 0.5;

    explicit PrinterSurface(QPainter &painter);

    void printText(const QString &text) override;
    QSizeF textSize(const QString &text) const override;
    void drawLine(QPointF from, QPointF to, const QColor &colour) override;
    void drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour, Fill fill) override;

    // Ink on paper cannot be taken back, and a report never clears its page: this only puts the
    // current position back at (0, 0), as the interface asks. Everything drawn stays.
    void clear() override;

    // Where a logical point lands in the painter's device coordinates.
    QPointF toDevice(QPointF logical) const;

    // The part of `line` that lies inside `rect` (edges included), on the same straight line, or
    // nothing when no part of it does or a coordinate is not finite.
    static std::optional<QLineF> clipLine(const QLineF &line, const QRectF &rect);

private:
    QPainter &m_painter;
    QRectF m_viewport; // device coordinates
    QRectF m_limits;   // device coordinates: the viewport and half its size around it
};
