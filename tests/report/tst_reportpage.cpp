#include "PrintedWaveform.h"
#include "RecordingSurface.h"
#include "ReportPage.h"
#include "ReportValues.h"

#include <QTest>

#include <cstdint>

namespace {

// A data set as a decode leaves it, its texts in UTF-8: 7.3 kV, a pulse that peaks at sample 40.
ReportValues shownDataSet()
{
    ReportValues values;
    values.PrnVoltage = "Voltage (KV): 7.3";
    values.PrnEnergy = "Energy (J): 1.5";
    values.PrnInterval = "Interval (s): 1.2";
    values.PrnPulseWidth = "Pulse Width (\xc2\xb5s): 60";
    values.PrnLoad = "Load (Ohms): 500";
    values.PrnModel = "Model No.: VM-30";
    values.PrnSerial = "Serial No.: 004711";
    values.PrnVoltCount = 73;
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>(i < 40 ? 127 + 3 * i : 127 - (i - 40) / 2);
    return values;
}

// As the operator typed them, blanks and letters beyond Latin-1 included.
const ReportDetails typedDetails{u" EF-200 \u03a9"_qs, u"S \u2116 12345"_qs, u"31/12/2024"_qs};

} // namespace

Q_DECLARE_METATYPE(ReportDetails)
Q_DECLARE_METATYPE(ReportValues)

class TestReportPage : public QObject
{
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void drawing();
};

void TestReportPage::texts_data()
{
    QTest::addColumn<ReportDetails>("details");
    QTest::addColumn<ReportValues>("values");
    QTest::addColumn<QStringList>("lines"); // the three detail lines, then the seven value lines
    QTest::newRow("typed, a data set shown")
        << typedDetails << shownDataSet()
        << QStringList{u"Energizer Model No. :  EF-200 \u03a9"_qs,
                       u"Energizer Serial No. : S \u2116 12345"_qs,
                       u"Date : 31/12/2024"_qs,
                       u"Voltage (KV): 7.3"_qs,
                       u"Energy (J): 1.5"_qs,
                       u"Interval (s): 1.2"_qs,
                       u"Pulse Width (\u00b5s): 60"_qs,
                       u"Load (Ohms): 500"_qs,
                       u"Model No.: VM-30"_qs,
                       u"Serial No.: 004711"_qs};
    QTest::newRow("nothing typed, nothing shown")
        << ReportDetails{} << ReportValues{}
        << QStringList{u"Energizer Model No. : "_qs, u"Energizer Serial No. : "_qs, u"Date : "_qs} +
               QStringList(7);
}

void TestReportPage::texts()
{
    QFETCH(ReportDetails, details);
    QFETCH(ReportValues, values);
    QFETCH(QStringList, lines);
    // Every text of the page bold, in the printer's black: the heading, the details, the values
    // on the left and the meter on the right, the vendor and the sign-off captions.
    const QStringList texts = QStringList{u"VOLTRANE ANALYZER"_qs, u"TEST REPORT"_qs} + lines +
                              QStringList{u"Quillmarsh"_qs, u"Signature:"_qs, u"Checked:"_qs};
    struct Place
    {
        double x, y, points;
    };
    const QList<Place> places = {{2500, 1000, 20},  {5400, 1500, 20},  {1100, 2100, 12},
                                 {1100, 2500, 12},  {10500, 2100, 12}, {1100, 14500, 12},
                                 {1100, 14900, 12}, {1100, 15300, 12}, {1100, 15700, 12},
                                 {1100, 16100, 12}, {9000, 14500, 12}, {9000, 14900, 12},
                                 {1100, 18500, 12}, {9000, 18500, 12}, {9000, 18000, 12}};

    RecordingSurface surface;
    ReportPage::draw(surface, details, values);
    QCOMPARE(surface.texts().size(), 15 + 14); // then the chart's
    for (int i = 0; i < 15; ++i) {
        const RecordingSurface::PrintedText &t = surface.texts().at(i);
        QCOMPARE(t.text, texts.at(i));
        QCOMPARE(t.position, QPointF(places[i].x, places[i].y));
        QVERIFY2(t.fontSize == places[i].points && t.bold == true && !t.colour, qPrintable(t.text));
    }
}

void TestReportPage::drawing()
{
    RecordingSurface surface;
    ReportPage::draw(surface, typedDetails, shownDataSet());
    const QStringList log = surface.log();
    QCOMPARE(log.first(), u"size 14000 20000"_qs);
    QCOMPARE(surface.entries(u"size").size(), 1);
    QCOMPARE(surface.entries(u"colour"), QStringList{});
    // Bold and 20 points for the heading, 12 for the details and again for the values, then the
    // chart's own.
    QCOMPARE(surface.entries(u"bold"), (QStringList{u"bold 1"_qs, u"bold 0"_qs}));
    QCOMPARE(surface.entries(u"font"),
             (QStringList{u"font 20"_qs, u"font 12"_qs, u"font 12"_qs, u"font 10"_qs}));
    // The frame box, clockwise from its top-left corner.
    QCOMPARE(surface.entries(u"line").mid(0, 4),
             (QStringList{u"line 1000 3000 13000 3000 #000000"_qs,
                          u"line 13000 3000 13000 14000 #000000"_qs,
                          u"line 13000 14000 1000 14000 #000000"_qs,
                          u"line 1000 14000 1000 3000 #000000"_qs}));
    // Last the chart in the frame box, as it draws on its own, after the last text of the page.
    RecordingSurface chart;
    PrintedWaveform::PrnPlot(chart, shownDataSet(), 3000, 1000);
    const qsizetype chartStart = log.indexOf(u"bold 0"_qs);
    QCOMPARE(log.at(chartStart - 1), u"text Checked:"_qs);
    QCOMPARE(log.mid(chartStart), chart.log());
    // A second page on the same surface is the same page.
    ReportPage::draw(surface, typedDetails, shownDataSet());
    QCOMPARE(surface.log().mid(log.size()), log);
}

QTEST_APPLESS_MAIN(TestReportPage)
#include "tst_reportpage.moc"
