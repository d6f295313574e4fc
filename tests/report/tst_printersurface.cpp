// The printer surface on real PDF output: pages are printed through QPrinter (and QPdfWriter) into
// a temporary directory and read back with poppler-utils: pdfinfo for the page, pdftotext -bbox
// for where each word landed (in points from the top-left corner of the paper), pdffonts for the
// faces, pdftoppm for the pixels of lines and boxes.
#include "report/PrinterSurface.h"

#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLineF>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

namespace {

constexpr double LogicalWidth = 14000;
constexpr double LogicalHeight = 20000;

// Positions of words on the page are checked to this many points; the mapping itself is exact to
// a device dot, the rest is the rounding of the printable area to whole dots.
constexpr double PositionTolerance = 1.0;

const QStringList PopplerTools = {"pdftotext", "pdfinfo", "pdffonts", "pdftoppm", "pdftops"};

bool popplerInstalled()
{
    for (const QString &tool : PopplerTools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return false;
    }
    return true;
}

#define REQUIRE_POPPLER()                                                                          \
    do {                                                                                           \
        if (!popplerInstalled())                                                                   \
            QSKIP("needs pdftotext, pdfinfo, pdffonts, pdftoppm and pdftops (Debian package "      \
                  "poppler-utils) to read the printed PDF back");                                  \
    } while (false)

// Runs a poppler tool and gives its standard output, or nothing (with a warning) if it failed.
std::optional<QByteArray> runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(tool), arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << tool << arguments.join(u' ')
                             << "failed:" << process.readAllStandardError();
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// One word of a page as pdftotext -bbox reports it: points, origin at the top-left corner of the
// paper. Vertically the box runs from the font's ascent line to its descent line.
struct PdfWord
{
    QString text;
    QRectF box;
};

struct PdfText
{
    QList<QSizeF> pages; // the size of each page in points
    QList<PdfWord> words;
};

QString unescapeHtml(QString text)
{
    text.replace(u"&lt;"_qs, u"<"_qs);
    text.replace(u"&gt;"_qs, u">"_qs);
    text.replace(u"&quot;"_qs, u"\""_qs);
    text.replace(u"&apos;"_qs, u"'"_qs);
    text.replace(u"&amp;"_qs, u"&"_qs);
    return text;
}

std::optional<PdfText> readPdfText(const QString &pdf)
{
    const std::optional<QByteArray> html =
        runTool("pdftotext", {"-bbox", "-enc", "UTF-8", pdf, "-"});
    if (!html)
        return std::nullopt;
    const QString text = QString::fromUtf8(*html);

    PdfText result;
    static const QRegularExpression pageTag(
        uR"re(<page width="([-\d.]+)" height="([-\d.]+)">)re"_qs);
    for (const QRegularExpressionMatch &m : pageTag.globalMatch(text))
        result.pages.append(QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()));
    static const QRegularExpression wordTag(
        uR"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*?)</word>)re"_qs);
    for (const QRegularExpressionMatch &m : wordTag.globalMatch(text)) {
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        result.words.append({unescapeHtml(m.captured(5)), QRectF(topLeft, bottomRight)});
    }
    return result;
}

// Where a printed text landed: the words of `text`, found as one run on one line whose first
// word lies nearest to `near`. Gives the box around all its words, or nothing.
std::optional<QRectF> findText(const QList<PdfWord> &words, const QString &text, QPointF near)
{
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;

    std::optional<QRectF> best;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const PdfWord &first : words) {
        if (first.text != parts.front())
            continue;
        QRectF box = first.box;
        bool complete = true;
        for (qsizetype p = 1; p < parts.size() && complete; ++p) {
            // The next word: on the same line, the nearest one to the right of the run so far.
            const PdfWord *next = nullptr;
            for (const PdfWord &w : words) {
                if (std::abs(w.box.top() - first.box.top()) < 0.5 &&
                    w.box.left() >= box.right() - 0.1 && (!next || w.box.left() < next->box.left()))
                    next = &w;
            }
            complete = next && next->text == parts.at(p) &&
                       next->box.left() - box.right() < first.box.height();
            if (complete)
                box = box.united(next->box);
        }
        const double distance = QLineF(first.box.topLeft(), near).length();
        if (complete && distance < bestDistance) {
            best = box;
            bestDistance = distance;
        }
    }
    return best;
}

QString describe(const QList<PdfWord> &words)
{
    QStringList list;
    for (const PdfWord &w : words)
        list.append(QStringLiteral("%1 at (%2, %3)")
                        .arg(w.text)
                        .arg(w.box.left(), 0, 'f', 1)
                        .arg(w.box.top(), 0, 'f', 1));
    return list.join(u"; "_qs);
}

// The page a test draws on, printed into a PDF file in a temporary directory.
enum class Device
{
    HighResolutionPrinter,   // QPrinter::HighResolution: 1200 dots per inch, A4 with its defaults
    ScreenResolutionPrinter, // QPrinter::ScreenResolution: the screen's resolution
    PdfWriterWithMargins,    // QPdfWriter at 300 dots per inch with uneven margins
};

class TestPage
{
public:
    TestPage(const QString &pdfPath, Device device)
    {
        if (device == Device::PdfWriterWithMargins) {
            auto writer = std::make_unique<QPdfWriter>(pdfPath);
            writer->setResolution(300);
            writer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                              QMarginsF(25, 40, 10, 15), QPageLayout::Millimeter));
            m_printableArea = writer->pageLayout().paintRect(QPageLayout::Point);
            m_resolution = writer->resolution();
            m_device = std::move(writer);
        } else {
            auto printer = std::make_unique<QPrinter>(device == Device::HighResolutionPrinter
                                                          ? QPrinter::HighResolution
                                                          : QPrinter::ScreenResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdfPath);
            printer->setPageSize(QPageSize(QPageSize::A4));
            printer->setPageOrientation(QPageLayout::Portrait);
            m_printableArea = printer->pageLayout().paintRect(QPageLayout::Point);
            m_resolution = printer->resolution();
            m_device = std::move(printer);
        }
        m_painter.begin(m_device.get());
        m_surface.emplace(m_painter);
        m_surface->setLogicalSize(LogicalWidth, LogicalHeight);
    }

    PrinterSurface &surface() { return *m_surface; }
    QPainter &painter() { return m_painter; }
    bool finish() { return m_painter.end(); }

    // The printable area, in points from the top-left corner of the paper.
    QRectF printableArea() const { return m_printableArea; }
    int resolution() const { return m_resolution; }

    // Where a logical point should land on paper, in points from its top-left corner.
    QPointF expectedPoint(QPointF logical) const
    {
        return {m_printableArea.left() + logical.x() * m_printableArea.width() / LogicalWidth,
                m_printableArea.top() + logical.y() * m_printableArea.height() / LogicalHeight};
    }

private:
    std::unique_ptr<QPaintDevice> m_device;
    QPainter m_painter;
    std::optional<PrinterSurface> m_surface;
    QRectF m_printableArea;
    int m_resolution = 0;
};

void printAt(DrawingSurface &surface, QPointF logical, const QString &text)
{
    surface.setCurrentX(logical.x());
    surface.setCurrentY(logical.y());
    surface.printText(text);
}

// The width in points of a text in the default face, measured at 1200 dots per inch where
// hinting does not matter.
double advanceInPoints(const QString &text, double points, bool bold)
{
    constexpr double Dpi = 1200;
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(qRound(Dpi / 0.0254));
    device.setDotsPerMeterY(qRound(Dpi / 0.0254));
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    return QFontMetricsF(font, &device).horizontalAdvance(text) * 72.0 / Dpi;
}

// The page rendered to pixels with pdftoppm.
std::optional<QImage> renderPage(const QString &pdf, int dotsPerInch)
{
    const QString prefix = QFileInfo(pdf).absolutePath() + u"/rendered"_qs;
    if (!runTool("pdftoppm", {"-png", "-r", QString::number(dotsPerInch), "-f", "1", "-l", "1",
                              "-singlefile", pdf, prefix}))
        return std::nullopt;
    QImage image(prefix + u".png"_qs);
    if (image.isNull())
        return std::nullopt;
    return image.convertToFormat(QImage::Format_RGB32);
}

// Reads a rendered page at positions given in points on paper.
class RenderedPage
{
public:
    RenderedPage(QImage image, int dotsPerInch) : m_image(std::move(image)), m_dpi(dotsPerInch) {}

    QPoint pixelAt(QPointF points) const
    {
        return {static_cast<int>(std::floor(points.x() * m_dpi / 72.0)),
                static_cast<int>(std::floor(points.y() * m_dpi / 72.0))};
    }

    // The darkest grey level (0 black, 255 white) within `radius` pixels of a point.
    int darkestNear(QPointF points, int radius) const
    {
        const QPoint centre = pixelAt(points);
        int darkest = 255;
        for (int y = centre.y() - radius; y <= centre.y() + radius; ++y) {
            for (int x = centre.x() - radius; x <= centre.x() + radius; ++x) {
                if (m_image.valid(x, y))
                    darkest = std::min(darkest, qGray(m_image.pixel(x, y)));
            }
        }
        return darkest;
    }

    QColor colourAt(QPointF points) const { return m_image.pixelColor(pixelAt(points)); }

    // The pixels darker than mid-grey in the box, counted.
    int darkPixelsIn(const QRectF &points) const
    {
        const QPoint from = pixelAt(points.topLeft());
        const QPoint to = pixelAt(points.bottomRight());
        int count = 0;
        for (int y = from.y(); y <= to.y(); ++y) {
            for (int x = from.x(); x <= to.x(); ++x) {
                if (m_image.valid(x, y) && qGray(m_image.pixel(x, y)) < 128)
                    ++count;
            }
        }
        return count;
    }

    QSize size() const { return m_image.size(); }

private:
    QImage m_image;
    int m_dpi;
};

// A grey level this dark or darker is ink.
constexpr int Ink = 140;
constexpr int Paper = 250;

} // namespace

Q_DECLARE_METATYPE(Device)

class TestPrinterSurface : public QObject
{
    Q_OBJECT

private slots:
    void clipLine_data();
    void clipLine();
    void logicalUnitsSpanTheViewport();
    void nonPositiveSizesAreIgnored();
    void followsTheViewportItIsGiven();
    void onePageOfA4();
    void textsLandAtTheirPlaceAndPointSize_data();
    void textsLandAtTheirPlaceAndPointSize();
    void microSignSurvives();
    void boldUsesTheBoldFace();
    void linesAndBoxesLandWhereExpected();
    void textColour();
    void hugeCoordinatesAreClipped();
    void clearLeavesThePageAndResetsThePosition();

private:
    QTemporaryDir m_dir;
    QString pdfPath(const QString &name) const { return m_dir.filePath(name + u".pdf"_qs); }
};

void TestPrinterSurface::clipLine_data()
{
    QTest::addColumn<QLineF>("line");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QLineF>("expected");

    // The rectangle is (0, 0)-(100, 200).
    QTest::newRow("inside, untouched")
        << QLineF(10, 20, 90, 180) << true << QLineF(10, 20, 90, 180);
    QTest::newRow("on an edge") << QLineF(0, 0, 100, 0) << true << QLineF(0, 0, 100, 0);
    QTest::newRow("a point inside") << QLineF(5, 5, 5, 5) << true << QLineF(5, 5, 5, 5);
    QTest::newRow("crosses the bottom, keeps its slope")
        << QLineF(50, 150, 100, 250) << true << QLineF(50, 150, 75, 200);
    QTest::newRow("crosses both sides")
        << QLineF(-100, 100, 200, 100) << true << QLineF(0, 100, 100, 100);
    QTest::newRow("diagonal through, reversed")
        << QLineF(150, 300, -50, -100) << true << QLineF(100, 200, 0, 0);
    QTest::newRow("huge end far below")
        << QLineF(50, 100, 50, 400'000'000) << true << QLineF(50, 100, 50, 200);
    QTest::newRow("huge slanted, slope kept")
        << QLineF(0, 0, 200'000'000, 400'000'000) << true << QLineF(0, 0, 100, 200);
    QTest::newRow("wholly below") << QLineF(10, 300, 90, 400'000'000) << false << QLineF();
    QTest::newRow("parallel, left of it") << QLineF(-5, 0, -5, 200) << false << QLineF();
    QTest::newRow("passes by a corner") << QLineF(90, -20, 120, 10) << false << QLineF();
    QTest::newRow("infinite end") << QLineF(10, 10, 10, std::numeric_limits<double>::infinity())
                                  << false << QLineF();
    QTest::newRow("not a number") << QLineF(10, 10, std::numeric_limits<double>::quiet_NaN(), 10)
                                  << false << QLineF();
}

void TestPrinterSurface::clipLine()
{
    QFETCH(QLineF, line);
    QFETCH(bool, visible);
    QFETCH(QLineF, expected);

    const std::optional<QLineF> clipped = PrinterSurface::clipLine(line, QRectF(0, 0, 100, 200));
    QCOMPARE(clipped.has_value(), visible);
    if (!visible)
        return;
    QVERIFY2(QLineF(clipped->p1(), expected.p1()).length() < 1e-6 &&
                 QLineF(clipped->p2(), expected.p2()).length() < 1e-6,
             qPrintable(QStringLiteral("got (%1, %2)-(%3, %4)")
                            .arg(clipped->x1())
                            .arg(clipped->y1())
                            .arg(clipped->x2())
                            .arg(clipped->y2())));
}

void TestPrinterSurface::logicalUnitsSpanTheViewport()
{
    QVERIFY(m_dir.isValid());
    TestPage page(pdfPath(u"mapping"_qs), Device::HighResolutionPrinter);
    const QRect viewport = page.painter().viewport();
    QVERIFY(!viewport.isEmpty());

    PrinterSurface &surface = page.surface();
    QCOMPARE(surface.toDevice({0, 0}), QPointF(viewport.topLeft()));
    QCOMPARE(surface.toDevice({LogicalWidth, LogicalHeight}),
             QPointF(viewport.left() + viewport.width(), viewport.top() + viewport.height()));
    QCOMPARE(surface.toDevice({7000, 5000}), QPointF(viewport.left() + viewport.width() / 2.0,
                                                     viewport.top() + viewport.height() / 4.0));

    // x and y scale separately: A4's printable area is not exactly 14 by 20.
    const double xScale = viewport.width() / LogicalWidth;
    const double yScale = viewport.height() / LogicalHeight;
    QVERIFY(std::abs(xScale - yScale) > 1e-4);
    page.finish();
}

void TestPrinterSurface::nonPositiveSizesAreIgnored()
{
    TestPage page(pdfPath(u"sizes"_qs), Device::HighResolutionPrinter);
    PrinterSurface &surface = page.surface();
    const QPointF centre = surface.toDevice({7000, 10000});
    surface.setLogicalSize(0, 20000);
    surface.setLogicalSize(14000, -1);
    surface.setLogicalSize(std::numeric_limits<double>::quiet_NaN(), 20000);
    surface.setLogicalSize(14000, std::numeric_limits<double>::infinity());
    QCOMPARE(surface.toDevice({7000, 10000}), centre);

    surface.setLogicalSize(7000, 10000);
    QCOMPARE(surface.toDevice({3500, 5000}), centre);
    page.finish();
}

void TestPrinterSurface::followsTheViewportItIsGiven()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"viewport"_qs);
    const QRect viewport(1200, 2400, 4800, 6000); // dots at 1200 dpi: 72 × 144 pt from the corner
    QRectF printableArea;
    {
        TestPage page(pdf, Device::HighResolutionPrinter);
        QCOMPARE(page.resolution(), 1200);
        printableArea = page.printableArea();
        page.painter().setViewport(viewport);
        PrinterSurface surface(page.painter());
        surface.setLogicalSize(LogicalWidth, LogicalHeight);
        QCOMPARE(surface.toDevice({0, 0}), QPointF(viewport.topLeft()));
        QCOMPARE(surface.toDevice({LogicalWidth, LogicalHeight}),
                 QPointF(viewport.left() + viewport.width(), viewport.top() + viewport.height()));
        surface.setFontSize(12);
        printAt(surface, {7000, 10000}, u"Middle"_qs);
        QVERIFY(page.finish());
    }

    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    const std::optional<QRectF> box = findText(read->words, u"Middle"_qs, {});
    QVERIFY(box);
    // The middle of the viewport: 3600 × 5400 dots, 216 × 324 pt, from the printable area's corner.
    const QPointF expected = printableArea.topLeft() + QPointF(216, 324);
    QVERIFY2(QLineF(box->topLeft(), expected).length() <= PositionTolerance,
             qPrintable(u"(%1, %2)"_qs.arg(box->left()).arg(box->top())));
    // Still 12 points, however small the viewport.
    QVERIFY(box->height() > 12 && box->height() < 14.4);
}

void TestPrinterSurface::onePageOfA4()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"a4"_qs);
    {
        TestPage page(pdf, Device::HighResolutionPrinter);
        printAt(page.surface(), {2500, 1000}, u"Page"_qs);
        QVERIFY(page.finish());
    }

    const std::optional<QByteArray> info = runTool("pdfinfo", {pdf});
    QVERIFY(info);
    static const QRegularExpression pages(uR"(^Pages:\s+(\d+)\s*$)"_qs,
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression size(uR"(^Page size:\s+([\d.]+) x ([\d.]+) pts)"_qs,
                                         QRegularExpression::MultilineOption);
    const QString text = QString::fromUtf8(*info);
    const QRegularExpressionMatch pagesMatch = pages.match(text);
    const QRegularExpressionMatch sizeMatch = size.match(text);
    QVERIFY2(pagesMatch.hasMatch() && sizeMatch.hasMatch(), qPrintable(text));
    QCOMPARE(pagesMatch.captured(1).toInt(), 1);
    // A4 portrait is 595.3 × 841.9 points.
    QVERIFY2(std::abs(sizeMatch.captured(1).toDouble() - 595.3) <= 1.0 &&
                 std::abs(sizeMatch.captured(2).toDouble() - 841.9) <= 1.0,
             qPrintable(sizeMatch.captured(0)));
}

void TestPrinterSurface::textsLandAtTheirPlaceAndPointSize_data()
{
    QTest::addColumn<Device>("device");
    QTest::newRow("printer, 1200 dpi") << Device::HighResolutionPrinter;
    QTest::newRow("printer, screen resolution") << Device::ScreenResolutionPrinter;
    QTest::newRow("pdf writer, 300 dpi, uneven margins") << Device::PdfWriterWithMargins;
}

void TestPrinterSurface::textsLandAtTheirPlaceAndPointSize()
{
    REQUIRE_POPPLER();
    QFETCH(Device, device);

    struct Item
    {
        QString text;
        QPointF logical;
        double points;
        bool bold;
    };
    const QList<Item> items = {
        {u"HEADING"_qs, {2500, 1000}, 20, true},
        {u"Twelve point line"_qs, {1100, 14500}, 12, true},
        {u"Right column"_qs, {9000, 14900}, 12, false},
        {u"Caption"_qs, {11000, 11400}, 10, false},
        {u"Corner"_qs, {0, 0}, 10, false},
        {u"Bottom"_qs, {12500, 19500}, 10, false},
    };

    const QString pdf = pdfPath(QStringLiteral("texts-%1").arg(static_cast<int>(device)));
    QRectF printableArea;
    QList<QPointF> expectedCorners;
    {
        TestPage page(pdf, device);
        for (const Item &item : items) {
            page.surface().setFontSize(item.points);
            page.surface().setBold(item.bold);
            printAt(page.surface(), item.logical, item.text);
            expectedCorners.append(page.expectedPoint(item.logical));
        }
        printableArea = page.printableArea();
        QVERIFY(page.finish());
    }

    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    QCOMPARE(read->pages.size(), 1);
    QVERIFY(std::abs(read->pages.front().width() - 595.3) <= 1.0);
    QVERIFY(std::abs(read->pages.front().height() - 841.9) <= 1.0);

    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item &item = items.at(i);
        const QPointF expected = expectedCorners.at(i);
        const std::optional<QRectF> box = findText(read->words, item.text, expected);
        QVERIFY2(box, qPrintable(u"\"%1\" is not on the page: %2"_qs.arg(item.text,
                                                                         describe(read->words))));
        const QString where = QStringLiteral("\"%1\" (%2 pt) at (%3, %4) pt, expected (%5, %6)")
                                  .arg(item.text)
                                  .arg(item.points)
                                  .arg(box->left(), 0, 'f', 2)
                                  .arg(box->top(), 0, 'f', 2)
                                  .arg(expected.x(), 0, 'f', 2)
                                  .arg(expected.y(), 0, 'f', 2);
        QVERIFY2(std::abs(box->left() - expected.x()) <= PositionTolerance, qPrintable(where));
        // The top of the text cell, the font's ascent line, is where the position was set.
        QVERIFY2(std::abs(box->top() - expected.y()) <= PositionTolerance, qPrintable(where));

        // From ascent to descent the default face is a little more than its point size; a font
        // squeezed by the logical scale would come out near 63 % of it.
        const double heightPerPoint = box->height() / item.points;
        QVERIFY2(heightPerPoint > 1.0 && heightPerPoint < 1.2,
                 qPrintable(u"%1: %2 pt high"_qs.arg(where).arg(box->height())));
        // Nor is it stretched or squeezed across.
        const double expectedWidth = advanceInPoints(item.text, item.points, item.bold);
        QVERIFY2(
            std::abs(box->width() / expectedWidth - 1.0) < 0.04,
            qPrintable(
                u"%1: %2 pt wide, expected %3"_qs.arg(where).arg(box->width()).arg(expectedWidth)));
    }

    // The logical corners are the corners of the printable area.
    QCOMPARE(expectedCorners.at(4), printableArea.topLeft());
}

void TestPrinterSurface::microSignSurvives()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"micro"_qs);
    {
        TestPage page(pdf, Device::HighResolutionPrinter);
        page.surface().setFontSize(10);
        printAt(page.surface(), {11000, 11400}, u"Time (\u00b5s)"_qs);
        page.surface().setFontSize(12);
        page.surface().setBold(true);
        printAt(page.surface(), {1100, 15700}, u"Pulse Width (\u00b5s): 60"_qs);
        QVERIFY(page.finish());
    }

    const std::optional<QByteArray> plain = runTool("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    QVERIFY(plain);
    const QString text = QString::fromUtf8(*plain);
    QVERIFY2(text.contains(u"Time (\u00b5s)"_qs), qPrintable(text));
    QVERIFY2(text.contains(u"Pulse Width (\u00b5s): 60"_qs), qPrintable(text));

    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    QVERIFY(findText(read->words, u"Time (\u00b5s)"_qs, {}));
    QVERIFY(findText(read->words, u"Pulse Width (\u00b5s): 60"_qs, {}));
}

void TestPrinterSurface::boldUsesTheBoldFace()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"bold"_qs);
    {
        TestPage page(pdf, Device::HighResolutionPrinter);
        page.surface().setFontSize(12);
        page.surface().setBold(true);
        printAt(page.surface(), {1100, 2000}, u"Weighty"_qs);
        page.surface().setBold(false);
        printAt(page.surface(), {1100, 4000}, u"Weighty"_qs);
        QVERIFY(page.finish());
    }

    const std::optional<QByteArray> fonts = runTool("pdffonts", {pdf});
    QVERIFY(fonts);
    // The listing: two header lines, then one face per line, its name first.
    QStringList faces;
    const QStringList lines = QString::fromUtf8(*fonts).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(2))
        faces.append(line.section(u' ', 0, 0, QString::SectionSkipEmpty));
    const QString listing = faces.join(u", "_qs);

    // The default face in both weights, under its own name, not a substitute.
    const QString family = QFontInfo(QFont()).family().remove(u' ');
    QCOMPARE(faces.size(), 2);
    QVERIFY2(faces.filter(u"Bold"_qs).size() == 1, qPrintable(listing));
    for (const QString &face : faces)
        QVERIFY2(face.contains(family), qPrintable(u"%1 is not %2"_qs.arg(face, family)));

    // And the bold word is the wider one.
    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    QCOMPARE(read->words.size(), 2);
    const PdfWord &bold = read->words.at(0).box.top() < read->words.at(1).box.top()
                              ? read->words.at(0)
                              : read->words.at(1);
    const PdfWord &regular = &bold == &read->words.at(0) ? read->words.at(1) : read->words.at(0);
    QVERIFY2(
        bold.box.width() > regular.box.width() * 1.05,
        qPrintable(u"bold %1 pt, regular %2 pt"_qs.arg(bold.box.width()).arg(regular.box.width())));
}

void TestPrinterSurface::linesAndBoxesLandWhereExpected()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"lines"_qs);
    TestPage page(pdf, Device::HighResolutionPrinter);
    DrawingSurface &surface = page.surface();
    // The report's frame box, drawn as four lines.
    surface.drawLine({1000, 3000}, {13000, 3000}, Qt::black);
    surface.drawLine({13000, 3000}, {13000, 14000}, Qt::black);
    surface.drawLine({13000, 14000}, {1000, 14000}, Qt::black);
    surface.drawLine({1000, 14000}, {1000, 3000}, Qt::black);
    // A slanted line, an outlined box and a filled one, corners given in either order.
    surface.drawLine({2000, 4000}, {6000, 12000}, Qt::black);
    surface.drawBox({10000, 17000}, {8000, 15000}, Qt::black, DrawingSurface::Fill::Outline);
    surface.drawBox({2000, 15000}, {4000, 17000}, QColor(0, 0, 255), DrawingSurface::Fill::Filled);
    QVERIFY(page.finish());

    constexpr int Dpi = 150;
    std::optional<QImage> image = renderPage(pdf, Dpi);
    QVERIFY(image);
    const RenderedPage rendered(std::move(*image), Dpi);
    const auto at = [&page](double x, double y) { return page.expectedPoint({x, y}); };

    // Ink on each edge of the frame, where the logical units put it.
    for (const QPointF &onEdge : {at(7000, 3000), at(13000, 8500), at(7000, 14000), at(1000, 8500),
                                  at(1000, 3000), at(13000, 14000)}) {
        QVERIFY2(rendered.darkestNear(onEdge, 1) <= Ink,
                 qPrintable(u"no line at (%1, %2) pt"_qs.arg(onEdge.x()).arg(onEdge.y())));
    }
    // None a little way off them: the lines are thin, and they end where they should.
    for (const QPointF &offEdge :
         {at(7000, 2800), at(7000, 3200), at(12800, 8500), at(13200, 8500), at(800, 3000),
          at(13200, 3000), at(1000, 2800), at(1000, 14200)}) {
        QVERIFY2(rendered.darkestNear(offEdge, 1) >= Paper,
                 qPrintable(u"ink at (%1, %2) pt"_qs.arg(offEdge.x()).arg(offEdge.y())));
    }
    // A 0.5 pt line is about one dot across at 150 dpi.
    const int across = rendered.darkPixelsIn(QRectF(at(7000, 2800), at(7001, 3200)));
    QVERIFY2(across >= 1 && across <= 3, qPrintable(QString::number(across)));

    // The slanted line, halfway along and off it.
    QVERIFY(rendered.darkestNear(at(4000, 8000), 1) <= Ink);
    QVERIFY(rendered.darkestNear(at(4400, 8000), 1) >= Paper);

    // The outlined box has ink on its edges and paper inside.
    QVERIFY(rendered.darkestNear(at(9000, 15000), 1) <= Ink);
    QVERIFY(rendered.darkestNear(at(8000, 16000), 1) <= Ink);
    QVERIFY(rendered.darkestNear(at(9000, 16000), 3) >= Paper);

    // The filled box is blue all over, and nothing outside it.
    for (const QPointF &inside : {at(2100, 15100), at(3000, 16000), at(3900, 16900)})
        QCOMPARE(rendered.colourAt(inside), QColor(0, 0, 255));
    QVERIFY(rendered.darkestNear(at(1800, 16000), 1) >= Paper);
    QVERIFY(rendered.darkestNear(at(3000, 17200), 1) >= Paper);
}

void TestPrinterSurface::textColour()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"colour"_qs);
    {
        TestPage page(pdf, Device::HighResolutionPrinter);
        page.surface().setFontSize(20);
        page.surface().setBold(true);
        printAt(page.surface(), {1000, 1000}, u"IIII"_qs);
        page.surface().setTextColour(QColor(255, 0, 0));
        printAt(page.surface(), {1000, 3000}, u"IIII"_qs);
        QVERIFY(page.finish());
    }

    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    QCOMPARE(read->words.size(), 2);
    constexpr int Dpi = 150;
    std::optional<QImage> image = renderPage(pdf, Dpi);
    QVERIFY(image);
    const RenderedPage rendered(std::move(*image), Dpi);

    // The most strongly coloured pixel inside each word.
    const auto inkOf = [&rendered](const QRectF &box) {
        QColor ink = Qt::white;
        for (double y = box.top(); y < box.bottom(); y += 0.25) {
            for (double x = box.left(); x < box.right(); x += 0.25) {
                const QColor c = rendered.colourAt({x, y});
                if (c.red() + c.green() + c.blue() < ink.red() + ink.green() + ink.blue())
                    ink = c;
            }
        }
        return ink;
    };
    const bool firstIsTop = read->words.at(0).box.top() < read->words.at(1).box.top();
    const QColor black = inkOf(read->words.at(firstIsTop ? 0 : 1).box);
    const QColor red = inkOf(read->words.at(firstIsTop ? 1 : 0).box);
    QVERIFY2(black.red() < 40 && black.green() < 40 && black.blue() < 40, qPrintable(black.name()));
    QVERIFY2(red.red() > 200 && red.green() < 40 && red.blue() < 40, qPrintable(red.name()));
}

void TestPrinterSurface::hugeCoordinatesAreClipped()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"huge"_qs);
    TestPage page(pdf, Device::HighResolutionPrinter);
    DrawingSurface &surface = page.surface();
    // A chart sample far below the page, and a trace line down to it from on the page.
    surface.drawLine({1000, 400'000'000}, {13000, 400'000'000}, Qt::black);
    surface.drawLine({7000, 2000}, {7000, 400'000'000}, Qt::black);
    surface.drawLine({-400'000'000, 33000}, {400'000'000, 33000}, Qt::black);
    // Through the page with a slope of 1/2 from a far-away start: its visible part must keep
    // that slope, so it crosses (3000, 5000) and (11000, 9000).
    surface.drawLine({-399'987'000, -199'990'000}, {13000, 10000}, Qt::black);
    surface.drawBox({-1e9, -1e9}, {1e9, 1e9}, Qt::black, DrawingSurface::Fill::Outline);
    surface.drawBox({9000, 15000}, {1e9, 4e8}, QColor(0, 0, 255), DrawingSurface::Fill::Filled);
    surface.drawBox({1000, 400'000'000}, {2000, 400'000'050}, Qt::black,
                    DrawingSurface::Fill::Outline);
    surface.drawLine({0, 0}, {std::numeric_limits<double>::infinity(), 5}, Qt::black);
    surface.drawBox({0, 0}, {std::numeric_limits<double>::quiet_NaN(), 5}, Qt::black,
                    DrawingSurface::Fill::Filled);
    surface.setFontSize(12);
    printAt(surface, {1100, 400'000'000}, u"Lost"_qs);
    printAt(surface, {-1e12, 1000}, u"Lost"_qs);
    printAt(surface, {1100, 18500}, u"Still here"_qs);
    QVERIFY(page.finish());

    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    QCOMPARE(read->pages.size(), 1);
    QVERIFY(findText(read->words, u"Still here"_qs, {}));
    for (const PdfWord &word : read->words)
        QVERIFY2(word.text != u"Lost"_qs, qPrintable(describe(read->words)));

    constexpr int Dpi = 150;
    std::optional<QImage> image = renderPage(pdf, Dpi);
    QVERIFY(image);
    const RenderedPage rendered(std::move(*image), Dpi);
    const auto at = [&page](double x, double y) { return page.expectedPoint({x, y}); };

    // The vertical line runs down to the bottom of the page.
    QVERIFY(rendered.darkestNear(at(7000, 2500), 1) <= Ink);
    QVERIFY(rendered.darkestNear(at(7000, 19900), 1) <= Ink);
    // The slanted one keeps its slope.
    QVERIFY(rendered.darkestNear(at(3000, 5000), 1) <= Ink);
    QVERIFY(rendered.darkestNear(at(11000, 9000), 1) <= Ink);
    QVERIFY(rendered.darkestNear(at(11000, 9500), 1) >= Paper);
    // The box reaching far off the page is filled over its visible part, right to the paper's
    // edges.
    QCOMPARE(rendered.colourAt(at(9100, 15100)), QColor(0, 0, 255));
    QCOMPARE(rendered.colourAt(at(13900, 19900)), QColor(0, 0, 255));
    const QSize pixels = rendered.size();
    QCOMPARE(rendered.colourAt(
                 QPointF((pixels.width() - 1) * 72.0 / Dpi, (pixels.height() - 1) * 72.0 / Dpi)),
             QColor(0, 0, 255));
    QVERIFY(rendered.darkestNear(at(8900, 16000), 1) >= Paper);
    // The outline of the enormous box is off the paper.
    QVERIFY(rendered.darkestNear(at(100, 100), 1) >= Paper);

    // What the printer receives: no path coordinate reaches beyond twice the size of the paper
    // in the printer's dots (the page's drawing as pdftops writes it out, one operator a line).
    const std::optional<QByteArray> postScript = runTool("pdftops", {pdf, "-"});
    QVERIFY(postScript);
    const QString ps = QString::fromLatin1(*postScript);
    const qsizetype pageStart = ps.indexOf(u"%%Page: 1 1"_qs);
    const qsizetype pageEnd = ps.indexOf(u"%%PageTrailer"_qs, pageStart);
    QVERIFY(pageStart >= 0 && pageEnd > pageStart);
    static const QRegularExpression pathOperator(uR"(^([-\d. ]+) (m|l|c|re)$)"_qs,
                                                 QRegularExpression::MultilineOption);
    double largest = 0;
    int paths = 0;
    for (const QRegularExpressionMatch &m :
         pathOperator.globalMatch(ps.mid(pageStart, pageEnd - pageStart))) {
        ++paths;
        for (const QString &number : m.captured(1).split(u' ', Qt::SkipEmptyParts))
            largest = std::max(largest, std::abs(number.toDouble()));
    }
    QVERIFY(paths > 0);
    const double paperInDots = 842.0 * page.resolution() / 72.0;
    QVERIFY2(largest <= 2 * paperInDots,
             qPrintable(u"a path coordinate of %1, the paper is %2 dots high"_qs.arg(largest).arg(
                 paperInDots)));
}

void TestPrinterSurface::clearLeavesThePageAndResetsThePosition()
{
    REQUIRE_POPPLER();
    const QString pdf = pdfPath(u"clear"_qs);
    QPointF origin;
    {
        TestPage page(pdf, Device::HighResolutionPrinter);
        page.surface().setFontSize(12);
        printAt(page.surface(), {7000, 10000}, u"Kept"_qs);
        page.surface().drawLine({1000, 12000}, {13000, 12000}, Qt::black);
        page.surface().clear();
        page.surface().printText(u"Origin"_qs);
        origin = page.expectedPoint({0, 0});
        QVERIFY(page.finish());
    }

    const std::optional<PdfText> read = readPdfText(pdf);
    QVERIFY(read);
    QCOMPARE(read->pages.size(), 1);
    QVERIFY(findText(read->words, u"Kept"_qs, {}));
    const std::optional<QRectF> moved = findText(read->words, u"Origin"_qs, {});
    QVERIFY(moved);
    QVERIFY(QLineF(moved->topLeft(), origin).length() <= PositionTolerance);
}

QTEST_MAIN(TestPrinterSurface)
#include "tst_printersurface.moc"
