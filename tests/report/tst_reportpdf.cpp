// The whole test report printed to a real PDF file through QPrinter and the printer surface, and
// read back with poppler-utils: every text of the page must stand where the page's logical layout
// puts it on A4, at its point size and weight, and the frame, axes and trace must be inked where
// they belong.
//
// To look at the page: set VOLTRANE_REPORT_PDF to a file name and the printed PDF is copied there.
#include "RecordBuilder.h"
#include "measurement/MeasurementRecord.h"
#include "measurement/ReportValues.h"
#include "report/PrinterSurface.h"
#include "report/ReportPage.h"

#include <QFile>
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
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

namespace {

constexpr double LogicalWidth = 14000;
constexpr double LogicalHeight = 20000;

// Texts are checked to this many points on paper.
constexpr double PositionTolerance = 1.5;

const QStringList PopplerTools = {"pdftotext", "pdfinfo", "pdffonts", "pdftoppm"};

bool popplerInstalled()
{
    return std::all_of(PopplerTools.begin(), PopplerTools.end(), [](const QString &tool) {
        return !QStandardPaths::findExecutable(tool).isEmpty();
    });
}

#define REQUIRE_POPPLER()                                                                          \
    do {                                                                                           \
        if (!popplerInstalled())                                                                   \
            QSKIP("needs pdftotext, pdfinfo, pdffonts and pdftoppm (Debian package "               \
                  "poppler-utils) to read the printed PDF back");                                  \
    } while (false)

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

// A word as pdftotext -bbox gives it: points from the top-left corner of the paper, from the
// font's ascent line down to its descent line.
struct PdfWord
{
    QString text;
    QRectF box;
};

struct PdfText
{
    QList<QSizeF> pages;
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

// The words of `text` as one run on one line, the first of them nearest to `near`; the box
// around them, or nothing. `used` gets the indexes of the words taken.
std::optional<QRectF> findText(const QList<PdfWord> &words, const QString &text, QPointF near,
                               QList<qsizetype> *used = nullptr)
{
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;

    std::optional<QRectF> best;
    QList<qsizetype> bestIndexes;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (qsizetype f = 0; f < words.size(); ++f) {
        const PdfWord &first = words.at(f);
        if (first.text != parts.front())
            continue;
        QRectF box = first.box;
        QList<qsizetype> indexes = {f};
        bool complete = true;
        for (qsizetype p = 1; p < parts.size() && complete; ++p) {
            qsizetype next = -1;
            for (qsizetype w = 0; w < words.size(); ++w) {
                const QRectF &candidate = words.at(w).box;
                if (std::abs(candidate.top() - first.box.top()) < 0.5 &&
                    candidate.left() >= box.right() - 0.1 &&
                    (next < 0 || candidate.left() < words.at(next).box.left()))
                    next = w;
            }
            complete = next >= 0 && words.at(next).text == parts.at(p) &&
                       words.at(next).box.left() - box.right() < first.box.height();
            if (complete) {
                box = box.united(words.at(next).box);
                indexes.append(next);
            }
        }
        const double distance = QLineF(first.box.topLeft(), near).length();
        if (complete && distance < bestDistance) {
            best = box;
            bestIndexes = indexes;
            bestDistance = distance;
        }
    }
    if (used)
        *used = bestIndexes;
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

// The measured pulse of the report: flat on the zero line, a rise to the top code 255 at sample
// 20, a decay with an undershoot below the zero line around sample 60, flat again from 120 on.
Measurement::Samples pulseSamples()
{
    Measurement::Samples samples{};
    for (int i = 1; i <= Measurement::SampleCount; ++i) {
        double value = 127;
        if (i >= 10 && i <= 20) {
            value = 127 + 128.0 * (i - 9) / 11.0;
        } else if (i > 20 && i < 120) {
            const double t = i - 20;
            value = 127 + 128.0 * std::exp(-t / 8.0) - 57.0 * std::sin(std::numbers::pi * t / 100);
        }
        samples[i] = static_cast<std::int16_t>(std::clamp(std::lround(value), 0L, 255L));
    }
    return samples;
}

// 1234 ms between pulses, 60 µs wide, 7.3 kV, 1.5 J, into 500 Ohms.
ReportValues reportValues()
{
    RecordBuilder record;
    const Measurement::Samples samples = pulseSamples();
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        record.samples[i - 1] = static_cast<std::uint8_t>(samples[i]);
    record.counts(1234, 60, 73, 15, 500);
    const std::optional<Measurement> measurement = decodeRecord(record.bytes());
    if (!measurement)
        return {};
    return ReportValues::fromMeasurement(*measurement, "Model No.: VM-2000",
                                         "Serial No.: SN-104233");
}

// A text of the page as it should come out.
struct Expected
{
    QString text;
    QPointF logical; // the top-left corner of its text cell
    double points;
    bool bold;
};

QList<Expected> expectedTexts()
{
    QList<Expected> texts = {
        {u"VOLTRANE ANALYZER"_qs, {2500, 1000}, 20, true},
        {u"TEST REPORT"_qs, {5400, 1500}, 20, true},
        {u"Energizer Model No. : FE-300"_qs, {1100, 2100}, 12, true},
        {u"Energizer Serial No. : A1234"_qs, {1100, 2500}, 12, true},
        {u"Date : 06/12/26"_qs, {10500, 2100}, 12, true},
        {u"Voltage (KV): 7.3"_qs, {1100, 14500}, 12, true},
        {u"Energy (J): 1.5"_qs, {1100, 14900}, 12, true},
        {u"Interval (s): 1.2"_qs, {1100, 15300}, 12, true},
        {u"Pulse Width (\u00b5s): 60"_qs, {1100, 15700}, 12, true},
        {u"Load (Ohms): 500"_qs, {1100, 16100}, 12, true},
        {u"Model No.: VM-2000"_qs, {9000, 14500}, 12, true},
        {u"Serial No.: SN-104233"_qs, {9000, 14900}, 12, true},
        {u"Quillmarsh"_qs, {1100, 18500}, 12, true},
        {u"Signature:"_qs, {9000, 18500}, 12, true},
        {u"Checked:"_qs, {9000, 18000}, 12, true},
        {u"Time (\u00b5s)"_qs, {11000, 11400}, 10, false},
        {u"Volts(KV)"_qs, {1100, 3400}, 10, false},
        {u"200"_qs, {6750, 11200}, 10, false},
        {u"400"_qs, {11750, 11200}, 10, false},
    };
    // 7.3 kV is on the 14 kV scale: labels 14 down to -4 in steps of 2, one per 1000 units.
    for (int k = 0; k < 10; ++k) {
        const int label = 14 - 2 * k;
        texts.append({QString::number(label), {1200, 4000.0 + 1000 * k}, 10, false});
    }
    return texts;
}

} // namespace

class TestReportPdf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onePageOfA4();
    void everyTextStandsInItsPlace();
    void nothingElseIsWritten();
    void defaultFaceInBothWeights();
    void frameAxesAndTraceAreInked();

private:
    // Where a logical point of the page lands on paper, in points.
    QPointF onPaper(QPointF logical) const
    {
        return {m_printableArea.left() + logical.x() * m_printableArea.width() / LogicalWidth,
                m_printableArea.top() + logical.y() * m_printableArea.height() / LogicalHeight};
    }

    QTemporaryDir m_dir;
    QString m_pdf;
    QRectF m_printableArea; // points from the top-left corner of the paper
    ReportValues m_values;
};

void TestReportPdf::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_values = reportValues();
    QCOMPARE(m_values.PrnVoltCount, 73);
    QCOMPARE(*std::max_element(m_values.PrnData.begin() + 1, m_values.PrnData.begin() + 201), 255);
    QCOMPARE(m_values.PrnData[20], 255);

    // Printed the way the print dialog prints: a QPrinter with its default page layout, A4.
    m_pdf = m_dir.filePath(u"report.pdf"_qs);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    m_printableArea = printer.pageLayout().paintRect(QPageLayout::Point);

    QPainter painter;
    QVERIFY(painter.begin(&printer));
    PrinterSurface page(painter);
    ReportPage::draw(page, ReportDetails{u"FE-300"_qs, u"A1234"_qs, u"06/12/26"_qs}, m_values);
    QVERIFY(painter.end());
    QVERIFY(QFileInfo(m_pdf).size() > 0);

    if (const QString keep = qEnvironmentVariable("VOLTRANE_REPORT_PDF"); !keep.isEmpty()) {
        QFile::remove(keep);
        QVERIFY(QFile::copy(m_pdf, keep));
    }
}

void TestReportPdf::onePageOfA4()
{
    REQUIRE_POPPLER();
    const std::optional<QByteArray> info = runTool("pdfinfo", {m_pdf});
    QVERIFY(info);
    const QString text = QString::fromUtf8(*info);
    static const QRegularExpression pages(uR"(^Pages:\s+(\d+)\s*$)"_qs,
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression size(uR"(^Page size:\s+([\d.]+) x ([\d.]+) pts)"_qs,
                                         QRegularExpression::MultilineOption);
    const QRegularExpressionMatch pagesMatch = pages.match(text);
    const QRegularExpressionMatch sizeMatch = size.match(text);
    QVERIFY2(pagesMatch.hasMatch() && sizeMatch.hasMatch(), qPrintable(text));
    QCOMPARE(pagesMatch.captured(1).toInt(), 1);
    QVERIFY2(std::abs(sizeMatch.captured(1).toDouble() - 595.3) <= 1.0 &&
                 std::abs(sizeMatch.captured(2).toDouble() - 841.9) <= 1.0,
             qPrintable(sizeMatch.captured(0)));
}

void TestReportPdf::everyTextStandsInItsPlace()
{
    REQUIRE_POPPLER();
    const std::optional<PdfText> read = readPdfText(m_pdf);
    QVERIFY(read);
    QCOMPARE(read->pages.size(), 1);

    const double blank = advanceInPoints(u" "_qs, 10, false);
    for (const Expected &item : expectedTexts()) {
        QPointF expected = onPaper(item.logical);
        // A voltage label of 0 or more is printed with a blank before it.
        const bool number = item.logical.x() == 1200;
        if (number && !item.text.startsWith(u'-'))
            expected.rx() += blank;

        const std::optional<QRectF> box = findText(read->words, item.text, expected);
        QVERIFY2(box, qPrintable(u"\"%1\" is not on the page: %2"_qs.arg(item.text,
                                                                         describe(read->words))));
        const QString where = QStringLiteral("\"%1\" at (%2, %3) pt, expected (%4, %5)")
                                  .arg(item.text)
                                  .arg(box->left(), 0, 'f', 2)
                                  .arg(box->top(), 0, 'f', 2)
                                  .arg(expected.x(), 0, 'f', 2)
                                  .arg(expected.y(), 0, 'f', 2);
        QVERIFY2(std::abs(box->left() - expected.x()) <= PositionTolerance, qPrintable(where));
        QVERIFY2(std::abs(box->top() - expected.y()) <= PositionTolerance, qPrintable(where));

        // The size in points, from the height of the word box (ascent to descent, a little more
        // than the point size) ...
        const double heightPerPoint = box->height() / item.points;
        QVERIFY2(
            heightPerPoint > 1.0 && heightPerPoint < 1.2,
            qPrintable(
                u"%1: %2 pt high for %3 pt"_qs.arg(where).arg(box->height()).arg(item.points)));
        // ... and the weight from its width.
        const double expectedWidth = advanceInPoints(item.text.trimmed(), item.points, item.bold);
        QVERIFY2(std::abs(box->width() / expectedWidth - 1.0) < 0.03,
                 qPrintable(u"%1: %2 pt wide, expected %3 (%4 pt, %5)"_qs.arg(where)
                                .arg(box->width())
                                .arg(expectedWidth)
                                .arg(item.points)
                                .arg(item.bold ? u"bold"_qs : u"regular"_qs)));
    }

    // The micro signs survive the trip into the PDF as text.
    const std::optional<QByteArray> plain = runTool("pdftotext", {"-enc", "UTF-8", m_pdf, "-"});
    QVERIFY(plain);
    const QString text = QString::fromUtf8(*plain);
    QVERIFY2(text.contains(u"Time (\u00b5s)"_qs), qPrintable(text));
    QVERIFY2(text.contains(u"Pulse Width (\u00b5s): 60"_qs), qPrintable(text));
}

void TestReportPdf::nothingElseIsWritten()
{
    REQUIRE_POPPLER();
    const std::optional<PdfText> read = readPdfText(m_pdf);
    QVERIFY(read);

    QList<qsizetype> accounted;
    for (const Expected &item : expectedTexts()) {
        QList<qsizetype> used;
        QPointF near = onPaper(item.logical);
        QVERIFY(findText(read->words, item.text, near, &used));
        accounted.append(used);
    }
    QList<PdfWord> extra;
    for (qsizetype w = 0; w < read->words.size(); ++w) {
        if (!accounted.contains(w))
            extra.append(read->words.at(w));
    }
    QVERIFY2(extra.isEmpty(), qPrintable(describe(extra)));
}

void TestReportPdf::defaultFaceInBothWeights()
{
    REQUIRE_POPPLER();
    const std::optional<QByteArray> fonts = runTool("pdffonts", {m_pdf});
    QVERIFY(fonts);
    QStringList faces;
    const QStringList lines = QString::fromUtf8(*fonts).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(2))
        faces.append(line.section(u' ', 0, 0, QString::SectionSkipEmpty));
    const QString listing = faces.join(u", "_qs);

    const QString family = QFontInfo(QFont()).family().remove(u' ');
    QVERIFY2(faces.size() == 2, qPrintable(listing));
    QVERIFY2(faces.filter(u"Bold"_qs).size() == 1, qPrintable(listing));
    for (const QString &face : faces)
        QVERIFY2(face.contains(family), qPrintable(u"%1 is not %2"_qs.arg(face, family)));
}

void TestReportPdf::frameAxesAndTraceAreInked()
{
    REQUIRE_POPPLER();
    constexpr int Dpi = 150;
    const QString prefix = m_dir.filePath(u"report"_qs);
    QVERIFY(runTool("pdftoppm", {"-png", "-gray", "-r", QString::number(Dpi), "-f", "1", "-l", "1",
                                 "-singlefile", m_pdf, prefix}));
    const QImage image(prefix + u".png"_qs);
    QVERIFY(!image.isNull());

    // The darkest grey level within two dots of a logical point (0 black, 255 white).
    const auto darkestNear = [&](double x, double y) {
        const QPointF points = onPaper({x, y});
        const int cx = static_cast<int>(std::floor(points.x() * Dpi / 72.0));
        const int cy = static_cast<int>(std::floor(points.y() * Dpi / 72.0));
        int darkest = 255;
        for (int py = cy - 2; py <= cy + 2; ++py) {
            for (int px = cx - 2; px <= cx + 2; ++px) {
                if (image.valid(px, py))
                    darkest = std::min(darkest, qGray(image.pixel(px, py)));
            }
        }
        return darkest;
    };
    constexpr int Ink = 140;
    constexpr int Paper = 250;

    struct Spot
    {
        const char *what;
        double x, y;
    };
    const QList<Spot> inked = {
        {"frame, top edge", 7000, 3000},
        {"frame, right edge", 13000, 8500},
        {"frame, bottom edge", 7000, 14000},
        {"frame, left edge", 1000, 8500},
        {"voltage axis", 2000, 6500},
        {"time axis", 9500, 11000},
        {"voltage tick 0", 1900, 4000},
        {"time tick 9", 11000, 11100},
        // Gain round(73 × 50 / 128) = 29: the peak sample 20 stands at 11000 - 128 × 29.
        {"peak sample", 3000, 7288},
        {"trace down from the peak", 3025, 7600},
    };
    for (const Spot &spot : inked)
        QVERIFY2(darkestNear(spot.x, spot.y) <= Ink, spot.what);

    const QList<Spot> blank = {
        {"inside the frame, above the peak", 3000, 6000},
        {"between the frame and the axis", 1500, 8500},
        {"right of the time axis", 12500, 11000},
        {"below the frame", 7000, 14200},
        {"no time tick at the end of the axis", 12000, 11120},
    };
    for (const Spot &spot : blank)
        QVERIFY2(darkestNear(spot.x, spot.y) >= Paper, spot.what);
}

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
