#include "ChartView.h"
#include "Golden.h"
#include "PainterSurface.h"
#include "PrinterSurface.h"
#include "RetainedCanvas.h"
#include "ScaleFactor.h"

#include <QtWidgets>

#include <cmath>

namespace {
// A 200-sample pulse, 2 µs a sample, peaking at 7.3 kV, and a slower reference drawn behind it.
Chart pulseChart()
{
    Chart c;
    c.title = "Data set 1";
    c.x = {.title = "Time", .unit = "µs", .symbol = "t", .decimals = 0};
    c.y = {.title = "Voltage", .unit = "kV", .symbol = "V"};
    c.series = {{"Pulse", QColor(0x10, 0x50, 0xc0), {}, Chart::Style::LinesAndMarkers},
                {"Reference", QColor(0xe0, 0x90, 0x20), {}, Chart::Style::Lines, {}, true}};
    const auto pulse = [](double t, double rise, double fall) {
        return std::exp(-t / fall) - std::exp(-t / rise) - 0.08 * std::sin(t / 30);
    };
    for (int i = 0; i < 200; ++i) {
        c.series[0].points.push_back({2.0 * i, 7.3 / 0.582 * pulse(2.0 * i, 6, 40)});
        c.series[1].points.push_back({2.0 * i, 6.5 / 0.61 * pulse(2.0 * i, 9, 50)});
    }
    return c;
}
QPoint at(const ChartView &v, int i) // where point i of the pulse is shown
{
    return v.chart().toLogical(v.chart().series[0].points[i]).toPoint();
}
void wheel(ChartView &v, QPoint p, int notches)
{
    QWheelEvent e(p, v.mapToGlobal(p), {}, {0, 120 * notches}, {}, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&v, &e);
}
// The mouse as the window system moves it.
void move(ChartView &v, QPoint to)
{
    QTest::mouseMove(v.windowHandle(), to);
}
void click(ChartView &v, QPoint p)
{
    QTest::mouseClick(v.windowHandle(), Qt::LeftButton, {}, p);
}
void drag(ChartView &v, QPoint from, QPoint to)
{
    QTest::mousePress(v.windowHandle(), Qt::LeftButton, {}, from);
    move(v, (from + to) / 2);
    move(v, to);
    QTest::mouseRelease(v.windowHandle(), Qt::LeftButton, {}, to);
}
} // namespace

class TestChartView : public QObject
{
    Q_OBJECT

    ChartView *view = nullptr;

private slots:
    void init()
    {
        view = new ChartView;
        view->resize(800, 500);
        view->setChart(pulseChart());
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        view->repaint(); // laid out as shown
    }
    void cleanup() { delete view; }

    void testPointerReadout_data()
    {
        QTest::addColumn<int>("point");
        QTest::addColumn<bool>("formatted");
        QTest::addColumn<QString>("readout");
        QTest::newRow("the peak") << 6 << false << "Pulse #7: 12 µs, 7.2 kV";
        QTest::newRow("the last") << 199 << false << "Pulse #200: 398 µs, -0.6 kV";
        QTest::newRow("formatted") << 40 << true << "40 of Data set 1";
        QTest::newRow("off the plot") << -1 << false << "";
    }
    void testPointerReadout()
    {
        QFETCH(int, point);
        QFETCH(bool, formatted);
        QFETCH(QString, readout);
        if (formatted)
            view->setFormatter(
                [](const Chart &c, int i) { return QString("%1 of %2").arg(i).arg(c.title); });
        QSignalSpy changed(view, &ChartView::readoutChanged);
        move(*view, at(*view, 100));
        move(*view, point < 0 ? QPoint(3, 3) : at(*view, point));
        QCOMPARE(view->readoutText(), readout);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.last().value(0).toString(), readout);
    }

    void testCursorsPlacedAndDragged()
    {
        QSignalSpy changed(view, &ChartView::cursorsChanged);
        click(*view, at(*view, 20));
        click(*view, at(*view, 70));
        QCOMPARE(view->cursorText(),
                 "C1: 40 µs, 3.6 kV   C2: 140 µs, 1.4 kV   Δt = 100 µs   ΔV = -2.2 kV");
        click(*view, at(*view, 100)); // C1 again
        QCOMPARE(view->cursorPoints(), (std::vector<int>{100, 70}));
        drag(*view, at(*view, 70) + QPoint(3, 0), at(*view, 150));
        QCOMPARE(view->cursorPoints(), (std::vector<int>{100, 150}));
        QCOMPARE(view->cursorText(),
                 "C1: 200 µs, -0.3 kV   C2: 300 µs, 0.6 kV   Δt = 100 µs   ΔV = 0.8 kV");
        QCOMPARE(changed.size(), 5);
        QTest::keyClick(view, Qt::Key_Escape);
        QCOMPARE(view->cursorPoints(), std::vector<int>());
    }

    void testWheelZoomsAroundThePointer()
    {
        const QPoint p = at(*view, 50);
        const Chart::Ranges full = view->chart().view();
        const QPointF under = view->chart().toData(p);
        QSignalSpy changed(view, &ChartView::viewChanged);
        wheel(*view, p, 2);
        QCOMPARE(view->chart().view().x.span(), full.x.span() / 1.5625);
        QCOMPARE(view->chart().view().y.span(), full.y.span() / 1.5625);
        QCOMPARE(view->chart().toData(p), under);
        wheel(*view, p, -3);
        QCOMPARE(view->chart().view(), full);
        QCOMPARE(changed.size(), 2);
    }

    void testRubberBandZoomsAndEveryResetRestores()
    {
        const QPoint from = at(*view, 30) + QPoint(0, -60), to = at(*view, 90) + QPoint(0, 40);
        const Chart::Ranges full = view->chart().view();
        const QPointF a = view->chart().toData(from), b = view->chart().toData(to);
        const auto reset = [&](const std::function<void()> &how) {
            drag(*view, from, to);
            QCOMPARE(view->chart().view().x, (AxisRange{a.x(), b.x()}));
            QCOMPARE(view->chart().view().y, (AxisRange{b.y(), a.y()}));
            view->repaint();
            how();
            QCOMPARE(view->chart().view(), full);
        };
        reset([&] { QTest::keyClick(view, Qt::Key_Home); });
        reset([&] { QTest::keyClick(view, Qt::Key_R); });
        reset([&] { view->resetView(); });
        reset([&] { QTest::mouseDClick(view->windowHandle(), Qt::LeftButton, {}, at(*view, 50)); });
        QCOMPARE(view->cursorPoints(), std::vector<int>()); // the double click's first click undone
    }

    void testSurfacesMeasureTextsInLogicalUnits()
    {
        // 12 points bold, measured as drawn and scaled to the logical size of each surface.
        QFont font;
        font.setPointSizeF(12), font.setBold(true);
        RetainedCanvas area;
        area.resize(617, 297);
        area.setLogicalSize(12500, 12500);
        area.setFontSize(12), area.setBold(true);
        const QFontMetrics onScreen(font, &area);
        QCOMPARE(area.textSize("Volts"), QSizeF(onScreen.horizontalAdvance("Volts") * 12500 / 617.0,
                                                onScreen.height() * 12500 / 297.0));
        QImage page(600, 800, QImage::Format_RGB32);
        QPainter painter(&page);
        painter.setViewport(100, 100, 400, 600);
        PrinterSurface printed(painter);
        PainterSurface painted(painter, QRectF(50, 50, 200, 100));
        for (DrawingSurface *s : std::initializer_list<DrawingSurface *>{&printed, &painted})
            s->setLogicalSize(2000, 3000), s->setFontSize(12), s->setBold(true);
        const QFontMetricsF onPage(font, &page);
        QCOMPARE(printed.textSize("Volts"),
                 QSizeF(onPage.horizontalAdvance("Volts") * 5, onPage.height() * 5));
        QCOMPARE(painted.textSize("Volts"),
                 QSizeF(onPage.horizontalAdvance("Volts") * 10, onPage.height() * 30));
    }

    void testRendersSharpAtScale1And2()
    {
        // The pulse over its reference, as seen at a device pixel ratio of 1, and of 2 in a child
        // process: the frame's top edge is one device pixel of pure colour per ratio.
        QByteArray failed;
        const double ratio = scaleFactor("testRendersSharpAtScale1And2", failed);
        QVERIFY2(failed.isEmpty(), failed.constData());
        click(*view, at(*view, 8));
        click(*view, at(*view, 60));
        move(*view, at(*view, 120));
        const QPixmap shot = view->grab();
        QCOMPARE(shot.devicePixelRatio(), ratio);
        const QImage image = shot.toImage().convertToFormat(QImage::Format_RGB32);
        const QString name = ratio == 1 ? "chart-waveform.png" : "chart-waveform@2x.png";
        if (const QString keep = qEnvironmentVariable("VOLTRANE_CHART_PNG"); !keep.isEmpty())
            image.save(keep + '/' + name);
        const QRectF plot = view->chart().layout().plot;
        const QPoint top(int(view->chart().toLogical({225, 0}).x() * ratio),
                         int(plot.top() * ratio));
        QCOMPARE(edgeAt(image, top, view->chart().colours.frame.rgb()), ratio == 1 ? "#" : "##");
        QCOMPARE(image, golden(name, image));
    }
};

QTEST_MAIN(TestChartView)
#include "tst_chartview.moc"
