#pragma once

#include <QColor>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <span>

// What drawing code draws on: the waveform area on the screen or the page of the printed report.
// Drawing code talks only to this interface, never to a painter, so the same code draws on either
// and tests can record what it draws.
//
// Coordinates are logical units: (0, 0) is the top-left corner, x grows to the right and y
// downwards, and the surface spans the units given to setLogicalSize(). They are whole numbers in
// practice. Anything drawn partly or wholly outside the surface is clipped without error.
//
// A surface keeps a small drawing state, the text colour, the font size and weight and the current
// position, that applies to the texts printed after it is set. Lines and boxes carry their own
// colour and ignore that state.
class DrawingSurface
{
public:
    enum class Fill
    {
        Outline, // the four edges only
        Filled,  // the edges and the inside
    };

    virtual ~DrawingSurface() = default;

    // The surface spans width × height logical units from now on, however large it is in pixels
    // or on paper: x = width is its right edge, y = height its bottom edge. Both must be above 0;
    // other values are ignored. Set it before drawing; whether it moves what is already drawn is
    // up to the surface.
    virtual void setLogicalSize(double width, double height) = 0;

    // Colour of the texts printed from now on. Until it is set, the surface's own default.
    virtual void setTextColour(const QColor &colour) = 0;

    // Size in points of the texts printed from now on; sizes in points do not follow the logical
    // scale. Until it is set, the size of the surface's default font.
    virtual void setFontSize(double points) = 0;

    // Weight of the texts printed from now on. Until it is set, the surface's default weight.
    virtual void setBold(bool bold) = 0;

    // Where the top-left corner of the next text goes. Callers set both before each text.
    virtual void setCurrentX(double x) = 0;
    virtual void setCurrentY(double y) = 0;

    // Draws text on one line with the top-left corner of its text cell at the current position,
    // in the current colour, size and weight (the face is the surface's default font). The
    // current position stays where it was.
    virtual void printText(const QString &text) = 0;

    // The width and height in logical units of the text cell that printText() would draw for
    // `text` now, in the current font size and weight: what a caller needs to right-align a text
    // or to leave room for it.
    virtual QSizeF textSize(const QString &text) const = 0;

    // Prints a 16-bit number as numberText() writes it.
    void printNumber(std::int16_t value) { printText(numberText(value)); }

    // The text of a printed number: its decimal digits with a blank before a value of 0 or more, a
    // "-" before a negative one, and a blank after it: 14 gives " 14 ", 0 gives " 0 ", -2 gives
    // "-2 ".
    static QString numberText(std::int16_t value);

    // A plain straight line from one point to the other, both ends included, drawn with the
    // surface's thinnest pen.
    virtual void drawLine(QPointF from, QPointF to, const QColor &colour) = 0;

    // A line through the points in order, each segment as drawLine() draws it, `weight` times as
    // wide as the thinnest pen on a surface that draws wider lines (others ignore it). Fewer than
    // two points draw nothing. This default draws the segments one by one; a surface that can
    // join them draws them as one line.
    virtual void drawPolyline(std::span<const QPointF> points, const QColor &colour, double weight);

    // A rectangle with its edges parallel to the axes, given by two opposite corners in either
    // order, in colour: its outline, or filled.
    virtual void drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour,
                         Fill fill) = 0;

    // Erases every text, line and box drawn so far and puts the current position back at (0, 0).
    // The logical size, text colour and font stay as they are, and so do the fixed parts that a
    // surface may have (the axis lines of the waveform area).
    virtual void clear() = 0;
};
