#pragma once

#include "DrawingSurface.h"

#include <QColor>
#include <QStringList>

// A drawing surface that draws nothing and writes down every operation, one readable entry each:
// "size 12500 12500", "colour #00ffff", "font 10", "bold 1", "x 10000", "y 9500", "text Volts",
// "line 2000 4000 2000 13000 #000000", "box 1530 8985 1570 9015 #ffff00 filled", "clear",
// "polyline 2 #ff0000 3 4 5 6 7 8" (the weight, then x and y of each point). A text measures
// CharWidth units a character and TextHeight high, whatever the font.
struct RecordingSurface : DrawingSurface
{
    static constexpr double CharWidth = 6, TextHeight = 12;
    QStringList log;

    void setLogicalSize(double w, double h) override { add("size", {w, h}); }
    void setTextColour(const QColor &c) override { log << "colour " + c.name(); }
    void setFontSize(double points) override { add("font", {points}); }
    void setBold(bool bold) override { add("bold", {double(bold)}); }
    void setCurrentX(double x) override { add("x", {x}); }
    void setCurrentY(double y) override { add("y", {y}); }
    void printText(const QString &text) override { log << "text " + text; }
    QSizeF textSize(const QString &text) const override
    {
        return {CharWidth * text.size(), TextHeight};
    }
    void drawPolyline(std::span<const QPointF> points, const QColor &c, double weight) override
    {
        QString entry = "polyline " + QString::number(weight) + ' ' + c.name();
        for (const QPointF p : points)
            entry += ' ' + QString::number(p.x(), 'g', 12) + ' ' + QString::number(p.y(), 'g', 12);
        log << entry;
    }
    void drawLine(QPointF a, QPointF b, const QColor &c) override
    {
        add("line", {a.x(), a.y(), b.x(), b.y()}, ' ' + c.name());
    }
    void drawBox(QPointF a, QPointF b, const QColor &c, Fill f) override
    {
        add("box", {a.x(), a.y(), b.x(), b.y()},
            ' ' + c.name() + (f == Fill::Filled ? " filled" : " outline"));
    }
    void clear() override { log << "clear"; }
    void add(QString entry, std::initializer_list<double> numbers, const QString &end = {})
    {
        for (const double n : numbers)
            entry += ' ' + QString::number(n, 'g', 12);
        log << entry + end;
    }
};
