#include "RetainedCanvas.h"

#include "Twips.h"

#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Pixel positions are kept within this distance of the area, so that far-off coordinates (a
// sample of 0 lands well below the area) convert to int safely; they are clipped anyway.
constexpr double FarOff = 1 << 20;

int toInt(double pixel)
{
    if (!(pixel > -FarOff)) // also catches NaN
        return static_cast<int>(-FarOff);
    if (pixel > FarOff)
        return static_cast<int>(FarOff);
    return static_cast<int>(pixel);
}

// The pixel span [first, end) of one box edge pair, already in (fractional) pixels, low < high.
std::pair<int, int> span(double low, double high)
{
    const int first = toInt(std::floor(low + 0.5));
    const int end = toInt(std::floor(high + 0.5));
    if (end > first)
        return {first, end};
    const int middle = toInt(std::floor((low + high) / 2));
    return {middle, middle + 1};
}

} // namespace

QPoint PixelMapping::pixelAt(QPointF point) const
{
    // Multiplying before dividing keeps exact results exact.
    return QPoint(toInt(std::floor(point.x() * pixels.width() / logical.width())),
                  toInt(std::floor(point.y() * pixels.height() / logical.height())));
}

QRect PixelMapping::boxPixels(QPointF corner, QPointF oppositeCorner) const
{
    const auto toPixelsX = [this](double x) { return x * pixels.width() / logical.width(); };
    const auto toPixelsY = [this](double y) { return y * pixels.height() / logical.height(); };
    const auto [left, right] = span(toPixelsX(std::min(corner.x(), oppositeCorner.x())),
                                    toPixelsX(std::max(corner.x(), oppositeCorner.x())));
    const auto [top, bottom] = span(toPixelsY(std::min(corner.y(), oppositeCorner.y())),
                                    toPixelsY(std::max(corner.y(), oppositeCorner.y())));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

RetainedCanvas::RetainedCanvas(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pic"));
    // paintEvent covers every pixel with the black background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RetainedCanvas::setXAxis(const LineObject &line)
{
    m_xAxis = line;
    update();
}

void RetainedCanvas::setYAxis(const LineObject &line)
{
    m_yAxis = line;
    update();
}

PixelMapping RetainedCanvas::mapping() const
{
    const QSizeF twips(width() * Twips::PerPixel, height() * Twips::PerPixel);
    return {m_logicalSize.value_or(twips), size()};
}

QSize RetainedCanvas::sizeHint() const
{
    return Twips::size(9255, 4455);
}

void RetainedCanvas::setLogicalSize(double width, double height)
{
    if (!(width > 0) || !(height > 0))
        return;
    m_logicalSize = QSizeF(width, height);
    update();
}

void RetainedCanvas::setTextColour(const QColor &colour)
{
    m_textColour = colour;
}

void RetainedCanvas::setFontSize(double points)
{
    m_fontSize = points;
}

void RetainedCanvas::setBold(bool bold)
{
    m_bold = bold;
}

void RetainedCanvas::setCurrentX(double x)
{
    m_current.setX(x);
}

void RetainedCanvas::setCurrentY(double y)
{
    m_current.setY(y);
}

void RetainedCanvas::printText(const QString &text)
{
    add(TextItem{text, m_current, m_textColour, m_fontSize, m_bold});
}

QSizeF RetainedCanvas::textSize(const QString &text) const
{
    // The pixels of the text cell as paintEvent() draws it, in logical units.
    const QFontMetrics metrics(textFont(m_fontSize, m_bold), this);
    const PixelMapping map = mapping();
    return {double(metrics.horizontalAdvance(text)) * map.logical.width() /
                std::max(1, map.pixels.width()),
            double(metrics.height()) * map.logical.height() / std::max(1, map.pixels.height())};
}

void RetainedCanvas::drawLine(QPointF from, QPointF to, const QColor &colour)
{
    add(LineItem{from, to, colour});
}

void RetainedCanvas::drawBox(QPointF corner, QPointF oppositeCorner, const QColor &colour,
                             Fill fill)
{
    add(BoxItem{corner, oppositeCorner, colour, fill});
}

void RetainedCanvas::clear()
{
    m_drawing.clear();
    m_current = QPointF();
    update();
}

void RetainedCanvas::add(Item item)
{
    m_drawing.push_back(std::move(item));
    update();
}

QFont RetainedCanvas::textFont(std::optional<double> fontSize, std::optional<bool> bold) const
{
    QFont textFont = font();
    if (fontSize)
        textFont.setPointSizeF(*fontSize);
    if (bold)
        textFont.setBold(*bold);
    return textFont;
}

namespace {

void paintLine(QPainter &painter, QPoint from, QPoint to, const QColor &colour)
{
    painter.setPen(QPen(colour, 1));
    painter.drawLine(from, to);
    // Whatever the pen's cap does at the ends, both end pixels belong to the line.
    painter.drawPoint(from);
    painter.drawPoint(to);
}

void paintBox(QPainter &painter, QRect box, const QColor &colour, DrawingSurface::Fill fill)
{
    if (fill == DrawingSurface::Fill::Filled) {
        painter.fillRect(box, colour);
        return;
    }
    painter.fillRect(QRect(box.left(), box.top(), box.width(), 1), colour);
    painter.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), colour);
    painter.fillRect(QRect(box.left(), box.top(), 1, box.height()), colour);
    painter.fillRect(QRect(box.right(), box.top(), 1, box.height()), colour);
}

} // namespace

void RetainedCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);

    const PixelMapping map = mapping();
    for (const LineObject *line : {&m_xAxis, &m_yAxis}) {
        if (line->visible)
            paintLine(painter, map.pixelAt({line->x1, line->y1}), map.pixelAt({line->x2, line->y2}),
                      line->colour);
    }

    for (const Item &item : m_drawing) {
        if (const auto *text = std::get_if<TextItem>(&item)) {
            painter.setFont(textFont(text->fontSize, text->bold));
            painter.setPen(text->colour);
            const QPoint topLeft = map.pixelAt(text->position);
            painter.drawText(topLeft + QPoint(0, painter.fontMetrics().ascent()), text->text);
        } else if (const auto *line = std::get_if<LineItem>(&item)) {
            paintLine(painter, map.pixelAt(line->from), map.pixelAt(line->to), line->colour);
        } else if (const auto *box = std::get_if<BoxItem>(&item)) {
            paintBox(painter, map.boxPixels(box->corner, box->oppositeCorner), box->colour,
                     box->fill);
        }
    }
}

void RetainedCanvas::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}
