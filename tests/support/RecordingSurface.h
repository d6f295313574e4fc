#pragma once

#include "DrawingSurface.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// A drawing surface for tests: it draws nothing and writes down every operation in order, one
// readable entry each, so drawing code can be checked against a table:
//
//   size 12500 12500                          setLogicalSize(width, height)
//   colour #00ffff                            setTextColour
//   font 10                                   setFontSize, in points
//   bold 1, bold 0                            setBold
//   x 10000, y 9500                           setCurrentX, setCurrentY
//   text Time (µs)                            printText; printNumber(14) gives "text  14 "
//   line 2000 4000 2000 13000 #000000         drawLine(from, to, colour)
//   box 1530 8985 1570 9015 #ffff00 filled    drawBox(corner, opposite corner, colour, fill);
//                                             "outline" for an outline
//   clear                                     clear
//
// Numbers are written in their shortest form (12500, 10.5, -3); colours as #rrggbb, or #aarrggbb
// when not opaque. Besides the log it keeps every printed text with the state it was printed in,
// so a test can ask where a text went and how it looked without replaying the log.
class RecordingSurface : public DrawingSurface
{
public:
    struct PrintedText
    {
        QString text;
        QPointF position;               // the current position when it was printed
        std::optional<QColor> colour;   // unset: the surface's default was never changed
        std::optional<double> fontSize; // points
        std::optional<bool> bold;

        friend bool operator==(const PrintedText &, const PrintedText &) = default;
    };

    // Every entry so far, in order.
    const QStringList &log() const { return m_log; }
    // The entries of one kind, in order: entries(u"box") gives every "box ..." entry.
    QStringList entries(QStringView kind) const;
    // Every text printed so far, in order; clear() does not remove them from the record.
    const QList<PrintedText> &texts() const { return m_texts; }
    // Forgets the log and the texts; the drawing state stays.
    void forget();

    void setLogicalSize(double width, double height) override;
    void setTextColour(const QColor &colour) override;
    void setFontSize(double points) override;
    void setBold(bool bold) override;
    void setCurrentX(double x) override;
    void setCurrentY(double y) override;
    void printText(const QString &text) override;
    void drawLine(QPointF from, QPointF to, const QColor &colour) override;
    void drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour, Fill fill) override;
    void clear() override;

    // How the log writes a number and a colour, for building expected entries.
    static QString number(double value);
    static QString colour(const QColor &colour);

private:
    QStringList m_log;
    QList<PrintedText> m_texts;
    QPointF m_current;
    std::optional<QColor> m_colour;
    std::optional<double> m_fontSize;
    std::optional<bool> m_bold;
};
