#include "WaveformTexts.h"

#include "LimitCheck.h"
#include "PulseMeasures.h"
#include "ValueTexts.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("WaveformTexts", text);
}

QString number(double value, int decimals)
{
    return QString::number(value + 0.0, 'f', decimals); // never "-0.0"
}

QString signedNumber(double value, int decimals)
{
    const QString text = number(value, decimals);
    return value > 0 && text != number(0, decimals) ? u'+' + text : text;
}

// "Rise time (10 % to 90 %): 6.4 µs", or ": none (why)".
QString measureLine(const QString &caption, const Measure &measure, int decimals,
                    const QString &unit)
{
    return caption + QStringLiteral(": ") +
           (measure.value ? number(*measure.value, decimals) + u' ' + unit
                          : tr("none (%1)").arg(QString::fromStdString(measure.whyNone)));
}

QString verdicts(const LimitCheck::Verdicts &v)
{
    return tr("energy %1, interval %2, pulse width %3")
        .arg(QLatin1String(LimitCheck::verdictText(v.energy)),
             QLatin1String(LimitCheck::verdictText(v.interval)),
             QLatin1String(LimitCheck::verdictText(v.pulseWidth)));
}

} // namespace

namespace WaveformTexts {

QString title(const ShownDataSet &shown, const QString &fileName)
{
    QStringList meter;
    for (const std::optional<std::string> &reply : {shown.modelReply, shown.serialReply})
        if (reply && !ValueTexts::meterText(*reply).empty())
            meter << QString::fromStdString(ValueTexts::meterText(*reply));
    QString text = tr("Data set %1").arg(shown.index + 1) + QStringLiteral(" – ") +
                   (meter.isEmpty() ? tr("meter not named") : tr("meter ") + meter.join(u' '));
    if (!fileName.isEmpty())
        text += QStringLiteral(" – ") + fileName;
    return text;
}

QStringList measureLines(const Measurement &m)
{
    const PulseMeasures measures = measurePulse(m);
    QString energy =
        measureLine(tr("Energy from the samples"), measures.energyFromSamplesJ, 2, tr("J")) +
        tr("; the meter's: %1 J")
            .arg(QString::fromStdString(ValueTexts::tenthsText(m.energyCount)));
    if (const std::optional<double> difference = energyDifferencePercent(measures, m))
        energy += QStringLiteral(" (%1 %)").arg(signedNumber(*difference, 1));
    QStringList lines{
        measureLine(tr("Peak time"), measures.peakTimeUs, 0, tr("µs")),
        measureLine(tr("Rise time (10 % to 90 %)"), measures.riseTimeUs, 1, tr("µs")),
        measureLine(tr("Width at 50 %"), measures.widthAt50Us, 1, tr("µs")),
        measureLine(tr("Peak current"), measures.peakCurrentA, 1, tr("A")),
        energy,
    };
    if (measures.cutOff)
        lines << tr("The pulse is cut off: it began before the 400 µs the meter records, or "
                    "runs past them.");
    return lines;
}

QStringList differenceLines(const Measurement &m, const Measurement &reference)
{
    // "Peak voltage: -2.5 kV (7.3 kV here, 9.8 kV in the reference)"
    const auto line = [](const QString &caption, double mine, double theirs, int decimals,
                         const QString &unit) {
        return tr("%1: %2 %3 (%4 %3 here, %5 %3 in the reference)")
            .arg(caption, signedNumber(mine - theirs, decimals), unit, number(mine, decimals),
                 number(theirs, decimals));
    };
    const Measure mine = measurePulse(m).widthAt50Us;
    const Measure theirs = measurePulse(reference).widthAt50Us;
    const QString width = tr("Width at 50 %");
    return {tr("Differences from the reference:"),
            line(tr("Peak voltage"), m.voltCount / 10.0, reference.voltCount / 10.0, 1, tr("kV")),
            line(tr("Energy (the meter's)"), m.energyCount / 10.0, reference.energyCount / 10.0, 1,
                 tr("J")),
            mine.value && theirs.value
                ? line(width, *mine.value, *theirs.value, 1, tr("µs"))
                : tr("%1: none (%2: %3)")
                      .arg(width, mine.value ? tr("the reference") : tr("this data set"),
                           QString::fromStdString(mine.value ? theirs.whyNone : mine.whyNone))};
}

QStringList checkLines(const LimitProfile &profile, const DataSets &sets, int shownIndex)
{
    QStringList lines{QLatin1String(LimitCheck::Caveat),
                      tr("Profile: %1").arg(QString::fromStdString(profile.name))};
    for (int k = 0; k < DataSets::Count; ++k) {
        if (const std::optional<Measurement> &m = sets.measurement(k))
            lines << tr("Data set %1").arg(k + 1) + (k == shownIndex ? tr(" (shown)") : QString()) +
                         QStringLiteral(": ") + verdicts(LimitCheck::check(*m, profile));
        else
            lines << QString::fromStdString(sets.fault(k)) + tr(" – no verdicts");
    }
    return lines;
}

} // namespace WaveformTexts
