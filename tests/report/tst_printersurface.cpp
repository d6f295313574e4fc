// The printer surface and the whole report page, printed to PDF files and read back with poppler.
// To look at the report page, set VOLTRANE_REPORT_PDF to a file name to copy its PDF to.
#include "MeasurementRecord.h"
#include "PdfText.h"
#include "PrinterSurface.h"
#include "RecordBuilder.h"
#include "RecordingSurface.h"
#include "ReportPage.h"
#include "ReportValues.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int Dpi = 150; // of rendered pages

#define REQUIRE_POPPLER()                                                                          \
    do {                                                                                           \
        if (!PdfText::popplerInstalled())                                                          \
            QSKIP("needs poppler-utils to read the printed PDF back");                             \
    } while (false)

enum class Device
{
    Printer,          // QPrinter::HighResolution, 1200 dots per inch, A4 with its own margins
    ScreenResolution, // QPrinter::ScreenResolution
    PdfWriter,        // QPdfWriter, 300 dots per inch, uneven margins
    SmallViewport,    // the printer, its painter's viewport a part of the printable area
};

// A page of A4 printed into a PDF file, with a surface of 14000 × 20000 logical units.
class TestPage
{
public:
    TestPage(const QString &pdf, Device device)
    {
        if (device == Device::PdfWriter) {
            auto writer = std::make_unique<QPdfWriter>(pdf);
            writer->setResolution(300);
            writer->setPageMargins(QMarginsF(25, 40, 10, 15), QPageLayout::Millimeter);
            m_device = std::move(writer);
        } else {
            m_device = std::make_unique<QPrinter>(device == Device::ScreenResolution
                                                      ? QPrinter::ScreenResolution
                                                      : QPrinter::HighResolution);
            static_cast<QPrinter &>(*m_device).setOutputFileName(pdf); // a PDF, by its suffix
        }
        m_device->setPageSize(QPageSize(QPageSize::A4));
        m_area = m_device->pageLayout().paintRect(QPageLayout::Point);
        m_painter.begin(m_device.get());
        if (device == Device::SmallViewport) {
            const QRectF viewport(1200, 2400, 4800, 6000); // device dots
            m_painter.setViewport(viewport.toRect());
            const double pointsPerDot = 72.0 / m_device->logicalDpiX();
            m_area = QRectF(m_area.topLeft() + viewport.topLeft() * pointsPerDot,
                            viewport.size() * pointsPerDot);
        }
        m_surface.emplace(m_painter);
        m_surface->setLogicalSize(ReportPage::LogicalWidth, ReportPage::LogicalHeight);
    }

    PrinterSurface &surface() { return *m_surface; }
    QRect viewport() const { return m_painter.viewport(); }
    int resolution() const { return m_device->logicalDpiY(); }
    bool finish() { return m_painter.end(); }
    // Where a logical point should land on paper.
    QPointF onPaper(QPointF p) const
    {
        return m_area.topLeft() + QPointF(p.x() * m_area.width() / ReportPage::LogicalWidth,
                                          p.y() * m_area.height() / ReportPage::LogicalHeight);
    }

private:
    std::unique_ptr<QPagedPaintDevice> m_device;
    QPainter m_painter;
    std::optional<PrinterSurface> m_surface;
    QRectF m_area; // where the logical page lies on paper
};

void printAt(DrawingSurface &surface, double x, double y, const QString &text)
{
    surface.setCurrentX(x);
    surface.setCurrentY(y);
    surface.printText(text);
}

// What is wrong with `text` printed with its cell's top-left corner at `topLeft` in the default
// face: its place (to `tolerance` points; a leading blank moves it right), its height (from
// ascent to descent a little more than `points`) or its width for `points` and `bold`.
QString misplaced(const QList<PdfText::Word> &words, const QString &text, QPointF topLeft,
                  double points, bool bold, double tolerance)
{
    QImage device(1, 1, QImage::Format_RGB32); // 1200 dots per inch: no hinting to speak of
    device.setDotsPerMeterX(qRound(1200 / 0.0254));
    device.setDotsPerMeterY(qRound(1200 / 0.0254));
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    const auto width = [&](const QString &s) {
        return QFontMetricsF(font, &device).horizontalAdvance(s) * 72 / 1200;
    };
    const QPointF expected = topLeft + QPointF(text.startsWith(u' ') ? width(u" "_qs) : 0, 0);
    const std::optional<QRectF> box = PdfText::find(words, text, expected);
    if (!box)
        return u"\"%1\" is not on the page: %2"_qs.arg(text, PdfText::describe(words));
    if (QLineF(box->topLeft(), expected).length() <= tolerance && box->height() > points &&
        box->height() < 1.2 * points && std::abs(box->width() / width(text.trimmed()) - 1) < 0.04)
        return {};
    return QString::asprintf("\"%s\" (%g pt%s) at (%.2f, %.2f), %.2f × %.2f pt; expected at "
                             "(%.2f, %.2f), %.2f pt wide",
                             qPrintable(text), points, bold ? " bold" : "", box->left(), box->top(),
                             box->width(), box->height(), expected.x(), expected.y(),
                             width(text.trimmed()));
}

// The first of the logical points of a rendered page that is not inked (or paper) as expected.
QString wrongSpot(const QImage &image, const TestPage &page, const QList<QPointF> &inked,
                  const QList<QPointF> &paper, int radius)
{
    for (const QPointF p : inked + paper) {
        int darkest = 255; // 0 black, 255 white
        const QPoint centre = (page.onPaper(p) * Dpi / 72).toPoint();
        for (int y = -radius; y <= radius; ++y) {
            for (int x = -radius; x <= radius; ++x)
                darkest = std::min(darkest, qGray(image.pixel(centre + QPoint(x, y))));
        }
        if (inked.contains(p) ? darkest > 140 : darkest < 250)
            return QString::asprintf("%s at (%g, %g)", inked.contains(p) ? "no ink" : "ink", p.x(),
                                     p.y());
    }
    return {};
}

// A decoded data set of 7.3 kV, 1.5 J, 1234 ms apart, 60 µs wide, into 500 Ohms: a pulse up to
// the top code 255 at sample 20, and below the zero line around it.
ReportValues decodedDataSet()
{
    RecordBuilder record;
    for (int i = 1; i <= 200; ++i)
        record.samples[i - 1] = std::uint8_t(std::max(255 - 13 * std::abs(i - 20), 100));
    record.counts(1234, 60, 73, 15, 500);
    const std::optional<Measurement> measurement = decodeRecord(record.bytes());
    return measurement ? ReportValues::of(ShownDataSet{0, *measurement, "?MVM-2000", "?SSN-104233"})
                       : ReportValues{};
}

} // namespace

Q_DECLARE_METATYPE(Device)

class TestPrinterSurface : public QObject
{
    Q_OBJECT

private slots:
    void clipLine_data();
    void clipLine();
    void textsAtTheirPlaceInTruePoints_data();
    void textsAtTheirPlaceInTruePoints();
    void linesBoxesColoursAndClipping();
    void wholeReportPage();

private:
    QTemporaryDir m_dir;
    QString pdfPath(const QString &name) const { return m_dir.filePath(name + u".pdf"_qs); }
};

void TestPrinterSurface::clipLine_data()
{
    QTest::addColumn<QLineF>("line"); // cut to (0, 0)-(100, 200)
    QTest::addColumn<QLineF>("expected");
    const QLineF none; // nothing of it is inside
    QTest::newRow("inside, untouched") << QLineF(10, 20, 90, 180) << QLineF(10, 20, 90, 180);
    QTest::newRow("on an edge") << QLineF(0, 0, 100, 0) << QLineF(0, 0, 100, 0);
    QTest::newRow("a point") << QLineF(5, 5, 5, 5) << QLineF(5, 5, 5, 5);
    QTest::newRow("crosses the bottom") << QLineF(50, 150, 100, 250) << QLineF(50, 150, 75, 200);
    QTest::newRow("through, reversed") << QLineF(150, 300, -50, -100) << QLineF(100, 200, 0, 0);
    QTest::newRow("huge, slope kept") << QLineF(0, 0, 2e8, 4e8) << QLineF(0, 0, 100, 200);
    QTest::newRow("wholly below") << QLineF(10, 300, 90, 4e8) << none;
    QTest::newRow("parallel, left of it") << QLineF(-5, 0, -5, 200) << none;
    QTest::newRow("passes by a corner") << QLineF(90, -20, 120, 10) << none;
    QTest::newRow("infinite end") << QLineF(10, 10, 10, Inf) << none;
    QTest::newRow("not a number") << QLineF(10, 10, NaN, 10) << none;
}

void TestPrinterSurface::clipLine()
{
    QFETCH(QLineF, line);
    QFETCH(QLineF, expected);
    const QLineF clipped = PrinterSurface::clipLine(line, {0, 0, 100, 200}).value_or(QLineF());
    QCOMPARE(std::pair(clipped.p1(), clipped.p2()), std::pair(expected.p1(), expected.p2()));
}

void TestPrinterSurface::textsAtTheirPlaceInTruePoints_data()
{
    QTest::addColumn<Device>("device");
    QTest::newRow("printer, 1200 dpi") << Device::Printer;
    QTest::newRow("printer, screen resolution") << Device::ScreenResolution;
    QTest::newRow("pdf writer, 300 dpi, uneven margins") << Device::PdfWriter;
    QTest::newRow("printer, small viewport") << Device::SmallViewport;
}

void TestPrinterSurface::textsAtTheirPlaceInTruePoints()
{
    REQUIRE_POPPLER();
    QFETCH(Device, device);
    struct Item
    {
        QString text;
        double x, y, points;
        bool bold;
    };
    const QList<Item> items = {{u"HEADING"_qs, 2500, 1000, 20, true},
                               {u"Twelve point bold"_qs, 1100, 14500, 12, true},
                               {u"Right column"_qs, 9000, 14900, 12, false},
                               {u"Corner"_qs, 0, 0, 10, false},
                               {u"Bottom"_qs, 12500, 19500, 10, false}};
    const QString pdf = pdfPath(u"texts-%1"_qs.arg(static_cast<int>(device)));
    TestPage page(pdf, device);
    // Sizes not above 0 are ignored; the page spans the viewport, x and y each on its own scale.
    for (const QSizeF size :
         {QSizeF(0, 20000), QSizeF(14000, -1), QSizeF(NaN, 20000), QSizeF(14000, Inf)})
        page.surface().setLogicalSize(size.width(), size.height());
    const QRectF viewport = page.viewport();
    QCOMPARE(page.surface().toDevice({0, 0}), viewport.topLeft());
    QCOMPARE(page.surface().toDevice({14000, 20000}), viewport.bottomRight());
    for (const Item &item : items) {
        page.surface().setFontSize(item.points);
        page.surface().setBold(item.bold);
        printAt(page.surface(), item.x, item.y, item.text);
    }
    QVERIFY(page.finish());

    // Each cell's top-left corner where it was put, in true points: neither squeezed nor
    // stretched along with the logical scale.
    const std::optional<PdfText::Document> read = PdfText::read(pdf);
    QVERIFY(read);
    for (const Item &item : items) {
        const QString wrong = misplaced(read->words, item.text, page.onPaper({item.x, item.y}),
                                        item.points, item.bold, 1.0);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
}

void TestPrinterSurface::linesBoxesColoursAndClipping()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"drawing"_qs);
    TestPage page(pdf, Device::Printer);
    PrinterSurface &s = page.surface();
    const QColor blue(0, 0, 255);
    // A frame of four lines, a slanted line, an outlined box and a filled one, their corners in
    // either order.
    const QList<QPointF> frame = {{1000, 3000}, {13000, 3000}, {13000, 14000}, {1000, 14000}};
    for (int i = 0; i < 4; ++i)
        s.drawLine(frame.at(i), frame.at((i + 1) % 4), Qt::black);
    s.drawLine({2000, 4000}, {6000, 12000}, Qt::black);
    s.drawBox({10000, 17000}, {8000, 15000}, Qt::black, DrawingSurface::Fill::Outline);
    s.drawBox({2000, 15000}, {4000, 17000}, blue, DrawingSurface::Fill::Filled);
    // Far off the page, as a chart's samples can be; and not finite.
    s.drawLine({6000, 2000}, {6000, 4e8}, Qt::black);
    s.drawLine({-4e8, 33000}, {4e8, 33000}, Qt::black);
    s.drawLine({-399'987'000, -199'990'000}, {13000, 10000}, Qt::black); // slope 1/2
    s.drawBox({-1e9, -1e9}, {1e9, 1e9}, Qt::black, DrawingSurface::Fill::Outline);
    s.drawBox({11000, 18000}, {1e9, 4e8}, blue, DrawingSurface::Fill::Filled);
    s.drawBox({1000, 4e8}, {2000, 4e8 + 50}, Qt::black, DrawingSurface::Fill::Outline);
    s.drawLine({0, 0}, {Inf, 5}, Qt::black);
    s.drawBox({0, 0}, {NaN, 5}, Qt::black, DrawingSurface::Fill::Filled);
    // Texts: black until a colour is set; those wholly off the page are left out.
    s.setFontSize(20);
    s.setBold(true);
    printAt(s, 1500, 500, u"IIII"_qs);
    s.setTextColour(QColor(255, 0, 0));
    printAt(s, 3500, 500, u"IIII"_qs);
    s.setFontSize(12);
    printAt(s, 1100, 4e8, u"Lost"_qs);
    printAt(s, -1e12, 1000, u"Lost"_qs);
    printAt(s, 1100, 18500, u"Still here"_qs);
    // Clearing takes nothing off the paper; it only puts the position back at (0, 0).
    s.clear();
    s.printText(u"Origin"_qs);
    QVERIFY(page.finish());

    const std::optional<PdfText::Document> read = PdfText::read(pdf);
    QVERIFY(read);
    QVERIFY2(read->words.size() == 5 && PdfText::find(read->words, u"Still here"_qs, {}),
             qPrintable(PdfText::describe(read->words)));
    const std::optional<QRectF> origin = PdfText::find(read->words, u"Origin"_qs, {});
    QVERIFY(origin && QLineF(origin->topLeft(), page.onPaper({0, 0})).length() <= 1.0);

    const QImage image = PdfText::render(pdf, Dpi);
    QVERIFY(!image.isNull());
    // Ink on the frame's edges and corners, the slanted line, the outline, the line down to far
    // below and the one from far away, its slope kept; paper beside the frame and beyond its
    // edges' ends, beside the slanted line, inside the outline, around the filled boxes, off the
    // slope, and where the huge outline would be.
    const QList<QPointF> inked = {{7000, 3000},  {13000, 8500},  {7000, 14000}, {1000, 8500},
                                  {1000, 3000},  {13000, 14000}, {4000, 8000},  {9000, 15000},
                                  {8000, 16000}, {6000, 2500},   {6000, 19900}, {3000, 5000},
                                  {11000, 9000}};
    const QList<QPointF> paper = {{7000, 2800},   {7000, 3200},  {12800, 8500}, {13200, 8500},
                                  {800, 3000},    {13200, 3000}, {1000, 2800},  {1000, 14200},
                                  {4400, 8000},   {9000, 16000}, {1800, 16000}, {3000, 17200},
                                  {10900, 19000}, {11000, 9500}, {13900, 100}};
    const QString wrong = wrongSpot(image, page, inked, paper, 1);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    // The filled boxes, one of them right to the paper's corner.
    for (const QPointF p : {QPointF(2100, 15100), {3900, 16900}, {11100, 18100}, {13900, 19900}})
        QCOMPARE(image.pixelColor((page.onPaper(p) * Dpi / 72).toPoint()), blue);
    QCOMPARE(image.pixelColor(image.width() - 1, image.height() - 1), blue);
    // A 0.5 point line is about a dot across at 150 dpi.
    const QPoint above = (page.onPaper({7000, 2800}) * Dpi / 72).toPoint();
    int across = 0;
    for (int y = above.y(); y <= (page.onPaper({7000, 3200}) * Dpi / 72).y(); ++y)
        across += qGray(image.pixel(above.x(), y)) < 128;
    QVERIFY2(across >= 1 && across <= 3, qPrintable(QString::number(across)));
    // Black ink across the middle of the black text, red across the red one.
    const auto inkIn = [&](double x, const auto &wanted) {
        const QRectF word =
            PdfText::find(read->words, u"IIII"_qs, page.onPaper({x, 500})).value_or(QRectF());
        for (double along = word.left(); along < word.right(); along += 0.25) {
            if (wanted(image.pixelColor((QPointF(along, word.center().y()) * Dpi / 72).toPoint())))
                return true;
        }
        return false;
    };
    QVERIFY(inkIn(1500, [](QColor c) { return qGray(c.rgb()) < 40; }));
    QVERIFY(inkIn(3500, [](QColor c) { return c.red() > 200 && c.green() + c.blue() < 80; }));

    // The printer never gets a path coordinate beyond twice the size of the paper in its dots
    // (the page as pdftops writes it out, one operator a line).
    const QString ps =
        QString::fromLatin1(PdfText::run(u"pdftops"_qs, {pdf, u"-"_qs}).value_or(""));
    const qsizetype start = ps.indexOf(u"%%Page: 1 1"_qs);
    static const QRegularExpression path(uR"(^([-\d. ]+) (m|l|c|re)$)"_qs,
                                         QRegularExpression::MultilineOption);
    double largest = 0;
    for (const QRegularExpressionMatch &m :
         path.globalMatch(ps.mid(start, ps.indexOf(u"%%PageTrailer"_qs, start) - start))) {
        for (const QString &number : m.captured(1).split(u' ', Qt::SkipEmptyParts))
            largest = std::max(largest, std::abs(number.toDouble()));
    }
    QVERIFY2(start >= 0 && largest > 0 && largest <= 2 * 842.0 * page.resolution() / 72,
             qPrintable(u"a path coordinate of %1"_qs.arg(largest)));
}

void TestPrinterSurface::wholeReportPage()
{
    REQUIRE_POPPLER();
    const ReportValues values = decodedDataSet();
    QVERIFY(values.PrnVoltCount == 73 && values.PrnData[20] == 255);
    const ReportDetails details{u"FE-300"_qs, u"A1234"_qs, u"06/12/26"_qs};
    // On the printer as the print dialog sets it up, A4 with its own margins; and recorded.
    const QString pdf = pdfPath(u"report"_qs);
    TestPage page(pdf, Device::Printer);
    ReportPage::draw(page.surface(), details, values);
    QVERIFY(page.finish());
    if (const QString keep = qEnvironmentVariable("VOLTRANE_REPORT_PDF"); !keep.isEmpty()) {
        QFile::remove(keep);
        QVERIFY(QFile::copy(pdf, keep));
    }
    RecordingSurface recorded;
    ReportPage::draw(recorded, details, values);

    const std::optional<PdfText::Document> read = PdfText::read(pdf);
    QVERIFY(read && read->pages.size() == 1);
    QCOMPARE(read->pages[0].toSize(), QSize(595, 842)); // A4 portrait, 595.3 × 841.9 points
    // Every text the page draws stands on paper where it was put, at its size and weight; one
    // word more is one too many.
    qsizetype words = 0;
    for (const RecordingSurface::PrintedText &t : recorded.texts()) {
        const QString wrong = misplaced(read->words, t.text, page.onPaper(t.position),
                                        t.fontSize.value_or(0), t.bold.value_or(false), 1.5);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        words += t.text.split(u' ', Qt::SkipEmptyParts).size();
    }
    QVERIFY2(read->words.size() == words, qPrintable(PdfText::describe(read->words)));

    // The default face in both weights under its own name, not a substitute (pdffonts: two
    // header lines, then one face a line).
    const QString family = QFontInfo(QFont()).family().remove(u' ');
    const QString fonts = QString::fromUtf8(PdfText::run(u"pdffonts"_qs, {pdf}).value_or(""));
    const QStringList faces = fonts.split(u'\n', Qt::SkipEmptyParts).mid(2);
    QVERIFY2(faces.size() == 2 && faces.filter(family).size() == 2 &&
                 faces.filter(u"-Bold "_qs).size() == 1,
             qPrintable(fonts + family));

    // Ink on the frame, the axes, a voltage and a time tick, the peak sample and the trace down
    // from it (gain round(73 × 50 / 128) = 29: sample 20 stands at 11000 - 128 × 29, sample 21
    // at 11000 - 115 × 29); none above the peak, between the frame and the axis, right of and
    // below them, or at the end of the time axis, where there is no tick.
    const QImage image = PdfText::render(pdf, Dpi);
    QVERIFY(!image.isNull());
    const QList<QPointF> inked = {{7000, 3000}, {13000, 8500}, {7000, 14000}, {1000, 8500},
                                  {2000, 6500}, {9500, 11000}, {1900, 4000},  {11000, 11100},
                                  {3000, 7288}, {3025, 7476}};
    const QList<QPointF> paper = {
        {3000, 6000}, {1500, 8500}, {12500, 11000}, {7000, 14200}, {12000, 11120}};
    const QString wrong = wrongSpot(image, page, inked, paper, 2);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

QTEST_MAIN(TestPrinterSurface)
#include "tst_printersurface.moc"
