#include "Chart.h"

#include "DrawingSurface.h"
#include "LineClip.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();
// Zooming in stops at this fraction of the full span, well before doubles run out of digits.
constexpr double FinestZoom = 1e-6;

bool isFinite(QPointF point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y());
}

// The low and high bounds of the values seen so far.
struct Extent
{
    double low = Infinity;
    double high = -Infinity;

    void add(double value)
    {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

double widest(const DrawingSurface &surface, const QStringList &labels)
{
    double width = 0;
    for (const QString &label : labels)
        width = std::max(width, surface.textSize(label).width());
    return width;
}

void printAt(DrawingSurface &surface, QPointF topLeft, const QString &text)
{
    surface.setCurrentX(topLeft.x());
    surface.setCurrentY(topLeft.y());
    surface.printText(text);
}

} // namespace

bool Chart::hasRightAxis() const
{
    return std::any_of(series.begin(), series.end(),
                       [](const Series &s) { return s.axis == YAxis::Right; }) ||
           std::any_of(markers.begin(), markers.end(),
                       [](const Marker &m) { return m.axis == YAxis::Right; });
}

Chart::Ranges Chart::fullView() const
{
    Extent ex, ey, ey2;
    const auto add = [&](QPointF point, YAxis axis) {
        if (!isFinite(point))
            return;
        ex.add(point.x());
        (axis == YAxis::Left ? ey : ey2).add(point.y());
    };
    for (const Series &s : series)
        for (const QPointF point : s.points)
            add(point, s.axis);
    for (const Marker &m : markers)
        add(m.point, m.axis);
    return {x.fullRange(ex.low, ex.high), y.fullRange(ey.low, ey.high),
            y2.fullRange(ey2.low, ey2.high)};
}

Chart::Ranges Chart::view() const
{
    return m_view.value_or(fullView());
}

bool Chart::isZoomed() const
{
    return m_view.has_value();
}

void Chart::setView(const Ranges &view)
{
    if (view == m_layout.full)
        m_view.reset();
    else
        m_view = view;
    m_layout.view = view;
}

void Chart::resetView()
{
    m_view.reset();
    m_layout.view = m_layout.full;
}

bool Chart::zoomTo(const QRectF &band)
{
    const QRectF part = band.normalized().intersected(m_layout.plot);
    if (part.width() < 2 || part.height() < 2)
        return false;
    const Ranges zoomed{
        {toData(part.bottomLeft()).x(), toData(part.bottomRight()).x()},
        {toData(part.bottomLeft()).y(), toData(part.topLeft()).y()},
        {toData(part.bottomLeft(), YAxis::Right).y(), toData(part.topLeft(), YAxis::Right).y()}};
    const Ranges &full = m_layout.full;
    if (zoomed.x.span() < full.x.span() * FinestZoom ||
        zoomed.y.span() < full.y.span() * FinestZoom ||
        zoomed.y2.span() < full.y2.span() * FinestZoom)
        return false;
    setView(zoomed);
    return true;
}

bool Chart::zoomAround(QPointF logical, double factor)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return false;
    const auto zoom = [factor](const AxisRange &range, double centre, const AxisRange &full,
                               bool &tooFine) {
        const AxisRange zoomed{centre - (centre - range.low) / factor,
                               centre + (range.high - centre) / factor};
        tooFine = tooFine || zoomed.span() < full.span() * FinestZoom;
        return zoomed.span() >= full.span() ? full : zoomed;
    };
    const Ranges &view = m_layout.view;
    const Ranges &full = m_layout.full;
    bool tooFine = false;
    const Ranges zoomed{zoom(view.x, toData(logical).x(), full.x, tooFine),
                        zoom(view.y, toData(logical).y(), full.y, tooFine),
                        zoom(view.y2, toData(logical, YAxis::Right).y(), full.y2, tooFine)};
    if (tooFine)
        return false;
    setView(zoomed);
    return true;
}

const Chart::Layout &Chart::layOut(DrawingSurface &surface)
{
    Layout layout;
    layout.full = fullView();
    layout.view = m_view.value_or(layout.full);
    const bool right = hasRightAxis();
    const double width = size.width();
    const double height = size.height();

    // The rows from the top down, and from the bottom up.
    double top = Margin;
    layout.titleTop = top;
    if (!title.isEmpty()) {
        surface.setFontSize(titlePoints);
        surface.setBold(true);
        top += surface.textSize(title).height() + Gap;
    }
    surface.setFontSize(textPoints);
    surface.setBold(false);
    const double line = surface.textSize(QStringLiteral("0")).height();
    layout.lineHeight = line;
    layout.legendTop = top;
    if (std::any_of(series.begin(), series.end(),
                    [](const Series &s) { return !s.name.isEmpty(); }))
        top += line + Gap;
    layout.captionTop = top;
    if (!y.caption().isEmpty() || (right && !y2.caption().isEmpty()))
        top += line + Gap;
    top += line / 2; // the top tick labels stand out above the plot area by half their height
    double bottom = height - Margin - readoutLines * line;
    layout.readoutTop = bottom;
    if (readoutLines > 0)
        bottom -= Gap;
    if (!x.caption().isEmpty()) {
        bottom -= line;
        layout.xCaptionTop = bottom;
        bottom -= Gap;
    }
    bottom -= line;
    layout.xLabelTop = bottom;
    bottom -= Gap / 2 + TickLength;

    // The y ticks that fit the height, then the labels' room beside the plot area.
    const int yCount = std::max(2, int((bottom - top) / (2.5 * line)) + 1);
    layout.y = y.ticks(layout.view.y, yCount);
    if (right)
        layout.y2 = y2.ticks(layout.view.y2, yCount);
    const double left = Margin + widest(surface, layout.y.labels) + Gap + TickLength;
    const double rightEdge = width - Margin;
    const auto xTicks = [&](double plotWidth) {
        // As many as fit with their widest label and 16 units between neighbours.
        for (int count = std::max(2, int(plotWidth / 50) + 1);;) {
            AxisTicks ticks = x.ticks(layout.view.x, count);
            const int n = int(ticks.values.size());
            if (n <= 2 || n * (widest(surface, ticks.labels) + 16) <= plotWidth)
                return ticks;
            count = n - 1;
        }
    };
    double plotRight = rightEdge;
    if (right) {
        plotRight -= widest(surface, layout.y2.labels) + Gap + TickLength;
    } else {
        // Room for half of the last x label beyond the plot area.
        plotRight -= widest(surface, xTicks(rightEdge - left).labels) / 2;
    }
    layout.x = xTicks(plotRight - left);
    layout.plot = QRectF(left, top, std::max(0.0, plotRight - left), std::max(0.0, bottom - top));
    m_layout = layout;
    return m_layout;
}

void Chart::draw(DrawingSurface &surface)
{
    surface.setLogicalSize(size.width(), size.height());
    layOut(surface);
    surface.drawBox({0, 0}, {size.width(), size.height()}, colours.background,
                    DrawingSurface::Fill::Filled);
    if (!m_layout.plot.isEmpty()) {
        drawGrid(surface);
        for (const bool behind : {true, false})
            for (const Series &s : series)
                if (s.behind == behind)
                    drawSeries(surface, s);
        drawMarkers(surface);
    }
    drawAxes(surface);
    drawTexts(surface);
    drawLegend(surface);
}

QPointF Chart::toLogical(QPointF data, YAxis axis) const
{
    const QRectF &plot = m_layout.plot;
    const AxisRange &xs = m_layout.view.x;
    const AxisRange &ys = yRange(m_layout.view, axis);
    return {plot.left() + (data.x() - xs.low) * plot.width() / xs.span(),
            plot.bottom() - (data.y() - ys.low) * plot.height() / ys.span()};
}

QPointF Chart::toData(QPointF logical, YAxis axis) const
{
    const QRectF &plot = m_layout.plot;
    const AxisRange &xs = m_layout.view.x;
    const AxisRange &ys = yRange(m_layout.view, axis);
    const double fx = plot.width() > 0 ? (logical.x() - plot.left()) / plot.width() : 0;
    const double fy = plot.height() > 0 ? (plot.bottom() - logical.y()) / plot.height() : 0;
    return {xs.low + fx * xs.span(), ys.low + fy * ys.span()};
}

std::optional<int> Chart::nearestPoint(int seriesIndex, double logicalX) const
{
    if (seriesIndex < 0 || seriesIndex >= int(series.size()))
        return std::nullopt;
    const double at = toData({logicalX, 0}).x();
    const AxisRange &xs = m_layout.view.x;
    std::optional<int> nearest;
    double distance = Infinity;
    const std::vector<QPointF> &points = series[seriesIndex].points;
    for (int i = 0; i < int(points.size()); ++i) {
        const double px = points[i].x();
        if (!(px >= xs.low && px <= xs.high) || !std::isfinite(points[i].y()))
            continue;
        if (std::abs(px - at) < distance) {
            distance = std::abs(px - at);
            nearest = i;
        }
    }
    return nearest;
}

QString Chart::xText(double value) const
{
    return x.valueText(value, m_layout.x.step);
}

QString Chart::yText(double value, YAxis axis) const
{
    return yAxis(axis).valueText(value, yTicks(axis).step);
}

QString Chart::xDifferenceText(double difference) const
{
    return x.differenceText(difference, m_layout.x.step);
}

QString Chart::yDifferenceText(double difference, YAxis axis) const
{
    return yAxis(axis).differenceText(difference, yTicks(axis).step);
}

const AxisRange &Chart::yRange(const Ranges &ranges, YAxis axis) const
{
    return axis == YAxis::Left ? ranges.y : ranges.y2;
}

const AxisTicks &Chart::yTicks(YAxis axis) const
{
    return axis == YAxis::Left ? m_layout.y : m_layout.y2;
}

void Chart::drawGrid(DrawingSurface &surface) const
{
    const QRectF &plot = m_layout.plot;
    for (const double value : m_layout.x.values) {
        const double at = toLogical({value, 0}).x();
        surface.drawLine({at, plot.top()}, {at, plot.bottom()}, colours.grid);
    }
    for (const double value : m_layout.y.values) {
        const double at = toLogical({0, value}).y();
        surface.drawLine({plot.left(), at}, {plot.right(), at}, colours.grid);
    }
}

void Chart::drawSeries(DrawingSurface &surface, const Series &s) const
{
    std::vector<QPointF> logical;
    logical.reserve(s.points.size());
    for (const QPointF point : s.points)
        logical.push_back(toLogical(point, s.axis));

    if (s.style != Style::Markers) {
        // Each segment cut to the plot area; segments that still meet form one line.
        std::vector<QPointF> run;
        const auto flush = [&] {
            if (run.size() >= 2)
                surface.drawPolyline(run, s.colour, LineWeight);
            run.clear();
        };
        for (std::size_t i = 1; i < logical.size(); ++i) {
            const std::optional<QLineF> piece =
                LineClip::clip(QLineF(logical[i - 1], logical[i]), m_layout.plot);
            if (!piece) {
                flush();
                continue;
            }
            if (run.empty() || run.back() != piece->p1()) {
                flush();
                run.push_back(piece->p1());
            }
            run.push_back(piece->p2());
        }
        flush();
    }
    if (s.style != Style::Lines)
        for (const QPointF point : logical)
            drawPointBox(surface, point, MarkerSize, s.colour, true);
}

void Chart::drawMarkers(DrawingSurface &surface) const
{
    const QRectF &plot = m_layout.plot;
    surface.setFontSize(textPoints);
    surface.setBold(false);
    for (const Marker &m : markers) {
        const QPointF at = toLogical(m.point, m.axis);
        if (!plot.contains(at))
            continue;
        drawPointBox(surface, at, RingSize, m.colour, false);
        surface.setTextColour(m.colour);
        drawLabelBeside(surface, at, RingSize / 2, m.label);
    }
    if (highlight && highlight->series >= 0 && highlight->series < int(series.size())) {
        const Series &s = series[highlight->series];
        if (highlight->index >= 0 && highlight->index < int(s.points.size()))
            drawPointBox(surface, toLogical(s.points[highlight->index], s.axis), RingSize, s.colour,
                         false);
    }
    for (const Cursor &c : cursors) {
        const double at = toLogical({c.x, 0}).x();
        if (!(at >= plot.left() && at <= plot.right()))
            continue;
        surface.drawLine({at, plot.top()}, {at, plot.bottom()}, c.colour);
        surface.setTextColour(c.colour);
        drawLabelBeside(surface, {at, plot.top()}, Gap, c.label);
    }
}

void Chart::drawLabelBeside(DrawingSurface &surface, QPointF point, double away,
                            const QString &label) const
{
    if (label.isEmpty())
        return;
    const QSizeF text = surface.textSize(label);
    QPointF topLeft(point.x() + away, point.y() - away - text.height());
    if (topLeft.x() + text.width() > m_layout.plot.right())
        topLeft.setX(point.x() - away - text.width());
    if (topLeft.y() < m_layout.plot.top())
        topLeft.setY(point.y() + away);
    printAt(surface, topLeft, label);
}

void Chart::drawAxes(DrawingSurface &surface) const
{
    const QRectF &plot = m_layout.plot;
    surface.drawBox(plot.topLeft(), plot.bottomRight(), colours.frame,
                    DrawingSurface::Fill::Outline);
    surface.setFontSize(textPoints);
    surface.setBold(false);
    surface.setTextColour(colours.text);
    const AxisTicks &xs = m_layout.x;
    for (std::size_t i = 0; i < xs.values.size(); ++i) {
        const double at = toLogical({xs.values[i], 0}).x();
        surface.drawLine({at, plot.bottom()}, {at, plot.bottom() + TickLength}, colours.frame);
        printAt(surface, {at - surface.textSize(xs.labels[i]).width() / 2, m_layout.xLabelTop},
                xs.labels[i]);
    }
    const auto yLabels = [&](YAxis axis) {
        const AxisTicks &ys = yTicks(axis);
        const double edge = axis == YAxis::Left ? plot.left() : plot.right();
        const double outwards = axis == YAxis::Left ? -1 : 1;
        for (std::size_t i = 0; i < ys.values.size(); ++i) {
            const double at = toLogical({0, ys.values[i]}, axis).y();
            surface.drawLine({edge, at}, {edge + outwards * TickLength, at}, colours.frame);
            const QSizeF text = surface.textSize(ys.labels[i]);
            const double labelX = axis == YAxis::Left ? edge - TickLength - Gap - text.width()
                                                      : edge + TickLength + Gap;
            printAt(surface, {labelX, at - text.height() / 2}, ys.labels[i]);
        }
    };
    yLabels(YAxis::Left);
    if (hasRightAxis())
        yLabels(YAxis::Right);
}

void Chart::drawTexts(DrawingSurface &surface) const
{
    const QRectF &plot = m_layout.plot;
    surface.setTextColour(colours.text);
    if (const QString caption = y.caption(); !caption.isEmpty())
        printAt(surface, {Margin, m_layout.captionTop}, caption);
    if (const QString caption = y2.caption(); hasRightAxis() && !caption.isEmpty())
        printAt(surface,
                {size.width() - Margin - surface.textSize(caption).width(), m_layout.captionTop},
                caption);
    if (const QString caption = x.caption(); !caption.isEmpty())
        printAt(surface,
                {plot.center().x() - surface.textSize(caption).width() / 2, m_layout.xCaptionTop},
                caption);
    if (!title.isEmpty()) {
        surface.setFontSize(titlePoints);
        surface.setBold(true);
        printAt(surface, {(size.width() - surface.textSize(title).width()) / 2, m_layout.titleTop},
                title);
        surface.setFontSize(textPoints);
        surface.setBold(false);
    }
    for (int i = 0; i < std::min(readoutLines, int(readout.size())); ++i)
        printAt(surface, {Margin, m_layout.readoutTop + i * m_layout.lineHeight}, readout[i]);
}

void Chart::drawLegend(DrawingSurface &surface) const
{
    double total = 0;
    for (const Series &s : series)
        if (!s.name.isEmpty())
            total += (total > 0 ? LegendSpacing : 0) + LegendSwatch + Gap +
                     surface.textSize(s.name).width();
    double left = std::max(Margin, m_layout.plot.right() - total);
    const double middle = m_layout.legendTop + m_layout.lineHeight / 2;
    surface.setTextColour(colours.text);
    for (const Series &s : series) {
        if (s.name.isEmpty())
            continue;
        if (s.style != Style::Markers) {
            const QPointF swatch[] = {{left, middle}, {left + LegendSwatch, middle}};
            surface.drawPolyline(swatch, s.colour, LineWeight);
        }
        if (s.style != Style::Lines) {
            const QPointF centre(left + LegendSwatch / 2, middle);
            const QPointF half(MarkerSize / 2, MarkerSize / 2);
            surface.drawBox(centre - half, centre + half, s.colour, DrawingSurface::Fill::Filled);
        }
        printAt(surface, {left + LegendSwatch + Gap, m_layout.legendTop}, s.name);
        left += LegendSwatch + Gap + surface.textSize(s.name).width() + LegendSpacing;
    }
}

void Chart::drawPointBox(DrawingSurface &surface, QPointF centre, double boxSize,
                         const QColor &colour, bool filled) const
{
    if (!m_layout.plot.contains(centre))
        return;
    const QPointF half(boxSize / 2, boxSize / 2);
    const QRectF box = QRectF(centre - half, centre + half).intersected(m_layout.plot);
    surface.drawBox(box.topLeft(), box.bottomRight(), colour,
                    filled ? DrawingSurface::Fill::Filled : DrawingSurface::Fill::Outline);
}
