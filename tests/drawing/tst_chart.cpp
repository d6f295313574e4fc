#include "Chart.h"
#include "PainterSurface.h"
#include "RecordingSurface.h"

#include <QPainter>
#include <QtTest>

namespace {
// Laid out on a recording surface (6 units a character, 12 a line), the plot areas are:
// plain (400 × 300, x 0..400 µs, y 0..10 kV):                     28..383 × 30..258;
// full (600 × 400, title, legend, right axis 0..3 J, readout):     28..566 × 62..330.
Chart chart(bool full)
{
    Chart c;
    c.size = full ? QSizeF(600, 400) : QSizeF(400, 300);
    c.x = {.title = "Time", .unit = "µs", .fixedRange = AxisRange{0, 400}};
    c.y = {.title = "Voltage", .unit = "kV", .fixedRange = AxisRange{0, 10}};
    if (full) {
        c.title = "Trend", c.readoutLines = 2;
        c.y2 = {.title = "Energy", .unit = "J", .fixedRange = AxisRange{0, 3}};
        c.series = {{"Voltage", Qt::blue, {}}, {"Energy", Qt::red, {}, {}, Chart::YAxis::Right}};
    }
    RecordingSurface s;
    c.layOut(s);
    return c;
}
QString joined(const AxisTicks &t)
{
    return t.labels.join('|');
}
double ms(const char *when) // local time
{
    return double(QDateTime::fromString(when, Qt::ISODate).toMSecsSinceEpoch());
}
// Each text drawn with the position it was drawn at: "Baseline@122.25,126.5".
QStringList texts(const QStringList &log)
{
    QStringList found;
    QString x, y;
    for (const QString &entry : log) {
        x = entry.startsWith("x ") ? entry.mid(2) : x;
        y = entry.startsWith("y ") ? entry.mid(2) : y;
        if (entry.startsWith("text "))
            found << entry.mid(5) + '@' + x + ',' + y;
    }
    return found;
}
} // namespace

class TestChart : public QObject
{
    Q_OBJECT

private slots:
    void testLinearTicks_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("most");
        QTest::addColumn<QString>("labels");
        QTest::newRow("0-400 us") << 0.0 << 400.0 << 9 << "0|50|100|150|200|250|300|350|400";
        QTest::newRow("-2..14 kV") << -2.0 << 14.0 << 9 << "-2|0|2|4|6|8|10|12|14";
        QTest::newRow("uneven ends") << 0.3 << 1.7 << 5 << "0.5|1.0|1.5";
        QTest::newRow("negative") << -14.0 << -2.0 << 7 << "-14|-12|-10|-8|-6|-4|-2";
        QTest::newRow("tiny") << 0.0 << 4e-9 << 5 << "0|1e-09|2e-09|3e-09|4e-09";
        QTest::newRow("tiny span") << 1.0 << 1.00002 << 3 << "1.00000|1.00001|1.00002";
        QTest::newRow("huge") << 0.0 << 5e12 << 6 << "0|1e+12|2e+12|3e+12|4e+12|5e+12";
        QTest::newRow("huge offset") << 1e9 << 1e9 + 2 << 3 << "1000000000|1000000001|1000000002";
        QTest::newRow("no width") << 5.0 << 5.0 << 6 << "5";
        QTest::newRow("reversed") << 4.0 << 1.0 << 6 << "";
        QTest::newRow("beyond doubles") << -1e308 << 1e308 << 6 << "";
    }
    void testLinearTicks()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, most);
        QFETCH(QString, labels);
        QCOMPARE(joined(ChartAxis::linearTicks({low, high}, most)), labels);
    }

    void testTimeTicks_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<QString>("labels");
        QTest::newRow("hours") << ms("2024-03-01T09:10") << ms("2024-03-01T13:50")
                               << "10:00|11:00|12:00|13:00";
        QTest::newRow("hours across midnight: its tick says the day")
            << ms("2024-03-01T18:00") << ms("2024-03-02T09:00")
            << "18:00|21:00|03-02|03:00|06:00|09:00";
        QTest::newRow("days over a leap day") << ms("2024-02-27T12:00") << ms("2024-03-03T00:00")
                                              << "2024-02-28|2024-02-29|2024-03-01|2024-03-02|"
                                                 "2024-03-03";
        QTest::newRow("Mondays") << ms("2024-03-01T00:00") << ms("2024-03-31T00:00")
                                 << "2024-03-04|2024-03-11|2024-03-18|2024-03-25";
        QTest::newRow("across months") << ms("2024-01-20T00:00") << ms("2024-05-10T00:00")
                                       << "Feb 2024|Mar 2024|Apr 2024|May 2024";
        QTest::newRow("across a year") << ms("2023-10-20T00:00") << ms("2025-01-10T00:00")
                                       << "Jan 2024|Apr 2024|Jul 2024|Oct 2024|Jan 2025";
        QTest::newRow("years") << ms("2019-06-01T00:00") << ms("2024-06-01T00:00")
                               << "2020|2021|2022|2023|2024";
    }
    void testTimeTicks()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(QString, labels);
        QCOMPARE(joined(ChartAxis::timeTicks({low, high}, 6)), labels);
    }

    void testFullRange_data()
    {
        QTest::addColumn<bool>("time");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("fullLow");
        QTest::addColumn<double>("fullHigh");
        const double inf = qInf(), day = 86'400'000;
        QTest::newRow("samples") << false << 0.0 << 398.0 << 0.0 << 400.0;
        QTest::newRow("a pulse") << false << -0.5 << 7.3 << -2.0 << 8.0;
        QTest::newRow("flat") << false << 3.0 << 3.0 << 2.6 << 3.4;
        QTest::newRow("flat at 0") << false << 0.0 << 0.0 << -1.0 << 1.0;
        QTest::newRow("no data") << false << inf << -inf << 0.0 << 1.0;
        QTest::newRow("days") << true << 0.0 << 100 * day << -3 * day << 103 * day;
        QTest::newRow("one test") << true << day << day << day / 2 << 1.5 * day;
    }
    void testFullRange()
    {
        QFETCH(bool, time);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, fullLow);
        QFETCH(double, fullHigh);
        const ChartAxis axis{.kind = time ? ChartAxis::Kind::Time : ChartAxis::Kind::Linear};
        QCOMPARE(axis.fullRange(low, high), (AxisRange{fullLow, fullHigh}));
    }

    void testMapsBothWays_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("right");
        QTest::addColumn<QPointF>("data");
        QTest::addColumn<QPointF>("logical");
        QTest::newRow("origin") << false << false << QPointF(0, 0) << QPointF(28, 258);
        QTest::newRow("top right") << false << false << QPointF(400, 10) << QPointF(383, 30);
        QTest::newRow("middle") << false << false << QPointF(200, 5) << QPointF(205.5, 144);
        QTest::newRow("inside") << false << false << QPointF(100, 7.5) << QPointF(116.75, 87);
        QTest::newRow("beyond") << false << false << QPointF(-400, 20) << QPointF(-327, -198);
        QTest::newRow("left axis") << true << false << QPointF(400, 10) << QPointF(566, 62);
        QTest::newRow("right axis") << true << true << QPointF(0, 1.5) << QPointF(28, 196);
    }
    void testMapsBothWays()
    {
        QFETCH(bool, full);
        QFETCH(bool, right);
        QFETCH(QPointF, data);
        QFETCH(QPointF, logical);
        const Chart c = chart(full);
        const Chart::YAxis axis = right ? Chart::YAxis::Right : Chart::YAxis::Left;
        QCOMPARE(c.toLogical(data, axis), logical);
        QCOMPARE(c.toData(logical, axis), data);
    }

    void testEdgesOfTextsAndSizes()
    {
        // Differences on a time axis change unit at one hour and at two days; a chart with no
        // room for a plot maps every point to its view's low corner; a painter surface takes
        // only a finite size above 0.
        const ChartAxis time{.kind = ChartAxis::Kind::Time};
        QStringList differences;
        for (const double minutes : {59.0, 60.0, 47.9 * 60, 48.0 * 60})
            differences << time.differenceText(minutes * 60'000, 60'000);
        QCOMPARE(differences, QStringList({"59 min", "1.0 h", "47.9 h", "2.0 d"}));
        Chart squeezed = chart(false);
        squeezed.size = QSizeF(10, 10);
        RecordingSurface s;
        squeezed.layOut(s);
        QCOMPARE(squeezed.toData({5, 5}), QPointF(0, 0));
        QImage image(10, 10, QImage::Format_ARGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            PainterSurface surface(painter, QRectF(0, 0, 10, 10));
            surface.setLogicalSize(100, 100);
            for (const auto &[w, h] : {std::pair(qInf(), 1.0), {1.0, qQNaN()}, {-1.0, 1.0}})
                surface.setLogicalSize(w, h);
            surface.drawBox({50, 50}, {100, 100}, Qt::black, DrawingSurface::Fill::Filled);
        }
        QCOMPARE(QList<QRgb>({image.pixel(7, 7), image.pixel(2, 2)}),
                 QList<QRgb>({qRgb(0, 0, 0), qRgb(255, 255, 255)}));
    }

    void testNearestPoint_data()
    {
        QTest::addColumn<int>("series");
        QTest::addColumn<double>("logicalX");
        QTest::addColumn<int>("nearest");
        QTest::newRow("on a point") << 0 << 28.0 << 0;
        QTest::newRow("tie at 50 us") << 0 << 72.375 << 0;
        QTest::newRow("tie at 150 us") << 0 << 161.125 << 1;
        QTest::newRow("right of the plot") << 0 << 1000.0 << 4;
        QTest::newRow("left of the plot") << 0 << -100.0 << 0;
        QTest::newRow("nothing in view") << 1 << 200.0 << -1;
        QTest::newRow("no such series") << 7 << 200.0 << -1;
    }
    void testNearestPoint()
    {
        QFETCH(int, series);
        QFETCH(double, logicalX);
        QFETCH(int, nearest);
        Chart c = chart(false);
        c.series = {{"", Qt::red, {{0, 1}, {100, 1}, {200, 1}, {300, 1}, {400, 1}, {500, 1}}},
                    {"", Qt::red, {{500, 1}, {600, 1}}}};
        QCOMPARE(c.nearestPoint(series, logicalX).value_or(-1), nearest);
    }

    void testZoomsAndResets()
    {
        Chart c = chart(false);
        const Chart::Ranges full = c.view();
        QVERIFY(c.zoomTo(QRectF(QPointF(205.5, 144), QPointF(116.75, 87))));
        QCOMPARE(c.view().x, (AxisRange{100, 200}));
        QCOMPARE(c.view().y, (AxisRange{5, 7.5}));
        QVERIFY(c.zoomAround({383, 258}, 2)); // (200 µs, 5 kV) stays put
        QCOMPARE(c.view().x, (AxisRange{150, 200}));
        QCOMPARE(c.view().y, (AxisRange{5, 6.25}));
        QCOMPARE(c.toLogical({200, 5}), QPointF(383, 258));
        QVERIFY(!c.zoomTo(QRectF(100, 100, 1.5, 50)));
        QVERIFY(!c.zoomAround({100, 100}, 1e7));
        QCOMPARE(c.view().x, (AxisRange{150, 200}));
        QVERIFY(c.isZoomed());
        QVERIFY(c.zoomAround({100, 100}, 0.01)); // out beyond the full view
        QCOMPARE(c.view(), full);
        QVERIFY(!c.isZoomed());
        c.zoomTo(QRectF(50, 50, 100, 100));
        c.resetView();
        QCOMPARE(c.view(), full);
    }

    void testClipsSeriesToThePlotArea()
    {
        // Up through the top, down through the bottom, a gap, a point beyond the right edge: two
        // lines cut at the edges and the boxes of the two points in view, nothing outside.
        Chart c = chart(false);
        c.series = {{"",
                     QColor("#ff0000"),
                     {{0, 5}, {100, 50}, {200, 5}, {300, -20}, {450, 5}, {500, qQNaN()}},
                     Chart::Style::LinesAndMarkers}};
        RecordingSurface s;
        c.draw(s);
        const QRectF plot = c.layout().plot;
        QStringList lines, boxes, outside;
        for (const QString &entry : s.log.filter("#ff0000")) {
            (entry.startsWith("polyline") ? lines : boxes) << entry;
            const QStringList n = entry.split(' ');
            const bool box = entry.startsWith("box");
            for (int i = box ? 1 : 3; i + 1 < (box ? 5 : n.size()); i += 2)
                if (!plot.contains(QPointF(n[i].toDouble(), n[i + 1].toDouble())))
                    outside << entry;
        }
        QCOMPARE(outside, QStringList());
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].section(' ', -1), "30"); // the first line ends on the top edge
        QCOMPARE(boxes.size(), 2);
    }

    void testPlacesLegendAndMarkerLabels_data()
    {
        QTest::addColumn<QPointF>("marker");
        QTest::addColumn<QString>("label");
        QTest::newRow("above right") << QPointF(100, 5) << "Baseline@122.25,126.5";
        QTest::newRow("at the right edge: left") << QPointF(390, 5) << "Baseline@320.625,126.5";
        QTest::newRow("at the top: below") << QPointF(100, 9.9) << "Baseline@122.25,37.78";
        QTest::newRow("outside the view: none") << QPointF(100, 12) << "";
    }
    void testPlacesLegendAndMarkerLabels()
    {
        QFETCH(QPointF, marker);
        QFETCH(QString, label);
        Chart c = chart(false);
        c.markers = {{marker, "Baseline", Qt::black}};
        RecordingSurface s;
        c.draw(s);
        QCOMPARE(texts(s.log).filter("Baseline").join(""), label);
        // The legend ends at the plot area's right edge, on its own row.
        Chart trend = chart(true);
        RecordingSurface t;
        trend.draw(t);
        QCOMPARE(texts(t.log).filter(QRegularExpression("^(Voltage|Energy)@")),
                 QStringList({"Voltage@454,24", "Energy@530,24"}));
    }

    void testPainterSurfaceLinesCoverWholePixels_data()
    {
        QTest::addColumn<double>("ratio");
        QTest::newRow("ratio 1") << 1.0;
        QTest::newRow("ratio 2") << 2.0;
        QTest::newRow("ratio 1.5") << 1.5;
    }
    void testPainterSurfaceLinesCoverWholePixels()
    {
        // A grid line at y = 10.3 and a box from 2.2 to 5.6: all full colour, on whole pixels.
        QFETCH(double, ratio);
        QImage image(QSize(40, 40) * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            PainterSurface s(painter, QRectF(0, 0, 40, 40));
            s.drawLine({5, 10.3}, {30, 10.3}, Qt::black);
            s.drawBox({2.2, 20}, {5.6, 30}, Qt::black, DrawingSurface::Fill::Filled);
        }
        QString column, row;
        for (int y = 0; y < image.height(); ++y)
            column += QString::number(qGray(image.pixel(int(20 * ratio), y)) / 255);
        for (int x = 0; x < image.width(); ++x)
            row += QString::number(qGray(image.pixel(x, int(25 * ratio))) / 255);
        QCOMPARE(column.count('0'), qRound(ratio));
        QCOMPARE(column.count('1'), image.height() - qRound(ratio));
        QCOMPARE(row.indexOf('0'), qRound(2.2 * ratio));
        QCOMPARE(row.lastIndexOf('0') + 1, qRound(5.6 * ratio));
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
