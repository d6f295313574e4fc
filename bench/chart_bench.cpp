// What the chart costs the operator, on Qt's offscreen platform (or the platform given): a chart
// window opened and painted with a 200-sample pulse and a 200-sample reference (target 150 ms),
// a pointer move until its readout is repainted (target 8 ms), and a trend of 500 tests with
// voltage and energy, painted (target 50 ms). Medians and fastest of N runs each.
// usage: voltrane-bench-chart [N]   (default 30)
#include "ChartView.h"
#include "Timing.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Timing::report;
using Timing::timed;

Chart pulseChart()
{
    Chart c;
    c.title = QStringLiteral("Data set 1");
    c.x = {.title = QStringLiteral("Time"), .unit = QStringLiteral("µs"), .symbol = "t"};
    c.y = {.title = QStringLiteral("Voltage"), .unit = QStringLiteral("kV"), .symbol = "V"};
    c.series = {
        {QStringLiteral("Pulse"), QColor(0x10, 0x50, 0xc0), {}, Chart::Style::LinesAndMarkers},
        {QStringLiteral("Reference"),
         QColor(0xe0, 0x90, 0x20),
         {},
         Chart::Style::Lines,
         Chart::YAxis::Left,
         true}};
    for (int i = 0; i < 200; ++i) {
        const double t = 2.0 * i;
        c.series[0].points.push_back({t, 12.5 * (std::exp(-t / 40) - std::exp(-t / 6))});
        c.series[1].points.push_back({t, 10.7 * (std::exp(-t / 50) - std::exp(-t / 9))});
    }
    return c;
}

Chart trendChart()
{
    Chart c;
    c.title = QStringLiteral("Energizer EF-200");
    c.x = {.title = QStringLiteral("Date"), .kind = ChartAxis::Kind::Time};
    c.y = {.title = QStringLiteral("Peak voltage"), .unit = QStringLiteral("kV")};
    c.y2 = {.title = QStringLiteral("Energy"), .unit = QStringLiteral("J")};
    c.series = {{QStringLiteral("Voltage"), Qt::darkBlue, {}, Chart::Style::LinesAndMarkers},
                {QStringLiteral("Energy"),
                 Qt::darkRed,
                 {},
                 Chart::Style::LinesAndMarkers,
                 Chart::YAxis::Right}};
    const QDateTime first(QDate(2023, 1, 9), QTime(9, 30));
    for (int i = 0; i < 500; ++i) {
        const double when = double(first.addSecs(i * 86'400LL * 3 / 2).toMSecsSinceEpoch());
        c.series[0].points.push_back({when, 7.3 - i * 0.004 + 0.2 * std::sin(i / 7.0)});
        c.series[1].points.push_back({when, 1.5 - i * 0.001 + 0.05 * std::cos(i / 5.0)});
    }
    c.markers = {{c.series[0].points.front(), QStringLiteral("Baseline"), Qt::black}};
    return c;
}

// Counts the paint events of the widget it watches.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Shows the view and lets the window system expose it until it has been painted once.
void showPainted(ChartView &view)
{
    PaintCounter counter;
    view.installEventFilter(&counter);
    view.show();
    while (counter.paints == 0)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    view.removeEventFilter(&counter);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const Chart pulse = pulseChart();
    const Chart trend = trendChart();

    report("chart window opened and painted (pulse + reference)",
           timed(runs,
                 [&] {
                     ChartView view;
                     view.resize(800, 500);
                     view.setChart(pulse);
                     showPainted(view);
                 }),
           150);

    ChartView view;
    view.resize(800, 500);
    view.setChart(pulse);
    showPainted(view);
    int step = 0;
    const auto moveTo = [&](int point) {
        const QPointF at = view.chart().toLogical(view.chart().series[0].points[point]);
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
        view.repaint();
    };
    const QString before = view.readoutText();
    report("pointer moved to the next point, readout repainted",
           timed(runs * 10, [&] { moveTo(20 + step++ % 150); }), 8);
    if (view.readoutText() == before) {
        std::fprintf(stderr, "the readout did not follow the pointer\n");
        return 1;
    }

    report("trend of 500 tests, voltage and energy, set and painted",
           timed(runs,
                 [&] {
                     view.setChart(trend);
                     view.repaint();
                 }),
           50);
    return 0;
}
