#pragma once

#include "DrawingSurface.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <optional>
#include <variant>
#include <vector>

// How the logical units of the picture area land on its pixels: x from 0 to the logical width
// spans the pixel columns 0 to the pixel width, y likewise the rows, so the whole area is used
// whatever its size. Plain arithmetic, so that painting and tests agree on every pixel.
struct PixelMapping
{
    QSizeF logical; // logical width and height, both above 0
    QSize pixels;   // the area's size in pixels

    // The pixel that holds a logical point: column floor(x × pixel width / logical width), row
    // likewise. A point on the right or bottom edge (x = logical width) falls just outside.
    QPoint pixelAt(QPointF point) const;

    // The pixels a box covers, corners in either order: each edge goes to the nearest pixel
    // boundary (halves to the right and down) and the box takes the pixels between, that is the
    // pixels whose centres lie inside it. Where that leaves no pixel across or down, the box takes
    // the one pixel that holds its centre, so no box is ever lost to rounding, however small.
    // On the 617 × 297 pixel area, a 40 × 30 unit sample box is 1 or 2 pixels wide and 1 high.
    QRect boxPixels(QPointF corner, QPointF oppositeCorner) const;
};

// The waveform area of the main window, `pic`: a black picture area that keeps its drawing.
//
// Every text, line and box drawn on it is kept in a list in logical units and painted afresh on
// each paint event, so the drawing survives covering, minimising, resizing and any repaint, and
// what is drawn before the widget is first shown is there when it is shown. clear() empties the
// list. The two axis lines, x_axis and y_axis, are not part of the list: they are fixed parts of
// the area that clear() leaves in place. They lie under the drawing, so a sample box on the zero
// line shows over the x-axis.
//
// Pixels follow PixelMapping with the current logical size and widget size. Until
// setLogicalSize() is called, a logical unit is a twip (15 to a pixel). A line covers the pixels
// from the one holding its start to the one holding its end, one pixel wide; a text has the
// top-left corner of its text cell at the pixel holding its position. Texts use the widget's
// font, with the point size and weight of setFontSize() and setBold() once those are set; the
// text colour starts as white. Boxes are drawn filled or as a one-pixel outline of their pixels.
//
// grab() renders the area whether it is shown or not.
class RetainedCanvas : public QWidget, public DrawingSurface
{
    Q_OBJECT

public:
    // A line object of the area: from (x1, y1) to (x2, y2) in logical units, one pixel wide,
    // solid. A line that is not visible is not drawn.
    struct LineObject
    {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        QColor colour = Qt::white;
        bool visible = true;

        friend bool operator==(const LineObject &, const LineObject &) = default;
    };

    // An empty black area named "pic"; both axis lines start hidden until they are placed.
    explicit RetainedCanvas(QWidget *parent = nullptr);

    void setXAxis(const LineObject &line);
    void setYAxis(const LineObject &line);

    // The current logical size onto the current widget size.
    PixelMapping mapping() const;

    // The size the main window gives the area: 9255 × 4455 twips.
    QSize sizeHint() const override;

    void setLogicalSize(double width, double height) override;
    void setTextColour(const QColor &colour) override;
    void setFontSize(double points) override;
    void setBold(bool bold) override;
    void setCurrentX(double x) override;
    void setCurrentY(double y) override;
    void printText(const QString &text) override;
    QSizeF textSize(const QString &text) const override;
    void drawLine(QPointF from, QPointF to, const QColor &colour) override;
    void drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour, Fill fill) override;
    void clear() override;

signals:
    // The left mouse button was double-clicked on the area.
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    struct TextItem
    {
        QString text;
        QPointF position;
        QColor colour;
        std::optional<double> fontSize;
        std::optional<bool> bold;
    };
    struct LineItem
    {
        QPointF from, to;
        QColor colour;
    };
    struct BoxItem
    {
        QPointF corner, oppositeCorner;
        QColor colour;
        Fill fill;
    };
    using Item = std::variant<TextItem, LineItem, BoxItem>;

    void add(Item item);
    QFont textFont(std::optional<double> fontSize, std::optional<bool> bold) const;

    std::optional<QSizeF> m_logicalSize; // unset: twips
    QColor m_textColour = Qt::white;
    std::optional<double> m_fontSize;
    std::optional<bool> m_bold;
    QPointF m_current;
    LineObject m_xAxis{.visible = false};
    LineObject m_yAxis{.visible = false};
    std::vector<Item> m_drawing; // in the order drawn
};
