#include "RecordingSurface.h"
#include "measurement/ReportValues.h"
#include "report/PrintedWaveform.h"
#include "report/ReportPage.h"

#include <QTest>

#include <cstdint>

namespace {

using Text = RecordingSurface::PrintedText;

// Entries of the page before the chart: size, bold, font, 2 heading texts, font, 3 detail texts,
// 4 box lines, font, 10 texts under the box; each text with its x and y.
constexpr int PageEntries = 1 + 1 + 1 + 2 * 3 + 1 + 3 * 3 + 4 + 1 + 10 * 3;
// The chart: bold, font, 22 axis and tick lines, 14 texts, 200 marks, 199 trace lines.
constexpr int ChartEntries = 2 + 22 + 14 * 3 + 200 + 199;

// A data set as a decode leaves it: 7.3 kV, a pulse that peaks at sample 40.
ReportValues shownDataSet()
{
    ReportValues values;
    values.PrnVoltage = "Voltage (KV): 7.3";
    values.PrnEnergy = "Energy (J): 1.5";
    values.PrnInterval = "Interval (s): 1.2";
    values.PrnPulseWidth = "Pulse Width (\xc2\xb5s): 60"; // UTF-8, as the decode writes it
    values.PrnLoad = "Load (Ohms): 500";
    values.PrnModel = "Model No.: VM-30";
    values.PrnSerial = "Serial No.: 004711";
    values.PrnVoltCount = 73;
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>(i < 40 ? 127 + 3 * i : 127 - (i - 40) / 2);
    return values;
}

ReportValues flatDataSet(int voltCount, int sample)
{
    ReportValues values = shownDataSet();
    values.PrnVoltCount = static_cast<std::int16_t>(voltCount);
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>(sample);
    return values;
}

const ReportDetails typedDetails{"EF-200", "S 12345", "31/12/2024"};

} // namespace

Q_DECLARE_METATYPE(ReportValues)

class TestReportPage : public QObject
{
    Q_OBJECT

private slots:
    void pageInOrder();
    void pageText_data();
    void pageText();
    void detailLines_data();
    void detailLines();
    void wholePageIsAlwaysDrawn_data();
    void wholePageIsAlwaysDrawn();
    void beforeAnyDataSet();
    void deadEnergizerPrintsFlat();
    void printingTwiceGivesTheSamePage();
    void endsWithBoldOffAndFontTen();
};

void TestReportPage::pageInOrder()
{
    RecordingSurface surface;
    const ReportValues values = shownDataSet();
    ReportPage::draw(surface, typedDetails, values);
    const QStringList &log = surface.log();

    const QStringList page = {
        "size 14000 20000",
        "bold 1",
        "font 20",
        "x 2500",
        "y 1000",
        "text VOLTRANE ANALYZER",
        "x 5400",
        "y 1500",
        "text TEST REPORT",
        "font 12",
        "x 1100",
        "y 2100",
        "text Energizer Model No. : EF-200",
        "x 1100",
        "y 2500",
        "text Energizer Serial No. : S 12345",
        "x 10500",
        "y 2100",
        "text Date : 31/12/2024",
        // The frame box.
        "line 1000 3000 13000 3000 #000000",
        "line 13000 3000 13000 14000 #000000",
        "line 13000 14000 1000 14000 #000000",
        "line 1000 14000 1000 3000 #000000",
        "font 12",
        "x 1100",
        "y 14500",
        "text Voltage (KV): 7.3",
        "x 1100",
        "y 14900",
        "text Energy (J): 1.5",
        "x 1100",
        "y 15300",
        "text Interval (s): 1.2",
        "x 1100",
        "y 15700",
        QStringLiteral("text Pulse Width (\u00b5s): 60"),
        "x 1100",
        "y 16100",
        "text Load (Ohms): 500",
        "x 9000",
        "y 14500",
        "text Model No.: VM-30",
        "x 9000",
        "y 14900",
        "text Serial No.: 004711",
        "x 1100",
        "y 18500",
        "text Quillmarsh",
        "x 9000",
        "y 18500",
        "text Signature:",
        "x 9000",
        "y 18000",
        "text Checked:",
    };
    QCOMPARE(page.size(), PageEntries);
    QCOMPARE(log.mid(0, PageEntries), page);

    // Then the chart inside the frame box, and nothing after it.
    RecordingSurface chart;
    PrintedWaveform::PrnPlot(chart, values, 3000, 1000);
    QCOMPARE(chart.log().size(), ChartEntries);
    QCOMPARE(log.mid(PageEntries), chart.log());
    QCOMPARE(log.at(PageEntries + 2), "line 2000 4000 2000 13000 #000000");
}

void TestReportPage::pageText_data()
{
    QTest::addColumn<int>("item"); // 1..15, in the order printed
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<double>("fontSize");

    QTest::newRow("1 heading") << 1 << "VOLTRANE ANALYZER" << QPointF(2500, 1000) << 20.0;
    QTest::newRow("2 title") << 2 << "TEST REPORT" << QPointF(5400, 1500) << 20.0;
    QTest::newRow("3 model") << 3 << "Energizer Model No. : EF-200" << QPointF(1100, 2100) << 12.0;
    QTest::newRow("4 serial") << 4 << "Energizer Serial No. : S 12345" << QPointF(1100, 2500)
                              << 12.0;
    QTest::newRow("5 date") << 5 << "Date : 31/12/2024" << QPointF(10500, 2100) << 12.0;
    QTest::newRow("6 voltage") << 6 << "Voltage (KV): 7.3" << QPointF(1100, 14500) << 12.0;
    QTest::newRow("7 energy") << 7 << "Energy (J): 1.5" << QPointF(1100, 14900) << 12.0;
    QTest::newRow("8 interval") << 8 << "Interval (s): 1.2" << QPointF(1100, 15300) << 12.0;
    QTest::newRow("9 pulse width")
        << 9 << QStringLiteral("Pulse Width (\u00b5s): 60") << QPointF(1100, 15700) << 12.0;
    QTest::newRow("10 load") << 10 << "Load (Ohms): 500" << QPointF(1100, 16100) << 12.0;
    QTest::newRow("11 meter model") << 11 << "Model No.: VM-30" << QPointF(9000, 14500) << 12.0;
    QTest::newRow("12 meter serial") << 12 << "Serial No.: 004711" << QPointF(9000, 14900) << 12.0;
    QTest::newRow("13 vendor") << 13 << "Quillmarsh" << QPointF(1100, 18500) << 12.0;
    QTest::newRow("14 signature") << 14 << "Signature:" << QPointF(9000, 18500) << 12.0;
    QTest::newRow("15 checked") << 15 << "Checked:" << QPointF(9000, 18000) << 12.0;
}

void TestReportPage::pageText()
{
    QFETCH(int, item);
    QFETCH(QString, text);
    QFETCH(QPointF, position);
    QFETCH(double, fontSize);

    RecordingSurface surface;
    ReportPage::draw(surface, typedDetails, shownDataSet());
    // 15 page texts, then the 14 of the chart. All page texts are bold and keep the printer's
    // black.
    QCOMPARE(surface.texts().size(), 15 + 14);
    const Text expected{text, position, std::nullopt, fontSize, true};
    QCOMPARE(surface.texts().at(item - 1), expected);
}

void TestReportPage::detailLines_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty: the bare labels")
        << ""
        << ""
        << "" << QStringList{"Energizer Model No. : ", "Energizer Serial No. : ", "Date : "};
    QTest::newRow("typed") << "EF-200"
                           << "S 12345"
                           << "31/12/2024"
                           << QStringList{"Energizer Model No. : EF-200",
                                          "Energizer Serial No. : S 12345", "Date : 31/12/2024"};
    QTest::newRow("date in another form")
        << "EF-200"
        << "S 12345"
        << "2024-12-31"
        << QStringList{"Energizer Model No. : EF-200", "Energizer Serial No. : S 12345",
                       "Date : 2024-12-31"};
    QTest::newRow("date in words")
        << ""
        << ""
        << "Tuesday, 31 December 2024"
        << QStringList{"Energizer Model No. : ", "Energizer Serial No. : ",
                       "Date : Tuesday, 31 December 2024"};
    QTest::newRow("not a date at all")
        << ""
        << ""
        << "next week?"
        << QStringList{"Energizer Model No. : ", "Energizer Serial No. : ", "Date : next week?"};
    QTest::newRow("blanks kept") << " A1 "
                                 << "  7"
                                 << "1.2.24 "
                                 << QStringList{"Energizer Model No. :  A1 ",
                                                "Energizer Serial No. :   7", "Date : 1.2.24 "};
    QTest::newRow("beyond Latin-1")
        << QStringLiteral("\u03a9-Zaun \u2116 5") << QStringLiteral("\u00e9t\u00e9") << "1/2/24"
        << QStringList{QStringLiteral("Energizer Model No. : \u03a9-Zaun \u2116 5"),
                       QStringLiteral("Energizer Serial No. : \u00e9t\u00e9"), "Date : 1/2/24"};
}

void TestReportPage::detailLines()
{
    QFETCH(QString, model);
    QFETCH(QString, serial);
    QFETCH(QString, date);
    QFETCH(QStringList, lines);

    RecordingSurface surface;
    ReportPage::draw(surface, ReportDetails{model, serial, date}, shownDataSet());
    const QList<Text> &texts = surface.texts();
    QCOMPARE(texts.at(2), (Text{lines.at(0), QPointF(1100, 2100), std::nullopt, 12.0, true}));
    QCOMPARE(texts.at(3), (Text{lines.at(1), QPointF(1100, 2500), std::nullopt, 12.0, true}));
    QCOMPARE(texts.at(4), (Text{lines.at(2), QPointF(10500, 2100), std::nullopt, 12.0, true}));
}

void TestReportPage::wholePageIsAlwaysDrawn_data()
{
    QTest::addColumn<ReportValues>("values");
    QTest::addColumn<QString>("firstMark");

    QTest::newRow("a data set") << shownDataSet() << "box 2025 10882 2075 10932 #000000 outline";
    QTest::newRow("before any data set")
        << ReportValues{} << "box 2025 10975 2075 11025 #000000 outline";
    QTest::newRow("dead energizer")
        << flatDataSet(73, 127) << "box 2025 10975 2075 11025 #000000 outline";

    // 70.0 kV, peak 255: gain 273, far above the page.
    ReportValues high = flatDataSet(700, 127);
    high.PrnData[1] = 255;
    QTest::newRow("70.0 kV") << high << "box 2025 -23969 2075 -23919 #000000 outline";

    // Peak 137 at 10.0 kV: gain 500, sample 83 far below the page.
    ReportValues steep = flatDataSet(100, 127);
    steep.PrnData[1] = 83;
    steep.PrnData[2] = 137;
    QTest::newRow("gain 500") << steep << "box 2025 32975 2075 33025 #000000 outline";

    // The largest 16-bit count, peak one above the zero line: gain 1638350.
    ReportValues largest = flatDataSet(32767, 127);
    largest.PrnData[1] = 0;
    largest.PrnData[2] = 128;
    QTest::newRow("largest count")
        << largest << "box 2025 208081425 2075 208081475 #000000 outline";
}

void TestReportPage::wholePageIsAlwaysDrawn()
{
    QFETCH(ReportValues, values);
    QFETCH(QString, firstMark);

    RecordingSurface surface;
    ReportPage::draw(surface, typedDetails, values);
    const QStringList &log = surface.log();
    QCOMPARE(log.size(), PageEntries + ChartEntries);
    QCOMPARE(surface.texts().size(), 15 + 14);
    QCOMPARE(surface.entries(u"box").size(), 200);
    QCOMPARE(surface.entries(u"line").size(), 4 + 22 + 199);
    QCOMPARE(surface.entries(u"box").first(), firstMark);
    // The last entry is the trace line from sample 199 to sample 200.
    const QStringList last = log.last().split(u' ');
    QCOMPARE(last.at(0), "line");
    QCOMPARE(last.at(1), "11950");
    QCOMPARE(last.at(3), "12000");
}

void TestReportPage::beforeAnyDataSet()
{
    // Nothing shown yet: empty value lines, still printed where they belong, and a flat chart on
    // the 7 kV scale.
    RecordingSurface surface;
    ReportPage::draw(surface, ReportDetails{}, ReportValues{});
    const QList<Text> &texts = surface.texts();
    QCOMPARE(texts.size(), 15 + 14);

    const QList<QPointF> valuePositions = {{1100, 14500}, {1100, 14900}, {1100, 15300},
                                           {1100, 15700}, {1100, 16100}, {9000, 14500},
                                           {9000, 14900}};
    for (int n = 0; n < valuePositions.size(); ++n)
        QCOMPARE(texts.at(5 + n),
                 (Text{QString(), valuePositions.at(n), std::nullopt, 12.0, true}));
    QCOMPARE(texts.at(2).text, "Energizer Model No. : ");
    QCOMPARE(texts.at(12).text, "Quillmarsh");

    QCOMPARE(texts.at(15 + 4).text, " 7 ");
    QCOMPARE(texts.at(15 + 13).text, "-2 ");

    const QStringList trace = surface.log().mid(PageEntries + ChartEntries - 199);
    QCOMPARE(trace.first(), "line 2050 11000 2100 11000 #000000");
    QCOMPARE(trace.last(), "line 11950 11000 12000 11000 #000000");
    for (const QString &box : surface.entries(u"box"))
        QVERIFY2(box.contains(" 10975 ") && box.contains(" 11025 "), qPrintable(box));
}

void TestReportPage::deadEnergizerPrintsFlat()
{
    // All samples on the zero line at 7.3 kV: gain 0, the trace on the time axis, and the page
    // complete with the 14 kV scale.
    RecordingSurface surface;
    ReportPage::draw(surface, typedDetails, flatDataSet(73, 127));
    const QStringList &log = surface.log();
    QCOMPARE(log.size(), PageEntries + ChartEntries);
    QCOMPARE(surface.texts().at(15 + 4).text, " 14 ");

    const QStringList boxes = surface.entries(u"box");
    QCOMPARE(boxes.at(0), "box 2025 10975 2075 11025 #000000 outline");
    QCOMPARE(boxes.at(199), "box 11975 10975 12025 11025 #000000 outline");
    for (const QString &box : boxes)
        QVERIFY2(box.section(u' ', 2, 2) == "10975" && box.section(u' ', 4, 4) == "11025",
                 qPrintable(box));
    const QStringList trace = log.mid(PageEntries + ChartEntries - 199);
    for (const QString &line : trace)
        QVERIFY2(line.section(u' ', 2, 2) == "11000" && line.section(u' ', 4, 4) == "11000",
                 qPrintable(line));
    QCOMPARE(log.last(), "line 11950 11000 12000 11000 #000000");
}

void TestReportPage::printingTwiceGivesTheSamePage()
{
    RecordingSurface first;
    RecordingSurface second;
    ReportPage::draw(first, typedDetails, shownDataSet());
    ReportPage::draw(second, typedDetails, shownDataSet());
    QCOMPARE(second.log(), first.log());

    // On one surface, too: the second page does not depend on where the first one left off.
    ReportPage::draw(first, typedDetails, shownDataSet());
    QCOMPARE(first.log().mid(second.log().size()), second.log());
}

void TestReportPage::endsWithBoldOffAndFontTen()
{
    RecordingSurface surface;
    ReportPage::draw(surface, typedDetails, shownDataSet());
    QCOMPARE(surface.entries(u"bold"), (QStringList{"bold 1", "bold 0"}));
    QCOMPARE(surface.entries(u"font"), (QStringList{"font 20", "font 12", "font 12", "font 10"}));
    // Black is the printer's own: no colour is set.
    QCOMPARE(surface.entries(u"colour"), QStringList{});
    QCOMPARE(surface.entries(u"size"), QStringList{"size 14000 20000"});
}

QTEST_APPLESS_MAIN(TestReportPage)
#include "tst_reportpage.moc"
