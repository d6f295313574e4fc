#pragma once

#include "Chart.h"

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// A resizable widget that shows a Chart and lets the operator read it with the mouse. One logical
// unit of the chart is one device-independent pixel; the chart's size follows the widget's.
//
// - The pointer over the plot area picks the point of the first series nearest to it in x
//   (ringed), and the readout reads it: by default "<series name> #<number>: <x>, <y>" with the
//   point's number counted from 1 and both values as the chart's axes write them ("Pulse #57:
//   112.0 µs, 7.31 kV"), or whatever the formatter gives. Away from the plot area it is empty.
// - A click on the plot area puts the next of two cursors (C1, C2, then C1 again) on the point of
//   the first series nearest to it; a drag that starts within CursorGrip of a cursor's line moves
//   that cursor from point to point. The cursor text reads "C1: <x>, <y>", then once both are
//   placed "   C2: <x>, <y>   Δ<x symbol> = <x2 − x1>   Δ<y symbol> = <y2 − y1>".
// - The wheel zooms around the pointer, by ZoomStep a notch (in when turned away from the user). A
//   drag on the plot area away from the cursors draws a rubber band; released, the view zooms to
//   it. Home, R, or a double click on the plot area away from the cursors go back to the full
//   view (the double click also takes back the cursor its first click placed). Escape removes
//   both cursors.
//
// Unless setReadoutShown(false) the chart keeps two lines at its bottom for the readout and the
// cursor text; either way both are there as plain text, for tests and for a label in the window,
// and signalled whenever they change. For a screen reader, the accessible description is the
// summary (what the chart shows, in words), followed by the readout and the cursor text while
// there are: they are only painted.
class ChartView : public QWidget
{
    Q_OBJECT

public:
    // The readout of the point `index` of the chart's first series.
    using Formatter = std::function<QString(const Chart &chart, int index)>;

    static constexpr double ZoomStep = 1.25;
    static constexpr double CursorGrip = 4;

    explicit ChartView(QWidget *parent = nullptr);

    // Shows a chart in its full view; the cursors and the readout start afresh.
    void setChart(Chart chart);
    const Chart &chart() const { return m_chart; }

    void setFormatter(Formatter formatter);
    // What the chart shows, in words ("Data set 2, peak voltage 7.3 kV: …"), given along with
    // the chart: the start of the accessible description.
    void setSummary(const QString &summary);
    void setReadoutShown(bool shown);

    QString readoutText() const { return m_readout; }
    QString cursorText() const { return m_cursorText; }
    // The points of the first series the cursors stand on, C1 first; unplaced ones are left out.
    std::vector<int> cursorPoints() const;

    void resetView();

    QSize sizeHint() const override { return {800, 500}; }
    QSize minimumSizeHint() const override { return {240, 160}; }

signals:
    void readoutChanged(const QString &text);
    void cursorsChanged(const QString &text);
    void viewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    using Cursors = std::array<std::optional<int>, 2>;

    bool onPlot(QPointF at) const;
    std::optional<int> nearestPoint(QPointF at) const;
    std::optional<int> cursorAt(QPointF at) const;
    void hover(std::optional<QPointF> at);
    void setCursors(const Cursors &cursors);
    // The readout and cursor texts afresh from the chart's layout; signals those that changed.
    void refreshTexts();
    void viewChangedBy(bool changed);
    void updateDescription();

    Chart m_chart;
    Formatter m_formatter;
    bool m_readoutShown = true;
    std::optional<QPointF> m_pointer; // over the widget
    Cursors m_cursors;
    int m_nextCursor = 0;
    QString m_readout;
    QString m_cursorText;
    QString m_summary;

    // The left button's gesture: where it went down, the cursor it holds, the band it draws.
    std::optional<QPointF> m_pressedAt;
    std::optional<int> m_dragged;
    std::optional<QRectF> m_band;
    // The cursors before the last click on the plot area, for a double click to take it back.
    std::optional<std::pair<Cursors, int>> m_beforeClick;
};
