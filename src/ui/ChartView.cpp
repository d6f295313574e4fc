#include "ChartView.h"

#include "PainterSurface.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

const QColor CursorColours[] = {QColor(0xc0, 0x20, 0x20), QColor(0x20, 0x70, 0x20)};
const QColor BandColour(0x40, 0x40, 0x40);

QString defaultReadout(const Chart &chart, int index)
{
    const Chart::Series &first = chart.series.front();
    const QPointF point = first.points[std::size_t(index)];
    const QString text = QStringLiteral("#%1: %2, %3")
                             .arg(index + 1)
                             .arg(chart.xText(point.x()), chart.yText(point.y(), first.axis));
    return first.name.isEmpty() ? text : first.name + u' ' + text;
}

} // namespace

ChartView::ChartView(QWidget *parent) : QWidget(parent), m_formatter(defaultReadout)
{
    setObjectName(QStringLiteral("chart"));
    setAttribute(Qt::WA_OpaquePaintEvent); // the chart covers every pixel
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_chart.size = size();
}

void ChartView::setChart(Chart chart)
{
    m_chart = std::move(chart);
    m_chart.size = size();
    m_chart.readoutLines = m_readoutShown ? 2 : 0;
    m_chart.resetView();
    m_cursors = {};
    m_nextCursor = 0;
    m_beforeClick.reset();
    setCursors({});
    hover(std::nullopt);
    update();
}

void ChartView::setFormatter(Formatter formatter)
{
    m_formatter = formatter ? std::move(formatter) : Formatter(defaultReadout);
    refreshTexts();
}

void ChartView::setSummary(const QString &summary)
{
    m_summary = summary;
    updateDescription();
}

void ChartView::setReadoutShown(bool shown)
{
    m_readoutShown = shown;
    m_chart.readoutLines = shown ? 2 : 0;
    update();
}

std::vector<int> ChartView::cursorPoints() const
{
    std::vector<int> points;
    for (const std::optional<int> &cursor : m_cursors)
        if (cursor)
            points.push_back(*cursor);
    return points;
}

void ChartView::resetView()
{
    viewChangedBy(m_chart.isZoomed());
    m_chart.resetView();
    hover(m_pointer);
    update();
}

void ChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PainterSurface surface(painter, rect());
    // The texts follow the layout drawn (its ticks set their decimals), so it is worked out first.
    surface.setLogicalSize(width(), height());
    m_chart.layOut(surface);
    refreshTexts();
    m_chart.draw(surface);
    if (m_band)
        surface.drawBox(m_band->topLeft(), m_band->bottomRight(), BandColour,
                        DrawingSurface::Fill::Outline);
}

void ChartView::resizeEvent(QResizeEvent *)
{
    m_chart.size = size();
}

void ChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressedAt = event->position();
    m_dragged = cursorAt(event->position());
    m_band.reset();
}

void ChartView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    if (m_pressedAt && (event->buttons() & Qt::LeftButton)) {
        if (m_dragged) {
            if (const std::optional<int> point = nearestPoint(at)) {
                Cursors moved = m_cursors;
                moved[std::size_t(*m_dragged)] = point;
                setCursors(moved);
            }
        } else if (onPlot(*m_pressedAt) && (m_band || (at - *m_pressedAt).manhattanLength() >=
                                                          QApplication::startDragDistance())) {
            m_band = QRectF(*m_pressedAt, at).normalized().intersected(m_chart.layout().plot);
            update();
        }
    }
    hover(at);
}

void ChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressedAt)
        return;
    const QPointF pressedAt = *m_pressedAt;
    m_pressedAt.reset();
    m_beforeClick.reset();
    if (m_band) {
        viewChangedBy(m_chart.zoomTo(*m_band));
        m_band.reset();
        update();
    } else if (!m_dragged && onPlot(pressedAt)) {
        m_beforeClick = {m_cursors, m_nextCursor};
        if (const std::optional<int> point = nearestPoint(pressedAt)) {
            Cursors placed = m_cursors;
            placed[std::size_t(m_nextCursor)] = point;
            m_nextCursor = 1 - m_nextCursor;
            setCursors(placed);
        }
    }
    m_dragged.reset();
    hover(event->position());
}

void ChartView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first click of the two placed a cursor (or pressed on one, which stops here).
    if (event->button() != Qt::LeftButton || !m_beforeClick)
        return;
    m_nextCursor = m_beforeClick->second;
    setCursors(m_beforeClick->first);
    m_beforeClick.reset();
    m_pressedAt.reset();
    m_dragged.reset();
    resetView();
}

void ChartView::wheelEvent(QWheelEvent *event)
{
    const QPointF at = event->position();
    if (!onPlot(at) || event->angleDelta().y() == 0)
        return;
    viewChangedBy(m_chart.zoomAround(at, std::pow(ZoomStep, event->angleDelta().y() / 120.0)));
    hover(at);
    update();
}

void ChartView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Home || event->key() == Qt::Key_R) {
        resetView();
    } else if (event->key() == Qt::Key_Escape) {
        m_nextCursor = 0;
        setCursors({});
    } else {
        QWidget::keyPressEvent(event);
    }
}

void ChartView::leaveEvent(QEvent *)
{
    hover(std::nullopt);
}

bool ChartView::onPlot(QPointF at) const
{
    return m_chart.layout().plot.contains(at);
}

std::optional<int> ChartView::nearestPoint(QPointF at) const
{
    return m_chart.nearestPoint(0, at.x());
}

std::optional<int> ChartView::cursorAt(QPointF at) const
{
    if (!onPlot(at))
        return std::nullopt;
    for (int i = 0; i < 2; ++i)
        if (const std::optional<int> &point = m_cursors[std::size_t(i)]) {
            const Chart::Series &first = m_chart.series.front();
            const double x = m_chart.toLogical(first.points[std::size_t(*point)], first.axis).x();
            if (std::abs(x - at.x()) <= CursorGrip)
                return i;
        }
    return std::nullopt;
}

void ChartView::hover(std::optional<QPointF> at)
{
    m_pointer = at;
    std::optional<Chart::Highlight> highlight;
    if (at && onPlot(*at))
        if (const std::optional<int> point = nearestPoint(*at))
            highlight = Chart::Highlight{0, *point};
    const bool moved = highlight.has_value() != m_chart.highlight.has_value() ||
                       (highlight && highlight->index != m_chart.highlight->index);
    m_chart.highlight = highlight;
    if (moved) {
        refreshTexts();
        update();
    }
}

void ChartView::setCursors(const Cursors &cursors)
{
    m_cursors = cursors;
    m_chart.cursors.clear();
    for (int i = 0; i < 2; ++i)
        if (const std::optional<int> &point = m_cursors[std::size_t(i)])
            m_chart.cursors.push_back({m_chart.series.front().points[std::size_t(*point)].x(),
                                       QStringLiteral("C%1").arg(i + 1), CursorColours[i]});
    refreshTexts();
    update();
}

void ChartView::refreshTexts()
{
    const QString readout =
        m_chart.highlight ? m_formatter(m_chart, m_chart.highlight->index) : QString();
    QString cursorText;
    if (!m_chart.series.empty()) {
        const Chart::Series &first = m_chart.series.front();
        const auto pointOf = [&](const std::optional<int> &cursor) {
            return first.points[std::size_t(*cursor)];
        };
        for (int i = 0; i < 2; ++i)
            if (m_cursors[std::size_t(i)]) {
                const QPointF p = pointOf(m_cursors[std::size_t(i)]);
                cursorText += QStringLiteral("%1C%2: %3, %4")
                                  .arg(cursorText.isEmpty() ? QString() : QStringLiteral("   "))
                                  .arg(i + 1)
                                  .arg(m_chart.xText(p.x()), m_chart.yText(p.y(), first.axis));
            }
        if (m_cursors[0] && m_cursors[1]) {
            const QPointF d = pointOf(m_cursors[1]) - pointOf(m_cursors[0]);
            cursorText += QStringLiteral("   Δ%1 = %2   Δ%3 = %4")
                              .arg(m_chart.x.differenceSymbol(), m_chart.xDifferenceText(d.x()),
                                   (first.axis == Chart::YAxis::Left ? m_chart.y : m_chart.y2)
                                       .differenceSymbol(),
                                   m_chart.yDifferenceText(d.y(), first.axis));
        }
    }
    m_chart.readout = QStringList{readout, cursorText};
    if (readout != m_readout) {
        m_readout = readout;
        emit readoutChanged(m_readout);
    }
    if (cursorText != m_cursorText) {
        m_cursorText = cursorText;
        emit cursorsChanged(m_cursorText);
    }
    updateDescription();
}

void ChartView::updateDescription()
{
    QStringList parts{m_summary, m_readout, m_cursorText};
    parts.removeAll(QString());
    // Only a change: each one is an event to the screen reader, and this runs on every paint.
    if (const QString description = parts.join(u'\n'); description != accessibleDescription())
        setAccessibleDescription(description);
}

void ChartView::viewChangedBy(bool changed)
{
    if (changed)
        emit viewChanged();
}
