#include "ui/RetainedCanvas.h"
#include "ui/Twips.h"
#include "ui/WaveformPlot.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <functional>

// Pixel positions below are worked out by hand for the 617 × 297 pixel area that the main window
// gives the waveform (9255 × 4455 twips), at 12500 × 12500 logical units:
//   column = x × 617 / 12500, row = y × 297 / 12500
// A point lies in the pixel holding it (round down); a box edge goes to the nearest pixel boundary.

namespace {

constexpr QRgb Black = 0xff000000;
constexpr QRgb White = 0xffffffff;
constexpr QRgb Yellow = 0xffffff00;

bool isCyan(QRgb pixel)
{
    // Cyan text over black, whatever its anti-aliasing: no red, equal green and blue.
    return qRed(pixel) == 0 && qGreen(pixel) > 0 && qGreen(pixel) == qBlue(pixel);
}

QImage picture(QWidget &widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What is on the screen for a shown top-level window, from its backing store.
QImage onScreen(QWidget &window)
{
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QList<QPoint> pixelsWhere(const QImage &image, const std::function<bool(QRgb)> &test)
{
    QList<QPoint> found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (test(image.pixel(x, y)))
                found.append(QPoint(x, y));
        }
    }
    return found;
}

QList<QPoint> yellowPixels(const QImage &image)
{
    return pixelsWhere(image, [](QRgb p) { return p == Yellow; });
}

QRect bounds(const QList<QPoint> &points)
{
    QRect r;
    for (const QPoint &p : points)
        r |= QRect(p, QSize(1, 1));
    return r;
}

WaveformPlot::Samples flat(std::int16_t value)
{
    WaveformPlot::Samples samples{};
    samples.fill(value);
    samples[0] = 0;
    return samples;
}

// A waveform with something in every part of the area.
WaveformPlot::Samples wave()
{
    WaveformPlot::Samples samples{};
    for (int i = 1; i <= 200; ++i)
        samples[i] = static_cast<std::int16_t>(127 + (i % 50) * 2 - 40);
    return samples;
}

// The waveform area as the main window sets it up: 617 × 297 pixels, prepared.
void prepare(RetainedCanvas &pic)
{
    pic.resize(617, 297);
    WaveformPlot::prepareWaveformArea(pic);
}

} // namespace

class TestRetainedCanvas : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // plain mapping
    void pixelAt_data();
    void pixelAt();
    void boxPixels_data();
    void boxPixels();
    void boxesSharingAnEdgeShareNoPixel();

    // the widget
    void sizeIsTheMainWindowsArea();
    void startsBlack();
    void axisLinesAtTheirPixels();
    void captionsUntilTheFirstClear();
    void clearLeavesOnlyTheAxisLines();
    void knownRecordAtItsPixels();
    void flatRecordRunsAlongTheXAxis();
    void samplesBelowTheAreaAreClipped();
    void plottingTwiceChangesNothing();
    void drawingSurvivesRepaints();
    void drawingFollowsTheWidgetSize();
    void drawingBeforeFirstShownAppears();
    void drawingSurvivesMinimising();
    void drawingAfterShownAppears();
    void textsKeepTheirFont();
    void linesIncludeBothEnds();
    void outlineAndFilledBoxes();
    void unitsAreTwipsUntilScaled();
};

void TestRetainedCanvas::init()
{
    // Every test works on its own widgets; none may be left over.
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestRetainedCanvas::pixelAt_data()
{
    QTest::addColumn<QPointF>("logical");
    QTest::addColumn<QPoint>("pixel");
    QTest::newRow("origin") << QPointF(0, 0) << QPoint(0, 0);
    QTest::newRow("x_axis start") << QPointF(1500, 9000) << QPoint(74, 213);   // 74.04, 213.84
    QTest::newRow("x_axis end") << QPointF(11500, 9000) << QPoint(567, 213);   // 567.64
    QTest::newRow("y_axis top") << QPointF(1500, 1000) << QPoint(74, 23);      // 23.76
    QTest::newRow("y_axis bottom") << QPointF(1500, 11500) << QPoint(74, 273); // 273.24
    QTest::newRow("Time caption") << QPointF(10000, 9500) << QPoint(493, 225); // 493.6, 225.72
    QTest::newRow("Volts caption") << QPointF(500, 450) << QPoint(24, 10);     // 24.68, 10.69
    QTest::newRow("exact half") << QPointF(6250, 6250) << QPoint(308, 148);    // 308.5, 148.5
    QTest::newRow("bottom right edge") << QPointF(12500, 12500) << QPoint(617, 297); // outside
    QTest::newRow("left of the area") << QPointF(-10, -10) << QPoint(-1, -1);
    QTest::newRow("far below") << QPointF(1530, 2048505) << QPoint(75, 48672);
}

void TestRetainedCanvas::pixelAt()
{
    QFETCH(QPointF, logical);
    QFETCH(QPoint, pixel);
    const PixelMapping map{QSizeF(12500, 12500), QSize(617, 297)};
    QCOMPARE(map.pixelAt(logical), pixel);
}

void TestRetainedCanvas::boxPixels_data()
{
    QTest::addColumn<QPointF>("corner");
    QTest::addColumn<QPointF>("opposite");
    QTest::addColumn<QRect>("pixels");
    // Sample 1 = 127: columns 75.52..77.49 -> 76; rows 213.48..214.20 -> 213.
    QTest::newRow("sample 1 on the x-axis")
        << QPointF(1530, 8985) << QPointF(1570, 9015) << QRect(76, 213, 1, 1);
    QTest::newRow("corners swapped")
        << QPointF(1570, 9015) << QPointF(1530, 8985) << QRect(76, 213, 1, 1);
    QTest::newRow("other diagonal")
        << QPointF(1530, 9015) << QPointF(1570, 8985) << QRect(76, 213, 1, 1);
    // Sample 100 = 255: columns 319.85..321.83 -> 320, 321; rows 24.92..25.64 -> 25.
    QTest::newRow("sample 100 at the top")
        << QPointF(6480, 1049) << QPointF(6520, 1079) << QRect(320, 25, 2, 1);
    // Sample 1 = 129: rows 210.54..211.25 round to the same boundary, so the box takes the row
    // of its centre, 210.89.
    QTest::newRow("thinner than a row")
        << QPointF(1530, 8861) << QPointF(1570, 8891) << QRect(76, 210, 1, 1);
    // 100 units: 4.94..4.99 columns, 2.38..2.40 rows; the centre pixel (4, 2).
    QTest::newRow("tiny box") << QPointF(100, 100) << QPointF(101, 101) << QRect(4, 2, 1, 1);
    QTest::newRow("a point") << QPointF(100, 100) << QPointF(100, 100) << QRect(4, 2, 1, 1);
    QTest::newRow("whole area") << QPointF(0, 0) << QPointF(12500, 12500) << QRect(0, 0, 617, 297);
    // Edges on exact halves (308.5, 148.5) go right and down.
    QTest::newRow("half edge") << QPointF(6250, 6250) << QPointF(6300, 6300)
                               << QRect(309, 149, 2, 1);
    // Sample 1 = 70: rows 297.45..298.16 -> 297, the first row below the area.
    QTest::newRow("below the area")
        << QPointF(1530, 12519) << QPointF(1570, 12549) << QRect(76, 297, 1, 1);
}

void TestRetainedCanvas::boxPixels()
{
    QFETCH(QPointF, corner);
    QFETCH(QPointF, opposite);
    QFETCH(QRect, pixels);
    const PixelMapping map{QSizeF(12500, 12500), QSize(617, 297)};
    QCOMPARE(map.boxPixels(corner, opposite), pixels);
}

void TestRetainedCanvas::boxesSharingAnEdgeShareNoPixel()
{
    const PixelMapping map{QSizeF(12500, 12500), QSize(617, 297)};
    const QRect left = map.boxPixels({6200, 6200}, {6250, 6250});
    const QRect right = map.boxPixels({6250, 6200}, {6300, 6250});
    const QRect below = map.boxPixels({6200, 6250}, {6250, 6300});
    QCOMPARE(left, QRect(306, 147, 3, 2));
    QVERIFY(!left.intersects(right));
    QCOMPARE(right.left(), left.right() + 1);
    QVERIFY(!left.intersects(below));
    QCOMPARE(below.top(), left.bottom() + 1);
}

void TestRetainedCanvas::sizeIsTheMainWindowsArea()
{
    RetainedCanvas pic;
    QCOMPARE(pic.sizeHint(), QSize(617, 297));
    QCOMPARE(Twips::rect(240, 240, 9255, 4455), QRect(16, 16, 617, 297));
    QCOMPARE(pic.objectName(), "pic");
}

void TestRetainedCanvas::startsBlack()
{
    RetainedCanvas pic;
    pic.resize(617, 297);
    const QImage image = picture(pic);
    QCOMPARE(image.size(), QSize(617, 297));
    QVERIFY(pixelsWhere(image, [](QRgb p) { return p != Black; }).isEmpty());
}

void TestRetainedCanvas::axisLinesAtTheirPixels()
{
    RetainedCanvas pic;
    prepare(pic);
    const QImage image = picture(pic);

    // x_axis: row 213, columns 74..567.
    for (int x = 74; x <= 567; ++x)
        QCOMPARE(image.pixel(x, 213), White);
    QCOMPARE(image.pixel(568, 213), Black);
    QCOMPARE(image.pixel(300, 212), Black);
    QCOMPARE(image.pixel(300, 214), Black);

    // y_axis: column 74, rows 23..273.
    for (int y = 23; y <= 273; ++y)
        QCOMPARE(image.pixel(74, y), White);
    QCOMPARE(image.pixel(74, 22), Black);
    QCOMPARE(image.pixel(74, 274), Black);
    QCOMPARE(image.pixel(73, 100), Black);
    QCOMPARE(image.pixel(75, 100), Black);
    QCOMPARE(image.pixel(73, 213), Black);

    // Nothing else is white.
    const auto white = pixelsWhere(image, [](QRgb p) { return p == White; });
    QCOMPARE(white.size(), (567 - 74 + 1) + (273 - 23 + 1) - 1);
}

void TestRetainedCanvas::captionsUntilTheFirstClear()
{
    RetainedCanvas pic;
    prepare(pic);
    const QImage image = picture(pic);

    // "Volts" starts at pixel (24, 10), "Time (µs)" at (493, 225): each text cell's top-left. The
    // glyphs start a little inside the cell, or, anti-aliased, a pixel before it.
    const auto cyan = pixelsWhere(image, isCyan);
    const QRect volts = bounds(pixelsWhere(image.copy(0, 0, 300, 150), isCyan));
    const QRect time =
        bounds(pixelsWhere(image.copy(300, 150, 317, 147), isCyan)).translated(300, 150);
    QCOMPARE(bounds(cyan), volts | time);
    const auto startsAt = [](QRect text, QPoint cell) {
        return text.left() >= cell.x() - 1 && text.left() <= cell.x() + 3 &&
               text.top() >= cell.y() - 1 && text.top() <= cell.y() + 6;
    };
    QVERIFY2(startsAt(volts, {24, 10}), qPrintable(QDebug::toString(volts)));
    QVERIFY2(startsAt(time, {493, 225}), qPrintable(QDebug::toString(time)));
    QVERIFY(volts.width() > 15);
    QVERIFY(time.width() > volts.width());

    pic.clear();
    QVERIFY(pixelsWhere(picture(pic), isCyan).isEmpty());

    // Nothing draws them again.
    WaveformPlot::plotSamples(pic, wave());
    QVERIFY(pixelsWhere(picture(pic), isCyan).isEmpty());
}

void TestRetainedCanvas::clearLeavesOnlyTheAxisLines()
{
    RetainedCanvas pic;
    prepare(pic);
    WaveformPlot::plotSamples(pic, wave());
    pic.drawLine({0, 0}, {12500, 12500}, Qt::red);
    pic.clear();

    // The same as an area that only ever had its axis lines.
    RetainedCanvas axesOnly;
    axesOnly.resize(617, 297);
    axesOnly.setLogicalSize(12500, 12500);
    WaveformPlot::placeAxisLines(axesOnly);
    QCOMPARE(picture(pic), picture(axesOnly));
    QCOMPARE(picture(pic).pixel(300, 213), White);
}

void TestRetainedCanvas::knownRecordAtItsPixels()
{
    RetainedCanvas pic;
    prepare(pic);
    WaveformPlot::Samples samples = flat(0); // all below the area
    samples[100] = 255;                      // box (6480, 1049)-(6520, 1079)
    samples[1] = 129;                        // box (1530, 8861)-(1570, 8891), under a pixel high
    pic.clear();
    WaveformPlot::plotSamples(pic, samples);
    const QImage image = picture(pic);

    QList<QPoint> expected = {QPoint(320, 25), QPoint(321, 25), QPoint(76, 210)};
    QList<QPoint> found = yellowPixels(image);
    std::sort(expected.begin(), expected.end(),
              [](QPoint a, QPoint b) { return std::pair(a.y(), a.x()) < std::pair(b.y(), b.x()); });
    QCOMPARE(found, expected);
}

void TestRetainedCanvas::flatRecordRunsAlongTheXAxis()
{
    RetainedCanvas pic;
    prepare(pic);
    pic.clear();
    WaveformPlot::plotSamples(pic, flat(127));
    const QImage image = picture(pic);

    // Each box covers the pixel of its centre (1500 + 50 i, 9000), on the x-axis row 213.
    for (int i = 1; i <= 200; ++i) {
        const int column = (1500 + 50 * i) * 617 / 12500;
        QVERIFY2(image.pixel(column, 213) == Yellow, qPrintable(QString::number(i)));
    }
    const auto yellow = yellowPixels(image);
    QVERIFY(yellow.size() >= 200);
    for (const QPoint &p : yellow)
        QCOMPARE(p.y(), 213);
    // The axis still shows left of the first box (columns 76..77) and between boxes.
    QCOMPARE(image.pixel(74, 213), White);
    QCOMPARE(image.pixel(75, 213), White);
}

void TestRetainedCanvas::samplesBelowTheAreaAreClipped()
{
    RetainedCanvas pic;
    prepare(pic);
    for (std::int16_t value : {0, 70}) {
        pic.clear();
        WaveformPlot::plotSamples(pic, flat(value));
        QVERIFY(yellowPixels(picture(pic)).isEmpty());
    }
    // 71: y 12472, box rows 295.98..296.69, the last but one row.
    pic.clear();
    WaveformPlot::plotSamples(pic, flat(71));
    const auto yellow = yellowPixels(picture(pic));
    QVERIFY(yellow.size() >= 200);
    for (const QPoint &p : yellow)
        QCOMPARE(p.y(), 296);
}

void TestRetainedCanvas::plottingTwiceChangesNothing()
{
    RetainedCanvas pic;
    prepare(pic);
    pic.clear();
    WaveformPlot::plotSamples(pic, wave());
    const QImage once = picture(pic);
    WaveformPlot::plotSamples(pic, wave());
    QCOMPARE(picture(pic), once);
}

void TestRetainedCanvas::drawingSurvivesRepaints()
{
    QWidget frame;
    frame.resize(Twips::size(9735, 5535));
    auto *pic = new RetainedCanvas(&frame);
    pic->setGeometry(Twips::rect(240, 240, 9255, 4455));
    WaveformPlot::prepareWaveformArea(*pic);
    const QImage drawn = picture(*pic);
    QVERIFY(!pixelsWhere(drawn, isCyan).isEmpty());
    QCOMPARE(picture(*pic), drawn);

    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(onScreen(frame).copy(16, 16, 617, 297), drawn);

    pic->repaint();
    frame.update();
    QCoreApplication::processEvents();
    QCOMPARE(onScreen(frame).copy(16, 16, 617, 297), drawn);

    pic->hide();
    pic->show();
    frame.hide();
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(onScreen(frame).copy(16, 16, 617, 297), drawn);
}

void TestRetainedCanvas::drawingFollowsTheWidgetSize()
{
    RetainedCanvas pic;
    prepare(pic);
    pic.clear();
    WaveformPlot::Samples samples = flat(0);
    samples[100] = 255;
    WaveformPlot::plotSamples(pic, samples);
    const QImage small = picture(pic);

    // At twice the size: columns 639.74..643.65 -> 640..643, rows 49.85..51.27 -> 50.
    pic.resize(1234, 594);
    QCOMPARE(bounds(yellowPixels(picture(pic))), QRect(640, 50, 4, 1));

    pic.resize(617, 297);
    QCOMPARE(picture(pic), small);
}

void TestRetainedCanvas::drawingBeforeFirstShownAppears()
{
    // As in the main window: the area is prepared while the window loads, before it is shown.
    QWidget frame;
    frame.resize(Twips::size(9735, 5535));
    auto *pic = new RetainedCanvas(&frame);
    pic->setGeometry(Twips::rect(240, 240, 9255, 4455));
    WaveformPlot::prepareWaveformArea(*pic);
    WaveformPlot::Samples samples = flat(0);
    samples[100] = 255;
    WaveformPlot::plotSamples(*pic, samples);

    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QImage screen = onScreen(frame).copy(16, 16, 617, 297);
    QCOMPARE(screen.pixel(320, 25), Yellow);
    QCOMPARE(screen.pixel(321, 25), Yellow);
    QCOMPARE(screen.pixel(300, 213), White);
    QVERIFY(!pixelsWhere(screen, isCyan).isEmpty());
}

void TestRetainedCanvas::drawingSurvivesMinimising()
{
    RetainedCanvas pic;
    prepare(pic);
    WaveformPlot::plotSamples(pic, wave());
    pic.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pic));
    const QImage before = onScreen(pic);
    QCOMPARE(before, picture(pic));

    pic.showMinimized();
    QCoreApplication::processEvents();
    pic.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&pic));
    QCOMPARE(onScreen(pic), before);
}

void TestRetainedCanvas::drawingAfterShownAppears()
{
    RetainedCanvas pic;
    prepare(pic);
    pic.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pic));
    QVERIFY(yellowPixels(onScreen(pic)).isEmpty());

    WaveformPlot::Samples samples = flat(0);
    samples[100] = 255;
    const QList<QPoint> box = {QPoint(320, 25), QPoint(321, 25)};

    // Drawing on the shown area shows at once, over the captions.
    WaveformPlot::plotSamples(pic, samples);
    QTRY_COMPARE(yellowPixels(onScreen(pic)), box);
    QVERIFY(!pixelsWhere(onScreen(pic), isCyan).isEmpty());

    // Clearing takes everything but the axis lines off the screen.
    pic.clear();
    QTRY_VERIFY(yellowPixels(onScreen(pic)).isEmpty());
    QVERIFY(pixelsWhere(onScreen(pic), isCyan).isEmpty());
    QCOMPARE(onScreen(pic).pixel(300, 213), White);

    WaveformPlot::plotSamples(pic, samples);
    QTRY_COMPARE(yellowPixels(onScreen(pic)), box);
}

void TestRetainedCanvas::textsKeepTheirFont()
{
    // A text keeps the size and weight it was printed with; later settings change later texts.
    const auto draw = [](RetainedCanvas &pic, bool thenLarge) {
        pic.resize(617, 297);
        pic.setLogicalSize(12500, 12500);
        pic.setTextColour(QColor(0, 255, 255));
        pic.setCurrentX(500);
        pic.setCurrentY(500);
        pic.printText("Hg");
        if (thenLarge) {
            pic.setFontSize(30);
            pic.setBold(true);
            pic.setCurrentX(500);
            pic.setCurrentY(6000);
            pic.printText("Hg");
        }
    };
    RetainedCanvas plain;
    draw(plain, false);
    RetainedCanvas both;
    draw(both, true);
    const QImage plainImage = picture(plain);
    const QImage bothImage = picture(both);

    // Rows 0..100 hold the first text only, the same on both.
    QCOMPARE(bothImage.copy(0, 0, 617, 100), plainImage.copy(0, 0, 617, 100));
    const QRect first = bounds(pixelsWhere(plainImage, isCyan));
    const QRect second = bounds(pixelsWhere(bothImage.copy(0, 100, 617, 197), isCyan));
    QVERIFY(!first.isEmpty());
    QVERIFY2(second.height() > first.height() * 2,
             qPrintable(QStringLiteral("%1 %2").arg(second.height()).arg(first.height())));

    // Bold at the same size lights more pixels than regular.
    const auto lit = [](bool bold) {
        RetainedCanvas pic;
        pic.resize(617, 297);
        pic.setTextColour(Qt::cyan);
        pic.setFontSize(30);
        pic.setBold(bold);
        pic.printText("Hg");
        return pixelsWhere(picture(pic), isCyan).size();
    };
    QVERIFY(lit(true) > lit(false));
}

void TestRetainedCanvas::linesIncludeBothEnds()
{
    RetainedCanvas pic;
    pic.resize(617, 297);
    pic.setLogicalSize(12500, 12500);
    // Columns 49.36..98.72 -> 49..98, row 118.8 -> 118.
    pic.drawLine({1000, 5000}, {2000, 5000}, Qt::red);
    // A diagonal from pixel (24, 2) to pixel (74, 52).
    pic.drawLine({500, 100}, {1500, 2200}, Qt::green);
    const QImage image = picture(pic);
    const QRgb red = qRgb(255, 0, 0);
    for (int x = 49; x <= 98; ++x)
        QCOMPARE(image.pixel(x, 118), red);
    QCOMPARE(image.pixel(48, 118), Black);
    QCOMPARE(image.pixel(99, 118), Black);
    QCOMPARE(pixelsWhere(image, [&](QRgb p) { return p == red; }).size(), 50);

    const QRgb green = qRgb(0, 255, 0);
    const QPoint start = PixelMapping{QSizeF(12500, 12500), QSize(617, 297)}.pixelAt({500, 100});
    const QPoint end = PixelMapping{QSizeF(12500, 12500), QSize(617, 297)}.pixelAt({1500, 2200});
    QCOMPARE(start, QPoint(24, 2));
    QCOMPARE(end, QPoint(74, 52));
    QCOMPARE(image.pixel(start), green);
    QCOMPARE(image.pixel(end), green);
    QCOMPARE(bounds(pixelsWhere(image, [&](QRgb p) { return p == green; })), QRect(start, end));

    pic.clear();
    QVERIFY(pixelsWhere(picture(pic), [](QRgb p) { return p != Black; }).isEmpty());
}

void TestRetainedCanvas::outlineAndFilledBoxes()
{
    // Columns 49.36..148.08 -> 49..147, rows 23.76..71.28 -> 24..70.
    const auto draw = [](DrawingSurface::Fill fill) {
        RetainedCanvas pic;
        pic.resize(617, 297);
        pic.setLogicalSize(12500, 12500);
        pic.drawBox({1000, 1000}, {3000, 3000}, Qt::yellow, fill);
        return picture(pic);
    };
    const QImage outline = draw(DrawingSurface::Fill::Outline);
    const QImage filled = draw(DrawingSurface::Fill::Filled);

    const QRect box(QPoint(49, 24), QPoint(147, 70));
    QCOMPARE(bounds(yellowPixels(filled)), box);
    QCOMPARE(yellowPixels(filled).size(), box.width() * box.height());
    QCOMPARE(bounds(yellowPixels(outline)), box);
    QCOMPARE(yellowPixels(outline).size(), 2 * box.width() + 2 * (box.height() - 2));
    QCOMPARE(outline.pixel(100, 50), Black);
    QCOMPARE(outline.pixel(100, 24), Yellow);
    QCOMPARE(outline.pixel(147, 50), Yellow);
}

void TestRetainedCanvas::unitsAreTwipsUntilScaled()
{
    RetainedCanvas pic;
    pic.resize(617, 297);
    // 150..300 twips are pixels 10..19.
    pic.drawBox({150, 150}, {300, 300}, Qt::yellow, DrawingSurface::Fill::Filled);
    QCOMPARE(bounds(yellowPixels(picture(pic))), QRect(10, 10, 10, 10));
}

QTEST_MAIN(TestRetainedCanvas)
#include "tst_retainedcanvas.moc"
