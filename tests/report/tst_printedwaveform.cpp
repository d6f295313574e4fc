#include "PrintedWaveform.h"
#include "RecordingSurface.h"
#include "ReportValues.h"

#include <QTest>

#include <cstdint>
#include <limits>

namespace {

// Entries before the sample marks: bold, font, 2 axes, 20 ticks, 4 captions and 10 labels with
// their x and y.
constexpr int FixedEntries = 2 + 2 + 20 + 14 * 3;
// The whole chart: then 200 marks and 199 trace lines.
constexpr int AllEntries = FixedEntries + 200 + 199;

ReportValues valuesWith(int voltCount, int fill)
{
    ReportValues values;
    values.PrnVoltCount = static_cast<std::int16_t>(voltCount);
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>(fill);
    return values;
}

QStringList plot(const ReportValues &values, int boxTop = 3000, int boxLeft = 1000)
{
    RecordingSurface surface;
    PrintedWaveform::PrnPlot(surface, values, boxTop, boxLeft);
    return surface.log();
}

QString line(QPointF from, QPointF to)
{
    const auto n = &RecordingSurface::number;
    return u"line %1 %2 %3 %4 #000000"_qs.arg(n(from.x()), n(from.y()), n(to.x()), n(to.y()));
}

// The mark of sample `index` of the chart in the page's frame box, its centre at height y.
QString mark(int index, qint64 y)
{
    const int x = 2000 + 50 * index;
    return u"box %1 %2 %3 %4 #000000 outline"_qs.arg(x - 25).arg(y - 25).arg(x + 25).arg(y + 25);
}

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
    void gain_data();
    void gain();
    void fixedParts_data();
    void fixedParts();
    void sampleMark_data();
    void sampleMark();
    void traceJoinsNeighbouringMarks();
};

void TestPrintedWaveform::gain_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<int>("peakSample");
    QTest::addColumn<int>("gain");
    QTest::newRow("5000/128 = 39.06 down") << 100 << 255 << 39;
    QTest::newRow("5000/33 = 151.52 up") << 100 << 160 << 152;
    QTest::newRow("3500/56 = 62.5 to even below") << 70 << 183 << 62;
    QTest::newRow("3500/40 = 87.5 to even above") << 70 << 167 << 88;
    QTest::newRow("6900/40 = 172.5, 7 kV scale") << 69 << 167 << 172;
    QTest::newRow("5000/-16 = -312.5 to even") << 100 << 111 << -312;
    QTest::newRow("3500/-40 = -87.5 to even") << 70 << 87 << -88;
    // A peak on the zero line cannot be scaled: the trace lies flat.
    QTest::newRow("7300/0 dead energizer") << 73 << 127 << 0;
    QTest::newRow("1638350/1, beyond 16 bits") << 32767 << 128 << 1638350;
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

void TestPrintedWaveform::fixedParts_data()
{
    QTest::addColumn<int>("boxTop");
    QTest::addColumn<int>("boxLeft");
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<QStringList>("labels");
    const QStringList upper = {" 14 ", " 12 ", " 10 ", " 8 ", " 6 ",
                               " 4 ",  " 2 ",  " 0 ",  "-2 ", "-4 "};
    const QStringList lower = {" 7 ", " 6 ", " 5 ", " 4 ", " 3 ",
                               " 2 ", " 1 ", " 0 ", "-1 ", "-2 "};
    QTest::newRow("page box, 10.0 kV") << 3000 << 1000 << 100 << upper;
    QTest::newRow("at the origin, 6.9 kV") << 0 << 0 << 69 << lower;
    QTest::newRow("moved, 7.0 kV") << 500 << 2000 << 70 << upper; // top and left differ
}

void TestPrintedWaveform::fixedParts()
{
    QFETCH(int, boxTop);
    QFETCH(int, boxLeft);
    QFETCH(int, voltCount);
    QFETCH(QStringList, labels);
    const auto at = [&](int dx, int dy) { return QPointF(boxLeft + dx, boxTop + dy); };

    // Bold off and 10 points for all the chart's texts, in the printer's black; the axes.
    QStringList expected = {u"bold 0"_qs, u"font 10"_qs, line(at(1000, 1000), at(1000, 10000)),
                            line(at(1000, 8000), at(11000, 8000))};
    // Voltage tick k pointing left, then time tick k pointing down; none at the time axis' end.
    for (int k = 0; k < 10; ++k)
        expected << line(at(1000, 1000 + 1000 * k), at(850, 1000 + 1000 * k))
                 << line(at(1000 + 1000 * k, 8000), at(1000 + 1000 * k, 8150));
    const auto text = [&](int dx, int dy, const QString &t) {
        expected << u"x "_qs + RecordingSurface::number(at(dx, dy).x())
                 << u"y "_qs + RecordingSurface::number(at(dx, dy).y()) << u"text "_qs + t;
    };
    text(10000, 8400, u"Time (\u00b5s)"_qs);
    text(100, 400, u"Volts(KV)"_qs);
    text(5750, 8200, u"200"_qs); // under sample 100
    text(10750, 8200, u"400"_qs);
    // Voltage labels level with the ticks; 0 on the time axis.
    for (int k = 0; k < 10; ++k)
        text(200, 1000 + 1000 * k, labels.at(k));

    const QStringList log = plot(valuesWith(voltCount, 127), boxTop, boxLeft);
    QCOMPARE(log.mid(0, FixedEntries), expected);
    // Then the marks and the trace, and nothing else: no colour, size or font changes.
    QCOMPARE(log.size(), AllEntries);
    for (int i = FixedEntries; i < AllEntries; ++i)
        QVERIFY2(log.at(i).startsWith(i < FixedEntries + 200 ? u"box "_qs : u"line "_qs),
                 qPrintable(log.at(i)));
}

void TestPrintedWaveform::sampleMark_data()
{
    QTest::addColumn<int>("voltCount");
    QTest::addColumn<int>("fill");      // every element 1..200 but the two below
    QTest::addColumn<int>("peakIndex"); // where the peak stands (0 and 201 are no samples)
    QTest::addColumn<int>("peak");
    QTest::addColumn<int>("index"); // the sample looked at
    QTest::addColumn<int>("sample");
    QTest::addColumn<qint64>("y"); // the centre of its mark

    QTest::newRow("gain 39: peak") << 100 << 127 << 1 << 255 << 1 << 255 << qint64(6008);
    QTest::newRow("gain 39: 0") << 100 << 127 << 1 << 255 << 200 << 0 << qint64(15953);
    QTest::newRow("gain 50: peak last") << 50 << 127 << 200 << 227 << 200 << 227 << qint64(6000);
    QTest::newRow("element 0 is no sample") << 50 << 127 << 0 << 255 << 100 << 227 << qint64(6000);
    QTest::newRow("nor is 201") << 50 << 127 << 201 << 255 << 100 << 227 << qint64(6000);
    // Gain 0: also a sample below the zero line lies on the axis.
    QTest::newRow("dead energizer") << 73 << 127 << 1 << 127 << 100 << 0 << qint64(11000);
    // The peak below the zero line: gain 5000 / -127 = -39 mirrors the trace above the axis.
    QTest::newRow("all below the axis") << 50 << 0 << 1 << 0 << 100 << 0 << qint64(6047);
    // Far off the page, drawn all the same.
    QTest::newRow("gain 500: 0") << 100 << 127 << 100 << 137 << 200 << 0 << qint64(74500);
    QTest::newRow("gain 1638350: 0") << 32767 << 127 << 1 << 128 << 2 << 0 << qint64(208081450);
    QTest::newRow("gain -3276800: 0") << -32768 << 127 << 1 << 128 << 2 << 0 << qint64(-416142600);
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
    QCOMPARE(log.size(), AllEntries);
    QCOMPARE(log.at(FixedEntries + index - 1), mark(index, y));
}

void TestPrintedWaveform::traceJoinsNeighbouringMarks()
{
    // Every sample different from its neighbours, so a line that skips or repeats one shows.
    ReportValues values = valuesWith(100, 127);
    for (int i = 1; i <= 200; ++i)
        values.PrnData[i] = static_cast<std::int16_t>((i * 37) % 256);
    const QStringList log = plot(values);
    QCOMPARE(log.size(), AllEntries);
    for (int i = 0; i < 199; ++i) {
        const QPointF from = centreOf(log.at(FixedEntries + i));
        QCOMPARE(from.x(), 2050.0 + 50 * i);
        QCOMPARE(log.at(FixedEntries + 200 + i),
                 line(from, centreOf(log.at(FixedEntries + i + 1))));
    }
}

QTEST_APPLESS_MAIN(TestPrintedWaveform)
#include "tst_printedwaveform.moc"
