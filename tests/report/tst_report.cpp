// The report page and its chart as drawn, and printed into PDF files read back with poppler.
// VOLTRANE_REPORT_PDF=FILE keeps the printed page.
#include "Golden.h"
#include "PdfText.h"
#include "PrintService.h"
#include "PrintedWaveform.h"
#include "PrinterSurface.h"
#include "RecordingSurface.h"
#include "ReportPage.h"
#include "ReportPrinter.h"
#include "ReportValues.h"

#include <QPainter>
#include <QPdfWriter>
#include <QtTest>

namespace {
using Word = std::pair<QString, QRectF>;
ReportValues valuesWith(int voltCount, const std::function<int(int)> &sample)
{
    ReportValues v;
    v.PrnVoltCount = std::int16_t(voltCount);
    for (int i = 1; i <= 200; ++i)
        v.PrnData[i] = std::int16_t(sample(i));
    return v;
}
QStringList chart(const ReportValues &values, int boxTop = 3000, int boxLeft = 1000)
{
    RecordingSurface s;
    PrintedWaveform::PrnPlot(s, values, boxTop, boxLeft);
    return s.log;
}
// Whether the page has ink at each logical point "x,y x,y ..." (14000 × 20000 over `area`, in
// points), rendered at 150 dpi: "1" ink, "0" paper, "?" neither.
QString inkAt(const QString &pdf, QRectF area, const QString &points)
{
    PdfText::run("pdftoppm", {"-png", "-r", "150", "-singlefile", pdf, pdf});
    const QImage page(pdf + ".png");
    const QTransform toDots =
        QTransform(area.width() / 14000, 0, 0, area.height() / 20000, area.x(), area.y()) *
        QTransform::fromScale(150 / 72., 150 / 72.);
    QString ink;
    for (const QString &p : points.split(' ')) {
        const QPointF at(p.section(',', 0, 0).toDouble(), p.section(',', 1).toDouble());
        int darkest = 255;
        for (int d = 0; d < 25; ++d)
            darkest = std::min(darkest, qGray(page.pixel(toDots.map(at).toPoint() +
                                                         QPoint(d % 5 - 2, d / 5 - 2))));
        ink += darkest < 140 ? '1' : darkest > 250 ? '0' : '?';
    }
    return ink;
}
} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void printingWithoutItsPlugin()
    {
        // Nothing printed, and why, as when no print service runs (a PDF file is offered then).
        qputenv("VOLTRANE_PRINTING_PLUGIN", "/nonexistent/libvoltrane-printing.so");
        const PrintService::Outcome outcome = PrintService::printReport({"M", "S", "d"}, {});
        QVERIFY(outcome.kind == PrintService::Outcome::Kind::NotRunning);
        QVERIFY2(outcome.message.startsWith("Printing is not available: the program's printing "
                                            "part could not be loaded (") &&
                     outcome.message.endsWith("). Reinstall the program."),
                 qPrintable(outcome.message));
    }

    void pageAndChart()
    {
        // The whole page as drawn, for a pulse that peaks at sample 39 (7.3 kV: the 14 kV scale,
        // gain round(3650 / 117) = 31), every text in the printer's black, details as typed.
        ReportValues values =
            valuesWith(73, [](int i) { return i < 40 ? 127 + 3 * i : 127 - (i - 40) / 2; });
        values.PrnVoltage = "Voltage (KV): 7.3", values.PrnEnergy = "Energy (J): 1.5",
        values.PrnInterval = "Interval (s): 1.2";
        values.PrnPulseWidth = "Pulse Width (µs): 60", values.PrnLoad = "Load (Ohms): 500",
        values.PrnModel = "Model No.: VM-30", values.PrnSerial = "Serial No.: 1";
        RecordingSurface s;
        ReportPage::draw(s, {" EF-200 \u03a9", "S \u2116 1", "31/12/2024"}, values);
        QCOMPARE_GOLDEN("report-page.log", s.log);
        // The chart on its own is the end of the page; any box moves it; 6.9 kV takes the 7 kV
        // scale. Nothing typed and nothing shown: the bare labels, empty value lines.
        QCOMPARE(s.log.mid(s.log.indexOf("bold 0")), chart(values));
        RecordingSurface bare;
        ReportPage::draw(bare, {}, ReportValues{});
        QCOMPARE_GOLDEN("report-moved-chart-and-bare-texts.log",
                        chart(valuesWith(69, [](int) { return 127; }), 500, 2000) +
                            bare.log.filter("text"));
        // The date offered: day, month, two-digit year, parted as the system's short format parts.
        const QString system =
            ReportPage::dateSeparator(QLocale::system().dateFormat(QLocale::ShortFormat));
        QString separators;
        for (const char *format :
             {"dd.MM.yy", "yyyy-MM-dd", "M/d/yy", "'Date' d.M.yy", "d MMM yyyy", ""})
            separators += ReportPage::dateSeparator(format);
        QVERIFY(separators == ".-/.//" &&
                ReportPage::dateText(QDate(2100, 7, 4)) == "04" + system + "07" + system + "00");
    }

    void chartSamples()
    {
        QFile table(GoldenFolder + "chart-samples.txt");
        QVERIFY(table.open(QIODevice::ReadOnly));
        for (const QString &row :
             QString(table.readAll()).split('\n').filter(QRegularExpression("^-?\\d"))) {
            const QStringList n = row.split(' ', Qt::SkipEmptyParts);
            ReportValues v = valuesWith(n[0].toInt(), [&](int) { return n[1].toInt(); });
            v.PrnData[n[2].toInt()] = n[3].toShort();
            v.PrnData[n[4].toInt()] = n[5].toShort();
            const QStringList log = chart(v);
            // Its mark, and the trace joining the centres of neighbouring marks.
            const qint64 i = n[4].toInt(), x = 2000 + 50 * i, y = n[6].toLongLong(),
                         first = 2 + 2 + 20 + 14 * 3;
            const QString centre = QString::number(x) + ' ' + QString::number(y);
            QVERIFY2(log[first + i - 1].startsWith(QString("box %1 %2 ").arg(x - 25).arg(y - 25)) &&
                         (i == 1 || log[first + 198 + i].section(' ', 3, 4) == centre) &&
                         (i == 200 || log[first + 199 + i].section(' ', 1, 2) == centre),
                     qPrintable(row));
        }
        QCOMPARE(PrintedWaveform::gain(INT_MAX, 128) + 0LL + PrintedWaveform::gain(INT_MIN, 128),
                 -1LL);
    }

    void printerSurface()
    {
        // The logical page spans the painter's viewport, x and y each on its own scale; sizes not
        // above 0 are ignored. Far off the page lines keep their slope and boxes are cut, nothing
        // beyond twice the page's size reaches the printer, a text wholly off it is left out.
        QTemporaryDir dir;
        QPdfWriter writer(dir.filePath("page.pdf"));
        writer.setResolution(300);
        writer.setPageMargins(QMarginsF(25, 40, 10, 15), QPageLayout::Millimeter);
        QPainter painter(&writer);
        painter.setViewport(300, 600, 1800, 2400);
        PrinterSurface s(painter);
        s.setLogicalSize(1, 1);
        QVERIFY(s.toDevice({1, 0.5}) == QPointF(2100, 1800));
        s.setFontSize(12);
        const QSizeF twelve = s.textSize("Volts");
        for (const double odd : {-1.0, qInf(), qQNaN()})
            s.setFontSize(odd);
        QCOMPARE(s.textSize("Volts"), twelve);
        s.setLogicalSize(14000, 20000);
        s.setLogicalSize(0, qQNaN()), s.setLogicalSize(1, -1), s.setLogicalSize(1, qInf());
        s.drawLine({-399'987'000, -199'990'000}, {13000, 10000}, Qt::black); // slope 1/2
        s.drawLine({7000, 2000}, {7000, 4e8}, Qt::black);
        s.drawBox({-1e9, -1e9}, {1e9, 1e9}, Qt::black, DrawingSurface::Fill::Outline);
        s.drawBox({2000, 15000}, {4000, 17000}, Qt::black, DrawingSurface::Fill::Filled);
        s.drawBox({0, 0}, {qQNaN(), 5}, Qt::black, DrawingSurface::Fill::Filled);
        s.setCurrentY(-1e12);
        s.printText("Lost");
        s.clear();
        s.printText("Origin");
        QVERIFY(painter.end());
        const QRectF area(25 / 25.4 * 72 + 72, 40 / 25.4 * 72 + 144, 432, 576);
        QCOMPARE(inkAt(dir.filePath("page.pdf"), area,
                       "3000,5000 11000,9000 -3000,2000 7000,5000 7000,19000 3000,16000 1500,16000 "
                       "2000,10000"),
                 "11111100");
        const auto words = PdfText::read(dir.filePath("page.pdf")).words;
        QVERIFY(words.size() == 1 &&
                QLineF(words[0].second.topLeft(), area.topLeft()).length() < 1);
        double largest = 0; // in dots, of the paths of the page as pdftops writes it out
        for (const auto &m :
             QRegularExpression(R"(^([-\d. ]+) (m|l|re)$)", QRegularExpression::MultilineOption)
                 .globalMatch(
                     PdfText::run("pdftops", {dir.filePath("page.pdf"), "-"}).value_or("")))
            for (const QString &n : m.captured(1).split(' ', Qt::SkipEmptyParts))
                largest = std::max(largest, std::abs(n.toDouble()));
        QVERIFY2(largest > 0 && largest <= 2 * 842 * 300 / 72,
                 qPrintable(QString::number(largest)));
    }

    void printedPage()
    {
        // As ReportPrinter prints it: one A4 page, the default face in both weights embedded, 41
        // words, the heading at its place 20 points high and a value line 12, whatever the logical
        // scale; ink on the frame, axes, a tick, the peak sample and the trace (gain round(3650 /
        // 128) = 29), none above the peak, beside the axes or at the time axis' end.
        QTemporaryDir dir;
        const QString pdf = dir.filePath("report.pdf");
        ReportValues values =
            valuesWith(73, [](int i) { return std::max(255 - 13 * std::abs(i - 20), 100); });
        values.PrnVoltage = "Voltage (KV): 7.3", values.PrnModel = "Model No.: VM-2000";
        QVERIFY(ReportPrinter::writePdf(pdf, {" FE-300", "A1234", "06/12/26"}, values).ok());
        if (const QString keep = qEnvironmentVariable("VOLTRANE_REPORT_PDF"); !keep.isEmpty())
            QVERIFY((QFile::remove(keep), QFile::copy(pdf, keep)));
        const PdfText::Document read = PdfText::read(pdf);
        const QStringList faces =
            QString(PdfText::run("pdffonts", {pdf}).value_or("")).split('\n').mid(2);
        QVERIFY(read.pages.size() == 1 && read.pages[0].toSize() == QSize(595, 842) &&
                faces.filter(QFontInfo(QFont()).family().remove(' ')).size() == 2 &&
                faces.filter("-Bold ").size() == 1 &&
                faces.filter(QRegularExpression(" yes +(yes|no) +(yes|no) +\\d+ +0$")).size() == 2);
        const QRectF area = ReportPrinter::pageLayout().paintRect(QPageLayout::Point);
        const QRectF heading = read.words[0].second,
                     voltage = std::ranges::find(read.words, "Voltage", &Word::first)->second;
        QVERIFY(read.words.size() == 41 && read.words[0].first == "VOLTRANE" &&
                QLineF(heading.topLeft(), area.topLeft() + QPointF(2500 * area.width() / 14000,
                                                                   1000 * area.height() / 20000))
                        .length() < 1.5);
        QVERIFY(heading.height() > 20 && heading.height() < 24 && voltage.height() > 12 &&
                voltage.height() < 14.4);
        QCOMPARE(inkAt(pdf, area,
                       "7000,3000 13000,8500 7000,14000 1000,8500 2000,6500 9500,11000 1900,4000 "
                       "11000,11100 3000,7288 3025,7476 3000,6000 1500,8500 12500,11000 7000,14200 "
                       "12000,11120"),
                 "111111111100000");
        // The name its file is offered under.
        for (const auto &[model, name] : {std::pair<QString, QString>{"", "energizer"},
                                          {" EF 2/ü-x.y_Z\U0001F50B", "_EF_2__-x.y_Z_"},
                                          {QString(300, 'M'), QString(64, 'M')}})
            QCOMPARE(ReportPrinter::fileName(model, QDate(2026, 1, 31)),
                     "test-report_" + name + "_2026-01-31.pdf");
    }

    void longDetailIsCutOnThePageAndKeptWhole()
    {
        // A 2,000-character model: on the page cut with "…" before the date (x 10500); in the
        // document's description whole.
        const QString model(2000, u'M');
        RecordingSurface page;
        ReportPage::draw(page, {model, "S", "d"}, ReportValues{});
        const QString line = page.log.filter("text Energizer Model No. : ").value(0).mid(5);
        QVERIFY(line.endsWith(u'…'));
        QVERIFY(1100 + page.textSize(line).width() <= 10500);
        QVERIFY(1100 + page.textSize(line + "MM").width() > 10500 - 100);
        QTemporaryDir dir;
        QVERIFY(ReportPrinter::writePdf(dir.filePath("r.pdf"), {model, "S", "d"}, {}));
        QVERIFY(QString(PdfText::run("pdfinfo", {"-meta", dir.filePath("r.pdf")}).value_or(""))
                    .contains("Energizer Model No. : " + model + "; Energizer Serial No. : S"));
    }

    void limitCheckLinesAreAddedOnlyWhenAsked()
    {
        // Off: the page as ever. On: two lines, 10 points, not bold, at x 1100, y 16700 and 17100,
        // read back from the PDF.
        const LimitProfile &profile = builtInLimitProfile();
        const QStringList lines = ReportPage::limitCheckLines(
            profile, {LimitCheck::Verdict::Pass, LimitCheck::Verdict::Fail,
                      LimitCheck::Verdict::NotApplicable});
        QCOMPARE(lines, QStringList({"Limit check (Energizer safety limits (indicative)): energy "
                                     "pass, interval fail, pulse width n/a",
                                     "Indicative check, not a type test."}));
        RecordingSurface off, on;
        ReportPage::draw(off, {"M", "S", "d"}, ReportValues{});
        ReportPage::draw(on, {"M", "S", "d", lines}, ReportValues{});
        const qsizetype at = on.log.indexOf("text " + lines[0]);
        QCOMPARE(on.log.mid(at - 4, 8),
                 QStringList({"bold 0", "font 10", "x 1100", "y 16700", "text " + lines[0],
                              "x 1100", "y 17100", "text " + lines[1]}));
        QCOMPARE(off.log.filter("Limit check").size(), 0);
        QTemporaryDir dir;
        QVERIFY(ReportPrinter::writePdf(dir.filePath("on.pdf"), {"M", "S", "d", lines}, {}));
        QStringList words;
        for (const auto &word : PdfText::read(dir.filePath("on.pdf")).words)
            words << word.first;
        QVERIFY(words.join(' ').contains("Indicative check, not a type test."));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
