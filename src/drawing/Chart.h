#pragma once

#include "ChartAxis.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class DrawingSurface;

// A chart of one or more series of points against an x-axis and a y-axis (and a second y-axis on
// the right for series measured in another unit), drawn through a DrawingSurface, so that the
// same chart can be painted on a widget, printed, or recorded by a test.
//
// The public members describe the chart; the chart itself keeps the view (the data ranges shown,
// for zooming) and the layout of its last layOut() or draw().
//
// Layout, in logical units of `size` (meant as device-independent pixels; texts are sized in
// points and measured through the surface): from the top, the title (bold, centred), a row with
// the legend (right-aligned over the plot area), a row with the y-axes' captions (left at the
// left edge, the right one at the right edge), half a line for the top tick labels, the plot
// area; below it the x tick labels, the
// x-axis caption (centred under the plot area) and `readoutLines` lines of readout texts. Tick
// labels of the left axis are right-aligned beside the plot area, of the right axis left-aligned.
// As many ticks as fit: x labels at least 16 units apart, y ticks at least 2.5 lines apart. Grid
// lines stand at the x ticks and the left axis' ticks.
//
// Drawn in this order: the background, the grid, the series drawn behind, the other series (in
// their order), the labelled markers, the highlighted point, the cursors, the plot area's frame,
// ticks and tick labels, the captions, the title, the readout and the legend. Nothing of a
// series, a marker, the highlight or a cursor is drawn outside the plot area: lines are cut at its
// edges, the box of a point inside it is cut to it, and a point, marker, highlight or cursor
// outside the view is left out (a label keeps to the plot area as long as there is room).
class Chart
{
public:
    enum class YAxis
    {
        Left,
        Right,
    };

    enum class Style
    {
        Lines,           // a line through the points in their order
        Markers,         // a filled box of MarkerSize on each point
        LinesAndMarkers, // both
    };

    struct Series
    {
        QString name{}; // its legend entry; none when empty
        QColor colour{};
        std::vector<QPointF> points{}; // data units; a coordinate not finite makes a gap
        Style style = Style::Lines;
        YAxis axis = YAxis::Left;
        bool behind = false; // drawn before (under) every series that is not
    };

    // A point picked out with a ring and a label beside it (above and right of it, moved left or
    // below where the plot area ends).
    struct Marker
    {
        QPointF point{}; // data units
        QString label{};
        QColor colour{};
        YAxis axis = YAxis::Left;
    };

    // A vertical line across the plot area at x, its label at the top right of the line.
    struct Cursor
    {
        double x = 0; // data units
        QString label{};
        QColor colour{};
    };

    // A point of a series drawn ringed in the series' colour (the point under the pointer).
    struct Highlight
    {
        int series = 0;
        int index = 0;
    };

    // The data ranges of a view: x, the left y-axis and the right one.
    struct Ranges
    {
        AxisRange x, y, y2;

        friend bool operator==(const Ranges &, const Ranges &) = default;
    };

    struct Colours
    {
        QColor background = Qt::white;
        QColor grid = QColor(0xe0, 0xe0, 0xe0);
        QColor frame = QColor(0x60, 0x60, 0x60);
        QColor text = Qt::black;
    };

    // Where layOut() put things, in logical units.
    struct Layout
    {
        QRectF plot;         // the plot area
        Ranges full;         // the full view of the data as it was
        Ranges view;         // the view shown
        AxisTicks x, y, y2;  // the ticks of the view; y2 empty without a right axis
        double lineHeight{}; // of a text line in the chart's text size
        // The tops of the rows of texts (only those that the chart has are used).
        double titleTop{}, legendTop{}, captionTop{}, xLabelTop{}, xCaptionTop{}, readoutTop{};
    };

    // Spacing, in logical units.
    static constexpr double Margin = 8;         // around everything
    static constexpr double Gap = 4;            // between rows and beside labels
    static constexpr double TickLength = 4;     // outside the frame
    static constexpr double MarkerSize = 4;     // a series' point box
    static constexpr double RingSize = 11;      // a marker's or the highlight's ring
    static constexpr double LineWeight = 1.5;   // of a series' line, times the thinnest pen
    static constexpr double LegendSwatch = 18;  // the line or box before a legend entry
    static constexpr double LegendSpacing = 12; // between legend entries

    QSizeF size{640, 400};
    QString title;
    ChartAxis x, y, y2; // y2 is shown when a series or marker is on the right axis
    std::vector<Series> series;
    std::vector<Marker> markers;
    std::vector<Cursor> cursors;
    std::optional<Highlight> highlight;
    int readoutLines = 0; // lines kept free at the bottom, even while `readout` is empty
    QStringList readout;  // printed there, one a line, left-aligned; more than fit are left out
    Colours colours;
    double titlePoints = 11;
    double textPoints = 9;

    bool hasRightAxis() const;

    // The full view: each axis' fullRange() of the points and markers measured on it.
    Ranges fullView() const;
    // The view shown: the full view until zoomed.
    Ranges view() const;
    bool isZoomed() const;
    void setView(const Ranges &view);
    void resetView();

    // Zooms to the part of the plot area in `band` (logical units, corners in any order, cut to
    // the plot area), on every axis. A band less than 2 units across either way changes nothing
    // and gives false.
    bool zoomTo(const QRectF &band);

    // Zooms every axis by `factor` (above 1 in, below 1 out) around the data point at `logical`,
    // which stays where it is. An axis zoomed out to its full span or beyond shows its full range;
    // zooming in beyond a millionth of the full span, or by a factor not above 0, changes nothing
    // and gives false.
    bool zoomAround(QPointF logical, double factor);

    // Works out the layout for `size` and the view on the surface, whose font size and weight it
    // sets in passing to measure texts.
    const Layout &layOut(DrawingSurface &surface);
    const Layout &layout() const { return m_layout; }

    // Lays out and draws the chart, setting the surface's logical size to `size` first.
    void draw(DrawingSurface &surface);

    // Data ↔ logical units, with the plot area of the last layout and the current view. Before
    // any layout the plot area is empty and these map everything onto its corner.
    QPointF toLogical(QPointF data, YAxis axis = YAxis::Left) const;
    QPointF toData(QPointF logical, YAxis axis = YAxis::Left) const;

    // The index of the point of series `series` whose x lies nearest to logical x, among the
    // points inside the view's x range; of equally near points, the first. Nothing when there is
    // no such point or series.
    std::optional<int> nearestPoint(int series, double logicalX) const;

    // A value and a difference as the readouts show them, with their axis' unit and decimals
    // for the ticks of the last layout.
    QString xText(double value) const;
    QString yText(double value, YAxis axis = YAxis::Left) const;
    QString xDifferenceText(double difference) const;
    QString yDifferenceText(double difference, YAxis axis = YAxis::Left) const;

private:
    const ChartAxis &yAxis(YAxis axis) const { return axis == YAxis::Left ? y : y2; }
    const AxisRange &yRange(const Ranges &ranges, YAxis axis) const;
    const AxisTicks &yTicks(YAxis axis) const;
    void drawGrid(DrawingSurface &surface) const;
    void drawSeries(DrawingSurface &surface, const Series &series) const;
    void drawMarkers(DrawingSurface &surface) const;
    void drawAxes(DrawingSurface &surface) const;
    void drawTexts(DrawingSurface &surface) const;
    void drawLabelBeside(DrawingSurface &surface, QPointF point, double away,
                         const QString &label) const;
    void drawLegend(DrawingSurface &surface) const;
    // A box of `size` centred on a logical point, cut to the plot area; nothing when the point
    // lies outside it.
    void drawPointBox(DrawingSurface &surface, QPointF centre, double size, const QColor &colour,
                      bool filled) const;

    std::optional<Ranges> m_view; // unset: the full view
    Layout m_layout;
};
