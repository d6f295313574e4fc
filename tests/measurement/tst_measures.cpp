#include "LimitCheck.h"
#include "PulseMeasures.h"

#include <QTest>

namespace {
// The 200 samples as codes above the zero line (sample i at index i - 1): quiet up to sample a,
// a straight rise over k samples (each H / k higher) to the peak H at sample p = a + k, then a
// fall in which each sample is the one before divided by q, down to the zero line.
QList<int> pulse(int a, int k, int h, int q)
{
    QList<int> codes(Measurement::SampleCount, 0);
    for (int i = a + 1; i <= a + k; ++i)
        codes[i - 1] = h * (i - a) / k;
    for (int i = a + k + 1; i <= Measurement::SampleCount; ++i)
        codes[i - 1] = codes[i - 2] / q;
    return codes;
}

QList<int> with(QList<int> codes, std::initializer_list<std::pair<int, int>> samples)
{
    for (const auto &[i, code] : samples)
        codes[i - 1] = code;
    return codes;
}

Measurement measurement(const QList<int> &codes, int voltCount, int load, int energy = 0)
{
    Measurement m{.voltCount = voltCount, .energyCount = energy, .loadOhms = load};
    for (int i = 1; i <= Measurement::SampleCount; ++i)
        m.samples[i] = std::int16_t(Measurement::ZeroLine + codes[i - 1]);
    return m;
}

QString text(const Measure &measure)
{
    return measure.value ? QString::number(*measure.value, 'g', 6)
                         : QString::fromStdString(measure.whyNone);
}

const QString Flat = u"flat record: no pulse"_qs, NoLoad = u"no load connected"_qs,
              Before = u"the pulse starts before the record"_qs,
              Past = u"the pulse runs past the 400 µs the meter records"_qs,
              Cut = u"the pulse is cut off: part of its energy is not in the record"_qs,
              Quick = u"the rise is quicker than one sample step (2 µs)"_qs,
              Spike = u"a single-sample spike: narrower than the samples can show"_qs;
} // namespace

class TestMeasures : public QObject
{
    Q_OBJECT

private slots:
    // The known answers. On the straight rise the line between two samples is the rise itself,
    // so the level f·H is crossed at sample a + f·k: the 10 % to 90 % rise takes 0.8·k samples,
    // 1.6·k µs, and 50 % is passed upwards at a + k/2. On the fall, 50 % lies between the peak H
    // and H/q; for q = 2 sample p + 1 is at the level, not below it, so the crossing is sample
    // p + 1 itself: width 2·(k/2 + 1) µs; for q = 3 it is 3/4 of the way (H/2 of 2H/3) from p to
    // p + 1: width 2·(k + 3/4 − k/2) µs. With H = q^N the codes are whole numbers and
    //   Σ c² = H²·[Σ m² / k² (m = 1..k) + Σ q^(-2n) (n = 1..N)]
    //        = H²·[(k + 1)(2k + 1) / 6k + (1 − q^(-2N)) / (q² − 1)],
    // and with P = H/10 kV every code is 100 V: E = 10⁴ V²·Σ c² / R · 2 µs.
    //   a = 10, k = 4, H = 128, q = 2: p = 14, 28 µs; rise 6.4 µs; width 6 µs;
    //     Σ c² = 16384·45/24 + (16384 − 1)/3 = 30720 + 5461 = 36181; R = 500: 1.44724 J, 25.6 A.
    //   a = 20, k = 3, H = 81, q = 3: p = 23, 46 µs; rise 4.8 µs; width 4.5 µs;
    //     Σ c² = 6561·28/18 + (6561 − 1)/8 = 10206 + 820 = 11026; R = 100: 2.2052 J, 81 A.
    //   a = 10, k = 1, H = 128, q = 2: p = 11, 22 µs; 50 % up at 10.5, down at 12: width 3 µs;
    //     Σ c² = 16384 + 5461 = 21845; R = 500: 0.8738 J.
    // A spike of H codes alone at 100 V per code: E = (10⁴·H²) V² / R · 2 µs.
    void testMeasuresOfAPulse_data()
    {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<int>("voltCount");
        QTest::addColumn<int>("load");
        // peak time, rise time, width at 50 %, peak current, energy, cut off
        QTest::addColumn<QStringList>("expected");
        const QList<int> a = pulse(10, 4, 128, 2), spike = with(QList<int>(200), {{100, 120}});
        QTest::newRow("rise over 4, halving")
            << a << 128 << 500 << QStringList{"28", "6.4", "6", "25.6", "1.44724", "no"};
        QTest::newRow("rise over 3, thirds")
            << pulse(20, 3, 81, 3) << 81 << 100
            << QStringList{"46", "4.8", "4.5", "81", "2.2052", "no"};
        QTest::newRow("rise within one step")
            << pulse(10, 1, 128, 2) << 128 << 500
            << QStringList{"22", Quick, "3", "25.6", "0.8738", "no"};
        QTest::newRow("no load") << a << 128 << 0
                                 << QStringList{"28", "6.4", "6", NoLoad, NoLoad, "no"};
        QTest::newRow("flat") << QList<int>(200) << 73 << 500
                              << QStringList{Flat, Flat, Flat, Flat, Flat, "no"};
        const QString below = u"no pulse above the zero line"_qs;
        for (const auto &[name, codes] :
             {std::pair("all below", QList<int>(200, -10)),
              std::pair("below, some at zero", with(QList<int>(200, -9), {{7, 0}}))})
            QTest::newRow(name) << codes << 73 << 500
                                << QStringList{below, below, below, below, below, "no"};
        const QString noVolts = u"the meter measured no peak voltage"_qs;
        QTest::newRow("peak voltage 0")
            << a << 0 << 500 << QStringList{noVolts, noVolts, noVolts, noVolts, noVolts, "no"};
        QTest::newRow("spike") << spike << 120 << 500
                               << QStringList{"200", Quick, Spike, "24", "0.576", "no"};
        QTest::newRow("peak at sample 1")
            << pulse(0, 1, 128, 2) << 128 << 500
            << QStringList{
                   u"the peak is the record's first sample: the pulse may peak before it"_qs,
                   Before,
                   Before,
                   "25.6",
                   Cut,
                   "yes"};
        const QString last =
            u"the peak is the record's last sample: the pulse may rise after it"_qs;
        QTest::newRow("peak at sample 200") << pulse(196, 4, 128, 2) << 128 << 500
                                            << QStringList{last, last, Past, "25.6", Cut, "yes"};
        QTest::newRow("stays high to the end")
            << pulse(100, 4, 128, 1) << 128 << 500
            << QStringList{"208", "6.4", Past, "25.6", Cut, "yes"};
        QTest::newRow("high from the start, falls below 50 %")
            << QList<int>(10, 20) + a.sliced(10) << 128 << 500
            << QStringList{"28", Before, "6", "25.6", Cut, "yes"};
        QTest::newRow("start above 10 %, rise recorded")
            << with(a, {{1, 13}}) << 128 << 500
            << QStringList{"28", "6.4", "6", "25.6", Cut, "yes"};
        QTest::newRow("end above 10 %") << with(a, {{200, 13}}) << 128 << 500
                                        << QStringList{"28", "6.4", "6", "25.6", Cut, "yes"};
        // 10 % of 120 codes is 12: the first sample cuts off at it, the last only above it.
        QTest::newRow("start at 10 %") << with(spike, {{1, 12}}) << 120 << 500
                                       << QStringList{"200", Quick, Spike, "24", Cut, "yes"};
        QTest::newRow("start under 10 %")
            << with(spike, {{1, 11}}) << 120 << 500
            << QStringList{"200", Quick, Spike, "24", "0.58084", "no"};
        QTest::newRow("end at -10 %") << with(spike, {{200, -12}}) << 120 << 500
                                      << QStringList{"200", Quick, Spike, "24", "0.58176", "no"};
        QTest::newRow("end under -10 %") << with(spike, {{200, -13}}) << 120 << 500
                                         << QStringList{"200", Quick, Spike, "24", Cut, "yes"};
    }
    void testMeasuresOfAPulse()
    {
        QFETCH(QList<int>, codes);
        QFETCH(int, voltCount);
        QFETCH(int, load);
        QFETCH(QStringList, expected);
        const PulseMeasures measures = measurePulse(measurement(codes, voltCount, load));
        QCOMPARE(text(measures.peakTimeUs), expected[0]);
        QCOMPARE(text(measures.riseTimeUs), expected[1]);
        QCOMPARE(text(measures.widthAt50Us), expected[2]);
        QCOMPARE(text(measures.peakCurrentA), expected[3]);
        QCOMPARE(text(measures.energyFromSamplesJ), expected[4]);
        QCOMPARE(measures.cutOff ? "yes" : "no", expected[5]);
    }

    // The energy from the samples (1.44724 J, above) beside the meter's, in % of the meter's.
    void testEnergyDifference_data()
    {
        QTest::addColumn<int>("load");
        QTest::addColumn<int>("meterTenths");
        QTest::addColumn<QString>("percent");
        QTest::newRow("meter 1.5 J") << 500 << 15 << u"-3.51733"_qs;
        QTest::newRow("meter 1.2 J") << 500 << 12 << u"20.6033"_qs;
        QTest::newRow("meter 0 J") << 500 << 0 << QString();
        QTest::newRow("no load") << 0 << 15 << QString();
    }
    void testEnergyDifference()
    {
        QFETCH(int, load);
        QFETCH(int, meterTenths);
        QFETCH(QString, percent);
        const Measurement m = measurement(pulse(10, 4, 128, 2), 128, load, meterTenths);
        const std::optional<double> difference = energyDifferencePercent(measurePulse(m), m);
        QCOMPARE(difference ? QString::number(*difference, 'g', 6) : QString(), percent);
    }

    // The meter's counts against the built-in profile (5.0 J for 50 to 500 Ohms, 1000 ms,
    // 10000 µs), exactly at and just past each limit; and against a tighter energy limit.
    void testVerdicts_data()
    {
        QTest::addColumn<double>("energyMaxJ");
        QTest::addColumn<double>("loadMinOhms");
        QTest::addColumn<QList<int>>("counts"); // energy tenths, interval, pulse width, load
        QTest::addColumn<QString>("verdicts");  // energy, interval, pulse width
        QTest::newRow("at the limits, lowest load")
            << 5.0 << 50.0 << QList{50, 1000, 10000, 50} << "pass pass pass";
        QTest::newRow("past the limits, highest load")
            << 5.0 << 50.0 << QList{51, 999, 10001, 500} << "fail fail fail";
        QTest::newRow("nothing measured") << 5.0 << 50.0 << QList{0, 0, 0, 100} << "pass fail pass";
        QTest::newRow("no load") << 5.0 << 50.0 << QList{99, 5000, 60, 0} << "n/a pass pass";
        QTest::newRow("no load, range from 0")
            << 5.0 << 0.0 << QList{0, 5000, 60, 0} << "n/a pass pass";
        QTest::newRow("load under the range")
            << 5.0 << 50.0 << QList{99, 5000, 60, 49} << "n/a pass pass";
        QTest::newRow("load over the range")
            << 5.0 << 50.0 << QList{99, 5000, 60, 501} << "n/a pass pass";
        QTest::newRow("0.3 J at 0.3 J")
            << 0.3 << 50.0 << QList{3, 1000, 60, 100} << "pass pass pass";
        QTest::newRow("0.4 J at 0.3 J")
            << 0.3 << 50.0 << QList{4, 1000, 60, 100} << "fail pass pass";
        QTest::newRow("4.9 J at 4.95 J")
            << 4.95 << 50.0 << QList{49, 1000, 60, 100} << "pass pass pass";
        QTest::newRow("5.0 J at 4.95 J")
            << 4.95 << 50.0 << QList{50, 1000, 60, 100} << "fail pass pass";
    }
    void testVerdicts()
    {
        QFETCH(double, energyMaxJ);
        QFETCH(double, loadMinOhms);
        QFETCH(QList<int>, counts);
        QFETCH(QString, verdicts);
        LimitProfile profile = builtInLimitProfile();
        profile.energyMaxJ = energyMaxJ;
        profile.loadMinOhms = loadMinOhms;
        const Measurement m{.intervalCount = counts[1],
                            .pulseWidth = counts[2],
                            .energyCount = counts[0],
                            .loadOhms = counts[3]};
        const LimitCheck::Verdicts v = LimitCheck::check(m, profile);
        QCOMPARE(
            QStringList({LimitCheck::verdictText(v.energy), LimitCheck::verdictText(v.interval),
                         LimitCheck::verdictText(v.pulseWidth)})
                .join(' '),
            verdicts);
    }

    void testBuiltInProfileAndWords()
    {
        const LimitProfile builtIn{
            "Energizer safety limits (indicative)", 5.0, 1000, 10000, 50, 500};
        QCOMPARE(builtInLimitProfile(), builtIn);
        QCOMPARE(LimitCheck::Caveat, "Indicative check, not a type test");
    }
};

QTEST_APPLESS_MAIN(TestMeasures)
#include "tst_measures.moc"
