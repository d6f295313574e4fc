#include "RecordingSurface.h"
#include "measurement/ReportValues.h"
#include "report/PrintedWaveform.h"

#include <QTest>

#include <cstdint>
#include <limits>

namespace {

// The frame box of the report page.
constexpr int BoxTop = 3000;
constexpr int BoxLeft = 1000;

// Entries before the sample marks: bold, font, 2 axes, 20 ticks, 4 captions and 10 labels, each
// of these 14 texts with its x and y.
constexpr int FixedEntries = 2 + 2 + 20 + 14 * 3;

ReportValues valuesWith(int voltCount, int fill)
{
    ReportValues values;
    values.PrnVoltCount = static_cast<std::int16_t>(voltCount);
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>(fill);
    return values;
}

QStringList plot(const ReportValues &values, int boxTop = BoxTop, int boxLeft = BoxLeft)
{
    RecordingSurface surface;
    PrintedWaveform::PrnPlot(surface, values, boxTop, boxLeft);
    return surface.log();
}

QString mark(int index, qint64 y)
{
    const int x = 2000 + 50 * index;
    return QStringLiteral("box %1 %2 %3 %4 #000000 outline")
        .arg(x - 25)
        .arg(y - 25)
        .arg(x + 25)
        .arg(y + 25);
}

// The centre of a logged mark "box x1 y1 x2 y2 ...".
QPointF centreOf(const QString &box)
{
    const QStringList parts = box.split(u' ');
    return QPointF((parts.at(1).toDouble() + parts.at(3).toDouble()) / 2,
                   (parts.at(2).toDouble() + parts.at(4).toDouble()) / 2);
}

} // namespace

class TestPrintedWaveform : public QObject
{
    Q_OBJECT

private slots:
    void scaleFor_data();
    void scaleFor();
    void gain_data();
    void gain();
    void fixedPartsInOrder();
    void voltageLabels_data();
    void voltageLabels();
    void chartFollowsTheBox_data();
    void chartFollowsTheBox();
    void sampleMark_data();
    void sampleMark();
    void firstMarkOfTheWorkedExample();
    void traceLine_data();
    void traceLine();
    void traceJoinsNeighbouringMarks();
    void peakIgnoresElementsOutsideTheSamples();
    void deadEnergizerLiesOnTheAxis();
    void negativeGainMirrorsAboveTheAxis();
    void leavesBoldOffAndFontTen();
};

void TestPrintedWaveform::scaleFor_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<int>("labelTop");
    QTest::addColumn<int>("labelStep");
    QTest::newRow("6.9 kV") << 69 << 7 << 1;
    QTest::newRow("7.0 kV") << 70 << 14 << 2;
    QTest::newRow("0 kV") << 0 << 7 << 1;
    QTest::newRow("negative") << -100 << 7 << 1;
    QTest::newRow("65.6 kV") << 656 << 14 << 2;
    QTest::newRow("largest 16-bit") << 32767 << 14 << 2;
}

void TestPrintedWaveform::scaleFor()
{
    QFETCH(int, voltCount);
    QFETCH(int, labelTop);
    QFETCH(int, labelStep);
    const PrintedWaveform::Scale scale = PrintedWaveform::scaleFor(voltCount);
    QCOMPARE(scale.labelTop, labelTop);
    QCOMPARE(scale.labelStep, labelStep);
}

void TestPrintedWaveform::gain_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<int>("peakSample");
    QTest::addColumn<int>("gain");
    QTest::newRow("5000/128 = 39.0625") << 100 << 255 << 39;
    QTest::newRow("5000/100 = 50") << 50 << 227 << 50;
    QTest::newRow("3500/56 = 62.5 to even below") << 70 << 183 << 62;
    QTest::newRow("3500/40 = 87.5 to even above") << 70 << 167 << 88;
    QTest::newRow("6900/40 = 172.5, lower scale") << 69 << 167 << 172;
    QTest::newRow("5000/33 = 151.52 up") << 100 << 160 << 152;
    QTest::newRow("5000/73 = 68.49 down") << 100 << 200 << 68;
    QTest::newRow("6900/1 lower scale") << 69 << 128 << 6900;
    QTest::newRow("3500/1 upper scale") << 70 << 128 << 3500;
    QTest::newRow("0/-127") << 0 << 0 << 0;
    // A peak on the zero line cannot be scaled: flat.
    QTest::newRow("0/0") << 0 << 127 << 0;
    QTest::newRow("7300/0 dead energizer") << 73 << 127 << 0;
    QTest::newRow("largest/0") << 32767 << 127 << 0;
    // Peaks below the zero line mirror the trace; halves still go to the even neighbour.
    QTest::newRow("5000/-127 = -39.37") << 50 << 0 << -39;
    QTest::newRow("5000/-7 = -714.29") << 50 << 120 << -714;
    QTest::newRow("5000/-16 = -312.5 to even") << 100 << 111 << -312;
    QTest::newRow("3500/-40 = -87.5 to even") << 70 << 87 << -88;
    // Beyond what 16 bits held.
    QTest::newRow("5000/10 = 500") << 100 << 137 << 500;
    QTest::newRow("32800/128 = 256.25") << 656 << 255 << 256;
    QTest::newRow("35000/128 = 273.44") << 700 << 255 << 273;
    QTest::newRow("1638350/1") << 32767 << 128 << 1638350;
    QTest::newRow("-3276800/1") << -32768 << 128 << -3276800;
    QTest::newRow("stops at the largest")
        << std::numeric_limits<int>::max() << 128 << std::numeric_limits<int>::max();
    QTest::newRow("stops at the smallest")
        << std::numeric_limits<int>::min() << 128 << std::numeric_limits<int>::min();
}

void TestPrintedWaveform::gain()
{
    QFETCH(int, voltCount);
    QFETCH(int, peakSample);
    QFETCH(int, gain);
    QCOMPARE(PrintedWaveform::gain(voltCount, peakSample), gain);
}

void TestPrintedWaveform::fixedPartsInOrder()
{
    const QStringList log = plot(valuesWith(100, 127));
    const QStringList expected = {
        "bold 0",
        "font 10",
        // The voltage axis, then the time axis.
        "line 2000 4000 2000 13000 #000000",
        "line 2000 11000 12000 11000 #000000",
        // Voltage tick k, then time tick k.
        "line 2000 4000 1850 4000 #000000",
        "line 2000 11000 2000 11150 #000000",
        "line 2000 5000 1850 5000 #000000",
        "line 3000 11000 3000 11150 #000000",
        "line 2000 6000 1850 6000 #000000",
        "line 4000 11000 4000 11150 #000000",
        "line 2000 7000 1850 7000 #000000",
        "line 5000 11000 5000 11150 #000000",
        "line 2000 8000 1850 8000 #000000",
        "line 6000 11000 6000 11150 #000000",
        "line 2000 9000 1850 9000 #000000",
        "line 7000 11000 7000 11150 #000000",
        "line 2000 10000 1850 10000 #000000",
        "line 8000 11000 8000 11150 #000000",
        "line 2000 11000 1850 11000 #000000",
        "line 9000 11000 9000 11150 #000000",
        "line 2000 12000 1850 12000 #000000",
        "line 10000 11000 10000 11150 #000000",
        "line 2000 13000 1850 13000 #000000",
        "line 11000 11000 11000 11150 #000000",
        // Captions.
        "x 11000",
        "y 11400",
        QStringLiteral("text Time (\u00b5s)"),
        "x 1100",
        "y 3400",
        "text Volts(KV)",
        "x 6750",
        "y 11200",
        "text 200",
        "x 11750",
        "y 11200",
        "text 400",
        // Voltage labels, 10.0 kV: the upper scale.
        "x 1200",
        "y 4000",
        "text  14 ",
        "x 1200",
        "y 5000",
        "text  12 ",
        "x 1200",
        "y 6000",
        "text  10 ",
        "x 1200",
        "y 7000",
        "text  8 ",
        "x 1200",
        "y 8000",
        "text  6 ",
        "x 1200",
        "y 9000",
        "text  4 ",
        "x 1200",
        "y 10000",
        "text  2 ",
        "x 1200",
        "y 11000",
        "text  0 ",
        "x 1200",
        "y 12000",
        "text -2 ",
        "x 1200",
        "y 13000",
        "text -4 ",
    };
    QCOMPARE(expected.size(), FixedEntries);
    QCOMPARE(log.mid(0, FixedEntries), expected);

    // Then 200 marks, then 199 trace lines, and nothing else.
    QCOMPARE(log.size(), FixedEntries + 200 + 199);
    for (int i = 0; i < 200; ++i)
        QVERIFY2(log.at(FixedEntries + i).startsWith("box "), qPrintable(log.at(FixedEntries + i)));
    for (int i = 0; i < 199; ++i) {
        const QString &entry = log.at(FixedEntries + 200 + i);
        QVERIFY2(entry.startsWith("line ") && entry.endsWith(" #000000"), qPrintable(entry));
    }
}

void TestPrintedWaveform::voltageLabels_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<QStringList>("labels");
    const QStringList lower = {" 7 ", " 6 ", " 5 ", " 4 ", " 3 ",
                               " 2 ", " 1 ", " 0 ", "-1 ", "-2 "};
    const QStringList upper = {" 14 ", " 12 ", " 10 ", " 8 ", " 6 ",
                               " 4 ",  " 2 ",  " 0 ",  "-2 ", "-4 "};
    QTest::newRow("0 kV") << 0 << lower;
    QTest::newRow("6.9 kV") << 69 << lower;
    QTest::newRow("7.0 kV") << 70 << upper;
    QTest::newRow("70.0 kV") << 700 << upper;
    QTest::newRow("negative count") << -5 << lower;
}

void TestPrintedWaveform::voltageLabels()
{
    QFETCH(int, voltCount);
    QFETCH(QStringList, labels);
    RecordingSurface surface;
    PrintedWaveform::PrnPlot(surface, valuesWith(voltCount, 127), BoxTop, BoxLeft);

    // Four captions, then the ten labels, each level with its voltage tick; 0 on the time axis.
    const QList<RecordingSurface::PrintedText> &texts = surface.texts();
    QCOMPARE(texts.size(), 4 + 10);
    using Text = RecordingSurface::PrintedText;
    for (int k = 0; k < 10; ++k) {
        const Text expected{labels.at(k), QPointF(1200, 4000 + 1000 * k), std::nullopt, 10.0,
                            false};
        QCOMPARE(texts.at(4 + k), expected);
    }
    QCOMPARE(texts.at(4 + 7).position.y(), 11000.0);
}

void TestPrintedWaveform::chartFollowsTheBox_data()
{
    QTest::addColumn<int>("boxTop");
    QTest::addColumn<int>("boxLeft");
    QTest::addColumn<QStringList>("entries"); // at the given positions of the log
    QTest::addColumn<QList<QPointF>>("textPositions");

    // Positions: voltage axis, time axis, first ticks, first mark (a sample of 127), first line.
    QTest::newRow("page box") << 3000 << 1000
                              << QStringList{"line 2000 4000 2000 13000 #000000",
                                             "line 2000 11000 12000 11000 #000000",
                                             "line 2000 4000 1850 4000 #000000",
                                             "line 2000 11000 2000 11150 #000000",
                                             "box 2025 10975 2075 11025 #000000 outline",
                                             "line 2050 11000 2100 11000 #000000"}
                              << QList<QPointF>{{11000, 11400}, {1100, 3400}, {6750, 11200},
                                                {11750, 11200}, {1200, 4000}, {1200, 13000}};
    QTest::newRow("at the origin")
        << 0 << 0 << QStringList{"line 1000 1000 1000 10000 #000000",
                                 "line 1000 8000 11000 8000 #000000",
                                 "line 1000 1000 850 1000 #000000",
                                 "line 1000 8000 1000 8150 #000000",
                                 "box 1025 7975 1075 8025 #000000 outline",
                                 "line 1050 8000 1100 8000 #000000"}
        << QList<QPointF>{{10000, 8400}, {100, 400},  {5750, 8200},
                          {10750, 8200}, {200, 1000}, {200, 10000}};
    // Top and left differ, so swapping them shows.
    QTest::newRow("moved") << 500 << 2000 << QStringList{"line 3000 1500 3000 10500 #000000",
                                                         "line 3000 8500 13000 8500 #000000",
                                                         "line 3000 1500 2850 1500 #000000",
                                                         "line 3000 8500 3000 8650 #000000",
                                                         "box 3025 8475 3075 8525 #000000 outline",
                                                         "line 3050 8500 3100 8500 #000000"}
                           << QList<QPointF>{{12000, 8900}, {2100, 900},  {7750, 8700},
                                             {12750, 8700}, {2200, 1500}, {2200, 10500}};
}

void TestPrintedWaveform::chartFollowsTheBox()
{
    QFETCH(int, boxTop);
    QFETCH(int, boxLeft);
    QFETCH(QStringList, entries);
    QFETCH(QList<QPointF>, textPositions);

    RecordingSurface surface;
    PrintedWaveform::PrnPlot(surface, valuesWith(100, 127), boxTop, boxLeft);
    const QStringList &log = surface.log();
    const QStringList lines = surface.entries(u"line");
    const QStringList boxes = surface.entries(u"box");
    QCOMPARE(lines.at(0), entries.at(0));
    QCOMPARE(lines.at(1), entries.at(1));
    QCOMPARE(lines.at(2), entries.at(2));
    QCOMPARE(lines.at(3), entries.at(3));
    QCOMPARE(boxes.at(0), entries.at(4));
    QCOMPARE(log.at(FixedEntries + 200), entries.at(5));

    // The four captions, then the first and last voltage labels.
    const QList<RecordingSurface::PrintedText> &texts = surface.texts();
    const QList<QPointF> printed = {texts.at(0).position, texts.at(1).position,
                                    texts.at(2).position, texts.at(3).position,
                                    texts.at(4).position, texts.at(13).position};
    QCOMPARE(printed, textPositions);
}

void TestPrintedWaveform::sampleMark_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<int>("fill");      // every sample but the two below
    QTest::addColumn<int>("peakIndex"); // where the peak sample stands
    QTest::addColumn<int>("peak");
    QTest::addColumn<int>("index"); // the sample looked at
    QTest::addColumn<int>("sample");
    QTest::addColumn<qint64>("y"); // the centre of its mark

    // Gain 39.
    QTest::newRow("10.0 kV: 255") << 100 << 127 << 1 << 255 << 1 << 255 << qint64(6008);
    QTest::newRow("10.0 kV: 200") << 100 << 127 << 1 << 255 << 50 << 200 << qint64(8153);
    QTest::newRow("10.0 kV: 127") << 100 << 127 << 1 << 255 << 50 << 127 << qint64(11000);
    QTest::newRow("10.0 kV: 60") << 100 << 127 << 1 << 255 << 50 << 60 << qint64(13613);
    QTest::newRow("10.0 kV: 0") << 100 << 127 << 1 << 255 << 200 << 0 << qint64(15953);
    // Gain 50; the peak on the last sample counts.
    QTest::newRow("5.0 kV: 227") << 50 << 127 << 200 << 227 << 200 << 227 << qint64(6000);
    QTest::newRow("5.0 kV: 127") << 50 << 127 << 200 << 227 << 1 << 127 << qint64(11000);
    QTest::newRow("5.0 kV: 0") << 50 << 127 << 200 << 227 << 1 << 0 << qint64(17350);
    // Gains 62, 88 and 172, rounded half to even.
    QTest::newRow("7.0 kV: 183") << 70 << 127 << 100 << 183 << 100 << 183 << qint64(7528);
    QTest::newRow("7.0 kV: 167") << 70 << 127 << 100 << 167 << 100 << 167 << qint64(7480);
    QTest::newRow("6.9 kV: 167") << 69 << 127 << 100 << 167 << 100 << 167 << qint64(4120);
    // Gain 0.
    QTest::newRow("0 kV, all 0") << 0 << 0 << 1 << 0 << 100 << 0 << qint64(11000);
    QTest::newRow("dead energizer") << 73 << 127 << 1 << 127 << 100 << 127 << qint64(11000);
    QTest::newRow("dead at 0 kV") << 0 << 127 << 1 << 127 << 200 << 127 << qint64(11000);
    // Negative gains: mirrored above the axis.
    QTest::newRow("mirrored: all 0") << 50 << 0 << 1 << 0 << 100 << 0 << qint64(6047);
    QTest::newRow("mirrored: peak 120") << 50 << 100 << 1 << 120 << 1 << 120 << qint64(6002);
    QTest::newRow("mirrored: 100") << 50 << 100 << 1 << 120 << 2 << 100 << qint64(-8278);
    // Far off the page, drawn all the same: gain 500.
    QTest::newRow("gain 500: peak") << 100 << 127 << 100 << 137 << 100 << 137 << qint64(6000);
    QTest::newRow("gain 500: 84") << 100 << 127 << 100 << 137 << 5 << 84 << qint64(32500);
    QTest::newRow("gain 500: 83") << 100 << 127 << 100 << 137 << 5 << 83 << qint64(33000);
    QTest::newRow("gain 500: 0") << 100 << 127 << 100 << 137 << 200 << 0 << qint64(74500);
    // 70.0 kV: gain 273.
    QTest::newRow("70.0 kV: 255") << 700 << 127 << 1 << 255 << 1 << 255 << qint64(-23944);
    QTest::newRow("70.0 kV: 0") << 700 << 127 << 1 << 255 << 2 << 0 << qint64(45671);
    // The largest gains a 16-bit count gives.
    QTest::newRow("3276.7 kV: 128") << 32767 << 127 << 1 << 128 << 1 << 128 << qint64(-1627350);
    QTest::newRow("3276.7 kV: 0") << 32767 << 127 << 1 << 128 << 2 << 0 << qint64(208081450);
    QTest::newRow("-3276.8 kV: 0") << -32768 << 127 << 1 << 128 << 2 << 0 << qint64(-416142600);
}

void TestPrintedWaveform::sampleMark()
{
    QFETCH(int, voltCount);
    QFETCH(int, fill);
    QFETCH(int, peakIndex);
    QFETCH(int, peak);
    QFETCH(int, index);
    QFETCH(int, sample);
    QFETCH(qint64, y);

    ReportValues values = valuesWith(voltCount, fill);
    values.PrnData[peakIndex] = static_cast<std::int16_t>(peak);
    values.PrnData[index] = static_cast<std::int16_t>(sample);

    const QStringList log = plot(values);
    // The whole chart is drawn, however far the trace runs off the page.
    QCOMPARE(log.size(), FixedEntries + 200 + 199);
    const QStringList marks = log.mid(FixedEntries, 200);
    QCOMPARE(marks.at(index - 1), mark(index, y));
}

void TestPrintedWaveform::firstMarkOfTheWorkedExample()
{
    ReportValues values = valuesWith(100, 127);
    values.PrnData[1] = 255;
    QCOMPARE(plot(values).at(FixedEntries), "box 2025 5983 2075 6033 #000000 outline");
}

void TestPrintedWaveform::traceLine_data()
{
    QTest::addColumn<int>("number"); // 1..199, from sample number to sample number + 1
    QTest::addColumn<QString>("line");
    QTest::newRow("1: 255 to 200") << 1 << "line 2050 6008 2100 8153 #000000";
    QTest::newRow("2: 200 to 60") << 2 << "line 2100 8153 2150 13613 #000000";
    QTest::newRow("3: 60 to 127") << 3 << "line 2150 13613 2200 11000 #000000";
    QTest::newRow("100: on the axis") << 100 << "line 7000 11000 7050 11000 #000000";
    QTest::newRow("199: 127 to 0") << 199 << "line 11950 11000 12000 15953 #000000";
}

void TestPrintedWaveform::traceLine()
{
    QFETCH(int, number);
    QFETCH(QString, line);
    // 10.0 kV, gain 39.
    ReportValues values = valuesWith(100, 127);
    values.PrnData[1] = 255;
    values.PrnData[2] = 200;
    values.PrnData[3] = 60;
    values.PrnData[200] = 0;
    const QStringList trace = plot(values).mid(FixedEntries + 200);
    QCOMPARE(trace.size(), 199);
    QCOMPARE(trace.at(number - 1), line);
}

void TestPrintedWaveform::traceJoinsNeighbouringMarks()
{
    // Every sample different from its neighbours, so a line that skips or repeats one shows.
    ReportValues values = valuesWith(100, 127);
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>((i * 37) % 256);
    const QStringList log = plot(values);
    const QStringList marks = log.mid(FixedEntries, 200);
    const QStringList trace = log.mid(FixedEntries + 200);
    QCOMPARE(trace.size(), 199);

    // Marks step 50 to the right from x 2050 on, 50 × 50 each.
    for (int i = 0; i < 200; ++i) {
        const QStringList parts = marks.at(i).split(u' ');
        QCOMPARE(centreOf(marks.at(i)).x(), 2050.0 + 50 * i);
        QCOMPARE(parts.at(3).toDouble() - parts.at(1).toDouble(), 50.0);
        QCOMPARE(parts.at(4).toDouble() - parts.at(2).toDouble(), 50.0);
    }
    for (int i = 0; i < 199; ++i) {
        const QPointF from = centreOf(marks.at(i));
        const QPointF to = centreOf(marks.at(i + 1));
        QCOMPARE(trace.at(i), QStringLiteral("line %1 %2 %3 %4 #000000")
                                  .arg(from.x())
                                  .arg(from.y())
                                  .arg(to.x())
                                  .arg(to.y()));
    }
}

void TestPrintedWaveform::peakIgnoresElementsOutsideTheSamples()
{
    // Elements 0 and 201..500 are no samples: with them the peak would be 255 and the gain 39.
    ReportValues values = valuesWith(50, 127);
    values.PrnData[100] = 227;
    values.PrnData[0] = 255;
    values.PrnData[201] = 255;
    values.PrnData[500] = 255;
    const QStringList marks = plot(values).mid(FixedEntries, 200);
    QCOMPARE(marks.at(99), mark(100, 6000));
}

void TestPrintedWaveform::deadEnergizerLiesOnTheAxis()
{
    // Every sample on the zero line: no scale to find, but the chart is drawn whole and flat.
    const QStringList log = plot(valuesWith(73, 127));
    QCOMPARE(log.size(), FixedEntries + 200 + 199);
    const QStringList marks = log.mid(FixedEntries, 200);
    const QStringList trace = log.mid(FixedEntries + 200);
    for (int i = 1; i <= 200; ++i)
        QCOMPARE(marks.at(i - 1), mark(i, 11000));
    for (int i = 1; i <= 199; ++i) {
        const QStringList parts = trace.at(i - 1).split(u' ');
        QCOMPARE(parts.at(2), "11000");
        QCOMPARE(parts.at(4), "11000");
    }
    QCOMPARE(trace.last(), "line 11950 11000 12000 11000 #000000");
}

void TestPrintedWaveform::negativeGainMirrorsAboveTheAxis()
{
    // Every sample below the zero line, 5.0 kV: peak 0, gain 5000 / -127 = -39, so the samples
    // stand 4953 units above the axis instead of below it.
    const QStringList log = plot(valuesWith(50, 0));
    const QStringList marks = log.mid(FixedEntries, 200);
    const QStringList trace = log.mid(FixedEntries + 200);
    for (int i = 1; i <= 200; ++i)
        QCOMPARE(marks.at(i - 1), mark(i, 6047));
    QCOMPARE(trace.first(), "line 2050 6047 2100 6047 #000000");
    QCOMPARE(trace.last(), "line 11950 6047 12000 6047 #000000");
}

void TestPrintedWaveform::leavesBoldOffAndFontTen()
{
    RecordingSurface surface;
    surface.setBold(true);
    surface.setFontSize(12);
    surface.forget();
    PrintedWaveform::PrnPlot(surface, valuesWith(100, 200), BoxTop, BoxLeft);

    QCOMPARE(surface.entries(u"bold"), QStringList{"bold 0"});
    QCOMPARE(surface.entries(u"font"), QStringList{"font 10"});
    QCOMPARE(surface.entries(u"colour"), QStringList{}); // the printer's black
    QCOMPARE(surface.entries(u"size"), QStringList{});   // the page's scale stays
    QCOMPARE(surface.entries(u"clear"), QStringList{});
    QCOMPARE(surface.texts().size(), 14);
    for (const RecordingSurface::PrintedText &text : surface.texts()) {
        QVERIFY(text.bold == false);
        QVERIFY(text.fontSize == 10.0);
        QVERIFY(!text.colour.has_value());
    }
}

QTEST_APPLESS_MAIN(TestPrintedWaveform)
#include "tst_printedwaveform.moc"
