#include "DrawingSurface.h"
#include "MeasurementRecord.h"
#include "RecordingSurface.h"
#include "WaveformPlot.h"

#include <QTest>

#include <type_traits>

// plotSamples takes the samples exactly as the decoded record holds them.

namespace {
Measurement::Samples flat(std::int16_t value)
{
    Measurement::Samples samples{};
    samples.fill(value);
    samples[0] = 0;
    return samples;
}
} // namespace

class TestWaveformPlot : public QObject
{
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void printNumberPrintsTheNumberText();
    void captions();
    void sampleBox_data();
    void sampleBox();
    void twoHundredYellowBoxesInOrder();
    void sampleZeroIsNotDrawn();
    void plotDrawsNothingButBoxes();
    void recordingKeepsTextState();
};

void TestWaveformPlot::numberText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("positive") << 14 << " 14 ";
    QTest::newRow("zero") << 0 << " 0 ";
    QTest::newRow("negative") << -2 << "-2 ";
    QTest::newRow("one") << 1 << " 1 ";
    QTest::newRow("minus one") << -1 << "-1 ";
    QTest::newRow("smallest") << -32768 << "-32768 ";
    QTest::newRow("largest") << 32767 << " 32767 ";
}

void TestWaveformPlot::numberText()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(DrawingSurface::numberText(static_cast<std::int16_t>(value)), text);
}

void TestWaveformPlot::printNumberPrintsTheNumberText()
{
    RecordingSurface surface;
    surface.setCurrentX(1200);
    surface.setCurrentY(4000);
    surface.printNumber(-4);
    surface.printNumber(14);
    QCOMPARE(surface.log(), QStringList({"x 1200", "y 4000", "text -4 ", "text  14 "}));
    QCOMPARE(surface.texts().at(0).position, QPointF(1200, 4000));
}

void TestWaveformPlot::captions()
{
    RecordingSurface surface;
    WaveformPlot::drawAxisCaptions(surface);
    const QStringList expected = {
        "size 12500 12500",
        "colour #00ffff",
        "x 10000",
        "y 9500",
        QStringLiteral("text Time (\u00b5s)"), // the micro sign
        "x 500",
        "y 450",
        "text Volts",
    };
    QCOMPARE(surface.log(), expected);

    // Both are cyan, at their top-left corners.
    QCOMPARE(surface.texts().size(), 2);
    QCOMPARE(surface.texts().at(0).position, QPointF(10000, 9500));
    QCOMPARE(surface.texts().at(1).position, QPointF(500, 450));
    for (const auto &text : surface.texts())
        QCOMPARE(text.colour, QColor(0, 255, 255));
}

void TestWaveformPlot::sampleBox_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("sample");
    QTest::addColumn<QString>("box");
    // The zero line: the box sits on the x-axis.
    QTest::newRow("127 is y 9000") << 1 << 127 << "box 1530 8985 1570 9015 #ffff00 filled";
    QTest::newRow("255 is y 1064") << 1 << 255 << "box 1530 1049 1570 1079 #ffff00 filled";
    QTest::newRow("87 is y 11480") << 1 << 87 << "box 1530 11465 1570 11495 #ffff00 filled";
    // Below the area: drawn all the same, and clipped.
    QTest::newRow("0 is y 16874") << 1 << 0 << "box 1530 16859 1570 16889 #ffff00 filled";
    QTest::newRow("70 is just below") << 1 << 70 << "box 1530 12519 1570 12549 #ffff00 filled";
    QTest::newRow("128 one count up") << 1 << 128 << "box 1530 8923 1570 8953 #ffff00 filled";
    QTest::newRow("sample 2") << 2 << 127 << "box 1580 8985 1620 9015 #ffff00 filled";
    QTest::newRow("sample 100") << 100 << 200 << "box 6480 4459 6520 4489 #ffff00 filled";
    // The last sample ends the x-axis at 11500.
    QTest::newRow("sample 200") << 200 << 127 << "box 11480 8985 11520 9015 #ffff00 filled";
    // Values no record carries must still not wrap around in 16 bits.
    QTest::newRow("32767 no wrap")
        << 1 << 32767 << "box 1530 -2014695 1570 -2014665 #ffff00 filled";
    QTest::newRow("-32768 no wrap")
        << 1 << -32768 << "box 1530 2048475 1570 2048505 #ffff00 filled";
}

void TestWaveformPlot::sampleBox()
{
    QFETCH(int, index);
    QFETCH(int, sample);
    QFETCH(QString, box);
    Measurement::Samples samples = flat(127);
    samples[index] = static_cast<std::int16_t>(sample);
    RecordingSurface surface;
    WaveformPlot::plotSamples(surface, samples);
    const QStringList boxes = surface.entries(u"box");
    QCOMPARE(boxes.size(), 200);
    QCOMPARE(boxes.at(index - 1), box);
}

void TestWaveformPlot::twoHundredYellowBoxesInOrder()
{
    // A ramp, so that every box differs from its neighbours.
    Measurement::Samples samples{};
    for (int i = 1; i <= 200; ++i)
        samples[i] = static_cast<std::int16_t>(i + 40);
    RecordingSurface surface;
    WaveformPlot::plotSamples(surface, samples);

    const QStringList boxes = surface.log();
    QCOMPARE(boxes.size(), 200);
    for (int i = 1; i <= 200; ++i) {
        const int x = 1500 + 50 * i;
        const int y = 9000 - (i + 40 - 127) * 62;
        const QString expected = QStringLiteral("box %1 %2 %3 %4 #ffff00 filled")
                                     .arg(x - 20)
                                     .arg(y - 15)
                                     .arg(x + 20)
                                     .arg(y + 15);
        QCOMPARE(boxes.at(i - 1), expected);
    }
}

void TestWaveformPlot::sampleZeroIsNotDrawn()
{
    Measurement::Samples samples = flat(127);
    samples[0] = 255;
    RecordingSurface surface;
    WaveformPlot::plotSamples(surface, samples);
    QVERIFY(!surface.log().contains("box 1480 1049 1520 1079 #ffff00 filled"));
    QCOMPARE(surface.log().first(), "box 1530 8985 1570 9015 #ffff00 filled");
}

void TestWaveformPlot::plotDrawsNothingButBoxes()
{
    // It neither clears (the caller does) nor touches the scale or the text state.
    RecordingSurface surface;
    WaveformPlot::plotSamples(surface, flat(127));
    QCOMPARE(surface.entries(u"box").size(), surface.log().size());
}

void TestWaveformPlot::recordingKeepsTextState()
{
    // The recording surface keeps with each text the state that it was printed in.
    RecordingSurface surface;
    surface.printText("plain");
    surface.setBold(true);
    surface.setFontSize(20);
    surface.setCurrentX(2500);
    surface.setCurrentY(1000);
    surface.printText("HEADING");
    surface.clear();
    surface.printText("after clear");

    using Text = RecordingSurface::PrintedText;
    const QList<Text> expected = {
        Text{"plain", QPointF(0, 0), std::nullopt, std::nullopt, std::nullopt},
        Text{"HEADING", QPointF(2500, 1000), std::nullopt, 20.0, true},
        Text{"after clear", QPointF(0, 0), std::nullopt, 20.0, true},
    };
    QCOMPARE(surface.texts(), expected);
    QCOMPARE(surface.entries(u"bold"), QStringList{"bold 1"});
    QCOMPARE(surface.entries(u"clear"), QStringList{"clear"});
}

QTEST_APPLESS_MAIN(TestWaveformPlot)
#include "tst_waveformplot.moc"
