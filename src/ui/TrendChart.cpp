#include "TrendChart.h"

#include "ValueTexts.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

const QColor VoltageColour(0x1f, 0x4e, 0x9c);
const QColor EnergyColour(0xd0, 0x70, 0x10);
const QColor WarningColour(0xc0, 0x20, 0x20);
const QColor WarningLevelColour(0xf0, 0xa0, 0xa0);

QString tr(const char *text)
{
    return QCoreApplication::translate("TrendChart", text);
}

QString kV(int tenths)
{
    return QString::fromStdString(ValueTexts::tenthsText(tenths)) + u" kV"_qs;
}

QString joules(int tenths)
{
    return QString::fromStdString(ValueTexts::tenthsText(tenths)) + u" J"_qs;
}

// "0.2 kV below the baseline", "0.1 kV above the baseline", "the same as the baseline".
QString change(int tenths, const QString &baseline)
{
    if (tenths == 0)
        return tr("the same as %1").arg(baseline);
    return (tenths < 0 ? tr("%1 below %2") : tr("%1 above %2")).arg(kV(std::abs(tenths)), baseline);
}

QString when(const QDateTime &recorded)
{
    return recorded.toString(u"yyyy-MM-dd HH:mm"_qs);
}

double x(const TrendPoint &point)
{
    return double(point.recorded.toMSecsSinceEpoch());
}

} // namespace

namespace TrendChart {

QString rule()
{
    return tr("A fall of more than 2.0 kV from the first test (the baseline) is the usual sign of "
              "trouble.");
}

Chart of(const Trend &trend)
{
    Chart chart;
    chart.x = {tr("Recorded"), {}, {}, ChartAxis::Kind::Time};
    chart.y = {tr("Peak voltage"), u"kV"_qs, u"V"_qs};
    chart.y2 = {tr("Energy"), u"J"_qs, u"E"_qs};
    if (!trend.baseline)
        return chart;
    Chart::Series voltage{tr("Peak voltage"), VoltageColour, {}, Chart::Style::LinesAndMarkers};
    Chart::Series energy{
        tr("Energy"), EnergyColour, {}, Chart::Style::LinesAndMarkers, Chart::YAxis::Right};
    for (const TrendPoint &p : trend.points) {
        voltage.points.emplace_back(x(p), p.voltCount / 10.0);
        energy.points.emplace_back(x(p), p.energyCount / 10.0);
    }
    const double level = (trend.baseline->voltCount - Trend::AllowedDropTenths) / 10.0;
    Chart::Series warningLevel{tr("2.0 kV below the baseline"),
                               WarningLevelColour,
                               {{x(trend.points.first()), level}, {x(trend.points.last()), level}},
                               Chart::Style::Lines,
                               Chart::YAxis::Left,
                               true};
    chart.series = {std::move(voltage), std::move(energy), std::move(warningLevel)};
    chart.markers.push_back({QPointF(x(*trend.baseline), trend.baseline->voltCount / 10.0),
                             tr("baseline"), VoltageColour});
    if (trend.warning)
        chart.markers.push_back(
            {QPointF(x(trend.points.last()), trend.points.last().voltCount / 10.0),
             tr("%1 below").arg(kV(-trend.changeTenths)), WarningColour});
    return chart;
}

QString readout(const Trend &trend, int index)
{
    if (index < 0 || index >= trend.points.size() || !trend.baseline)
        return {};
    const TrendPoint &p = trend.points.at(index);
    return tr("Test %1 of %2, %3: %4, %5, %6")
        .arg(index + 1)
        .arg(trend.points.size())
        .arg(when(p.recorded), kV(p.voltCount), joules(p.energyCount),
             index == 0 ? tr("the baseline")
                        : change(p.voltCount - trend.baseline->voltCount, tr("the baseline")));
}

QString summary(const Trend &trend)
{
    if (!trend.baseline)
        return tr("No test records of this energizer.");
    const TrendPoint &latest = trend.points.last();
    const QString span =
        trend.points.size() == 1
            ? tr("1 test, %1").arg(trend.baseline->recorded.date().toString(Qt::ISODate))
            : tr("%1 tests, %2 to %3")
                  .arg(trend.points.size())
                  .arg(trend.baseline->recorded.date().toString(Qt::ISODate),
                       latest.recorded.date().toString(Qt::ISODate));
    if (trend.points.size() == 1)
        return tr("%1: the baseline %2.").arg(span, kV(trend.baseline->voltCount));
    return tr("%1: the baseline %2, the latest %3, %4.")
        .arg(span, kV(trend.baseline->voltCount), kV(latest.voltCount),
             change(trend.changeTenths, tr("the baseline")));
}

QString warning(const Trend &trend)
{
    if (!trend.warning || !trend.baseline)
        return {};
    return tr("The latest reading, %1, is %2 below the baseline (%3): more than 2.0 kV.")
        .arg(kV(trend.points.last().voltCount), kV(-trend.changeTenths),
             kV(trend.baseline->voltCount));
}

QString description(const Trend &trend)
{
    if (!trend.baseline)
        return summary(trend);
    QString text = tr("Peak voltage in kV and energy in J of each test over time, with a line "
                      "2.0 kV below the baseline.") +
                   u' ' + summary(trend);
    if (trend.warning)
        text += u' ' + warning(trend);
    return text;
}

} // namespace TrendChart
