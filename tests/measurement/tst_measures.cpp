#include "Golden.h"
#include "LimitCheck.h"
#include "PulseMeasures.h"
#include "SyntheticPulses.h"

namespace {
QString text(const Measure &measure)
{
    return measure.value ? QString::number(*measure.value, 'g', 6)
                         : QString::fromStdString(measure.whyNone);
}
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
    // A spike of 120 codes at 12 kV (100 V a code) alone: 24 A, 1.44·10⁸ V² / 500 Ω · 2 µs =
    // 0.576 J; with a sample of 11 or -12 codes more: 0.58084 J or 0.58176 J. Each beside the
    // meter's 1.5 J: (E − 1.5 J) / 1.5 J · 100 %.
    // Each pulse's line: peak time | rise time | width at 50 % | peak current | energy from the
    // samples | its difference to the meter's 1.5 J in % | cut off; the known answers above, and
    // reviewed lines for the pulses the samples cannot give every measure of (in tests/data).
    void testMeasuresOfPulses()
    {
        const QList<int> a = pulse(10, 4, 128, 2), spike = with(QList<int>(200), 100, 120);
        QStringList lines;
        for (const auto &[name, codes, voltCount, load] :
             {std::tuple("rise over 4, halving", a, 128, 500),
              {"rise over 3, thirds", pulse(20, 3, 81, 3), 81, 100},
              {"rise within a step", pulse(10, 1, 128, 2), 128, 500},
              {"spike", spike, 120, 500},
              {"no load", a, 128, 0},
              {"flat", QList<int>(200), 73, 500},
              {"all below", QList<int>(200, -10), 73, 500},
              {"below, one at 0", with(QList<int>(200, -9), 7, 0), 73, 500},
              {"no peak voltage", a, 0, 500},
              {"peak at sample 1", pulse(0, 1, 128, 2), 128, 500},
              {"peak at sample 200", pulse(196, 4, 128, 2), 128, 500},
              {"stays high", pulse(100, 4, 128, 1), 128, 500},
              {"high from the start", QList<int>(10, 20) + a.sliced(10), 128, 500},
              {"start over 10 %, rise kept", with(a, 1, 13), 128, 500},
              // 10 % of 120 codes is 12: the first sample cuts off at it, the last only beyond it.
              {"start at 10 %", with(spike, 1, 12), 120, 500},
              {"start under 10 %", with(spike, 1, 11), 120, 500},
              {"end at -10 %", with(spike, 200, -12), 120, 500},
              {"end beyond -10 %", with(spike, 200, -13), 120, 500}}) {
            const Measurement record = measurement(codes, voltCount, load);
            const PulseMeasures m = measurePulse(record);
            const std::optional<double> difference = energyDifferencePercent(m, record);
            lines << QString(name) + ": " + text(m.peakTimeUs) + " | " + text(m.riseTimeUs) +
                         " | " + text(m.widthAt50Us) + " | " + text(m.peakCurrentA) + " | " +
                         text(m.energyFromSamplesJ) + " | " +
                         (difference ? QString::number(*difference, 'g', 6) : u"-"_qs) +
                         (m.cutOff ? " | cut off" : " | -");
        }
        QCOMPARE(lines[0],
                 u"rise over 4, halving: 28 | 6.4 | 6 | 25.6 | 1.44724 | -3.51733 | -"_qs);
        QCOMPARE(lines[1], u"rise over 3, thirds: 46 | 4.8 | 4.5 | 81 | 2.2052 | 47.0133 | -"_qs);
        QCOMPARE(lines[2].section(" | ", 2), u"3 | 25.6 | 0.8738 | -41.7467 | -"_qs);
        QCOMPARE(lines[3].section(" | ", 3), u"24 | 0.576 | -61.6 | -"_qs);
        QCOMPARE(lines[15].section(" | ", 4, 4), u"0.58084"_qs);
        QCOMPARE(lines[16].section(" | ", 4, 4), u"0.58176"_qs);
        const Measurement noMeterEnergy = measurement(a, 128, 500, 0);
        QCOMPARE(energyDifferencePercent(measurePulse(noMeterEnergy), noMeterEnergy), std::nullopt);
        QCOMPARE_GOLDEN("pulse-measures.txt", lines);
    }

    // The meter's counts against the built-in profile (5.0 J for 50 to 500 Ohms, 1000 ms,
    // 10000 µs), exactly at and just past each limit, and against other energy and load limits:
    // energyMaxJ loadMinOhms, energy (tenths) interval pulse width load | the three verdicts.
    void testVerdicts()
    {
        for (const QString row :
             {"5 50 50 1000 10000 50|pass pass pass", "5 50 51 999 10001 500|fail fail fail",
              "5 50 0 0 0 100|pass fail pass", "5 0 0 5000 60 0|n/a pass pass",
              "5 50 99 5000 60 49|n/a pass pass", "5 50 99 5000 60 501|n/a pass pass",
              "0.3 50 3 1000 60 100|pass pass pass", "0.3 50 4 1000 60 100|fail pass pass",
              "4.95 50 49 1000 60 100|pass pass pass", "4.95 50 50 1000 60 100|fail pass pass"}) {
            const QStringList n = row.section('|', 0, 0).split(' ');
            LimitProfile limits = builtInLimitProfile();
            limits.energyMaxJ = n[0].toDouble();
            limits.loadMinOhms = n[1].toDouble();
            const Measurement m{.intervalCount = n[3].toInt(),
                                .pulseWidth = n[4].toInt(),
                                .energyCount = n[2].toInt(),
                                .loadOhms = n[5].toInt()};
            const auto [energy, interval, width] = LimitCheck::check(m, limits);
            QCOMPARE(
                QStringList({LimitCheck::verdictText(energy), LimitCheck::verdictText(interval),
                             LimitCheck::verdictText(width)})
                    .join(' '),
                row.section('|', 1));
        }
    }

    void testBuiltInProfileAndWords()
    {
        QCOMPARE(builtInLimitProfile(),
                 (LimitProfile{"Energizer safety limits (indicative)", 5.0, 1000, 10000, 50, 500}));
        QCOMPARE(LimitCheck::Caveat, "Indicative check, not a type test");
    }
};

QTEST_APPLESS_MAIN(TestMeasures)
#include "tst_measures.moc"
