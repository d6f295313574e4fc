#include "RetainedCanvas.h"
#include "WaveformPlot.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <functional>

// Pixel positions below are worked out by hand for the 617 × 297 pixel area that the main window
// gives the waveform (9255 × 4455 twips), at 12500 × 12500 logical units:
//   column = x × 617 / 12500, row = y × 297 / 12500
// A point lies in the pixel holding it (round down); a box edge goes to the nearest pixel boundary.

namespace {

constexpr QRgb Black = 0xff000000, White = 0xffffffff, Yellow = 0xffffff00, Red = 0xffff0000;
constexpr QRgb Green = 0xff00ff00, Blue = 0xff0000ff;

bool isCyan(QRgb p) // cyan text over black, whatever its anti-aliasing
{
    return qRed(p) == 0 && qGreen(p) > 0 && qGreen(p) == qBlue(p);
}

// The widget as it paints itself, or with `screen` what a shown window's backing store holds.
QImage picture(QWidget &widget, bool screen = false)
{
    const QPixmap pixmap = screen ? widget.screen()->grabWindow(widget.winId()) : widget.grab();
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

QPolygon pixelsWhere(const QImage &image, const std::function<bool(QRgb)> &test)
{
    QPolygon found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (test(image.pixel(x, y)))
                found.append(QPoint(x, y));
        }
    }
    return found;
}

QPolygon pixelsOf(const QImage &image, QRgb colour)
{
    return pixelsWhere(image, [colour](QRgb p) { return p == colour; });
}

// All samples 0, below the area, but for those given as index, value, index, value...
Measurement::Samples samples(std::initializer_list<int> set)
{
    Measurement::Samples result{};
    for (auto i = set.begin(); i != set.end(); i += 2)
        result[i[0]] = std::int16_t(i[1]);
    return result;
}

// One box at the top, columns 320..321 of row 25.
const Measurement::Samples Peak = samples({100, 255});
const QPolygon PeakPixels = {{320, 25}, {321, 25}};

} // namespace

class TestRetainedCanvas : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); } // no widget left over

    void boxPixels_data()
    {
        QTest::addColumn<QLineF>("corners"); // from one corner to the opposite one
        QTest::addColumn<QRect>("pixels");
        // A point is a box too: it takes the pixel holding it.
        QTest::newRow("point left of the area")
            << QLineF(-10, -10, -10, -10) << QRect(-1, -1, 1, 1);
        QTest::newRow("point far below")
            << QLineF(1530, 2048505, 1530, 2048505) << QRect(75, 48672, 1, 1); // 75.52, 48672.48
        // Sample 1 = 127, corners swapped: columns 75.52..77.49 -> 76; rows 213.48..214.20 -> 213.
        QTest::newRow("corners swapped") << QLineF(1570, 9015, 1530, 8985) << QRect(76, 213, 1, 1);
        // 4.94..4.99 columns, 2.38..2.40 rows: the centre pixel (4, 2).
        QTest::newRow("tiny") << QLineF(100, 100, 101, 101) << QRect(4, 2, 1, 1);
        // Edges on exact halves (308.5, 148.5) go right and down: boxes sharing one do not meet.
        QTest::newRow("from a half") << QLineF(6250, 6250, 6300, 6300) << QRect(309, 149, 2, 1);
        QTest::newRow("to a half") << QLineF(6200, 6200, 6250, 6250) << QRect(306, 147, 3, 2);
    }
    void boxPixels()
    {
        QFETCH(QLineF, corners);
        QFETCH(QRect, pixels);
        const PixelMapping mapping{QSizeF(12500, 12500), QSize(617, 297)};
        QCOMPARE(mapping.boxPixels(corners.p1(), corners.p2()), pixels);
        if (corners.length() == 0)
            QCOMPARE(mapping.pixelAt(corners.p1()), pixels.topLeft());
    }

    void drawingInTwipsUntilScaled()
    {
        RetainedCanvas pic;
        QCOMPARE(pic.objectName(), "pic");
        QCOMPARE(pic.sizeHint(), QSize(617, 297)); // the main window's 9255 × 4455 twips
        pic.resize(617, 297);
        QVERIFY(pixelsWhere(picture(pic), [](QRgb p) { return p != Black; }).isEmpty());
        // 15 twips to a pixel. Lines take both end pixels; outlines the edge pixels of the box.
        pic.drawBox({150, 150}, {300, 300}, Qt::yellow, DrawingSurface::Fill::Filled);
        pic.drawBox({1500, 1500}, {3000, 3000}, Qt::red, DrawingSurface::Fill::Outline);
        pic.drawLine({750, 3600}, {1500, 3600}, Qt::green); // row 240, columns 50..100
        pic.drawLine({370, 40}, {1120, 790}, Qt::blue);     // pixel (24, 2) to pixel (74, 52)
        // A text keeps the size and weight it was printed with; later settings change later texts.
        pic.setTextColour(Qt::cyan);
        pic.setCurrentX(3150); // column 210
        pic.printText("Hg");
        pic.setFontSize(30);
        pic.setCurrentY(1500); // row 100
        for (const bool bold : {false, true}) {
            pic.setBold(bold);
            pic.setCurrentX(bold ? 6000 : 3150); // column 400 or 210
            pic.printText("Hg");
        }
        const QImage image = picture(pic);
        QCOMPARE(pixelsOf(image, Yellow).boundingRect(), QRect(10, 10, 10, 10));
        QCOMPARE(pixelsOf(image, Yellow).size(), 100);
        QCOMPARE(pixelsOf(image, Red).boundingRect(), QRect(100, 100, 100, 100));
        QCOMPARE(pixelsOf(image, Red).size(), 4 * 99);
        QCOMPARE(pixelsOf(image, Green).boundingRect(), QRect(50, 240, 51, 1));
        QCOMPARE(pixelsOf(image, Green).size(), 51);
        const QPolygon blue = pixelsOf(image, Blue);
        QVERIFY(blue.contains(QPoint(24, 2)) && blue.contains(QPoint(74, 52)));
        QCOMPARE(blue.boundingRect(), QRect(QPoint(24, 2), QPoint(74, 52)));
        const auto lit = [&image](QRect part) { return pixelsWhere(image.copy(part), isCyan); };
        const QPolygon first = lit({200, 0, 417, 90}), regular = lit({200, 90, 195, 207});
        QVERIFY(!first.isEmpty() &&
                regular.boundingRect().height() > 2 * first.boundingRect().height());
        QVERIFY(lit({395, 90, 222, 207}).size() > regular.size());
        pic.clear();
        QVERIFY(pixelsWhere(picture(pic), [](QRgb p) { return p != Black; }).isEmpty());
    }

    void axisLinesAndCaptions()
    {
        RetainedCanvas pic;
        pic.resize(617, 297);
        WaveformPlot::prepareWaveformArea(pic);
        const QImage image = picture(pic);
        // x_axis: row 213, columns 74..567; y_axis: column 74, rows 23..273; nothing else white.
        const QPolygon white = pixelsOf(image, White);
        QCOMPARE(white.size(), (567 - 74 + 1) + (273 - 23 + 1) - 1);
        for (const QPoint &p : white)
            QVERIFY((p.y() == 213 && p.x() >= 74 && p.x() <= 567) ||
                    (p.x() == 74 && p.y() >= 23 && p.y() <= 273));

        // "Volts" has the top-left of its text cell at pixel (24, 10), "Time (µs)" at (493, 225);
        // the glyphs start a little inside the cell, or, anti-aliased, a pixel before it.
        const QRect volts = pixelsWhere(image.copy(0, 0, 300, 150), isCyan).boundingRect();
        const QRect time = pixelsWhere(image.copy(300, 150, 317, 147), isCyan).boundingRect();
        QCOMPARE(pixelsWhere(image, isCyan).boundingRect(), volts | time.translated(300, 150));
        QVERIFY(QRect(23, 9, 5, 8).contains(volts.topLeft()));
        QVERIFY(QRect(192, 74, 5, 8).contains(time.topLeft()));
        QVERIFY(volts.width() > 15 && time.width() > volts.width());

        // clear() leaves the axis lines alone, and nothing draws the captions again.
        WaveformPlot::plotSamples(pic, samples({10, 255, 20, 90}));
        pic.drawLine({0, 0}, {12500, 12500}, Qt::red);
        pic.clear();
        QCOMPARE(pixelsWhere(picture(pic), [](QRgb p) { return p != Black; }), white);
        WaveformPlot::plotSamples(pic, Peak);
        QCOMPARE(pixelsOf(picture(pic), Yellow), PeakPixels);
        QVERIFY(pixelsWhere(picture(pic), isCyan).isEmpty());
    }

    void samplesAtTheirPixels()
    {
        RetainedCanvas pic;
        pic.resize(617, 297);
        WaveformPlot::prepareWaveformArea(pic);
        pic.clear();
        // 127 lies on the x-axis and shows over it; 0 and 70 land below the area, 71 just in it
        // (rows 295.98..296.69); 1184 and -873 far off, but in 16 bits they would be y 9002, 5464.
        const auto plotted =
            samples({1, 129, 2, 127, 50, 1184, 60, -873, 100, 255, 150, 70, 151, 71, 200, 127});
        WaveformPlot::plotSamples(pic, plotted);
        const QImage image = picture(pic);
        const QPolygon expected = {{320, 25},  {321, 25},  {76, 210},  {78, 213}, {79, 213},
                                   {567, 213}, {568, 213}, {446, 296}, {447, 296}};
        QCOMPARE(pixelsOf(image, Yellow), expected);
        WaveformPlot::plotSamples(pic, plotted); // the same again changes nothing
        QCOMPARE(picture(pic), image);
    }

    void drawingShowsAndStays()
    {
        // As in the main window, the area is drawn on before it is first shown.
        RetainedCanvas pic;
        pic.resize(617, 297);
        WaveformPlot::prepareWaveformArea(pic);
        WaveformPlot::plotSamples(pic, Peak);
        const QImage drawn = picture(pic);
        QCOMPARE(pixelsOf(drawn, Yellow), PeakPixels);
        QCOMPARE(picture(pic), drawn); // painted again, the same
        pic.resize(1234, 594); // columns 639.74..643.65 -> 640..643, rows 49.85..51.27 -> 50
        QCOMPARE(pixelsOf(picture(pic), Yellow).boundingRect(), QRect(640, 50, 4, 1));
        pic.resize(617, 297);
        QCOMPARE(picture(pic), drawn);
        pic.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pic));
        QCOMPARE(picture(pic, true), drawn);

        // Clearing and drawing on the shown area shows at once.
        pic.clear();
        QTRY_VERIFY(pixelsWhere(picture(pic, true), [](QRgb p) {
                        return p != Black && p != White;
                    }).isEmpty());
        QCOMPARE(picture(pic, true).pixel(300, 213), White);
        WaveformPlot::plotSamples(pic, Peak);
        QTRY_COMPARE(pixelsOf(picture(pic, true), Yellow), PeakPixels);
    }
};

QTEST_MAIN(TestRetainedCanvas)
#include "tst_retainedcanvas.moc"
