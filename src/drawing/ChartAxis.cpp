#include "ChartAxis.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double MinuteMs = 60'000;
constexpr double HourMs = 60 * MinuteMs;
constexpr double DayMs = 24 * HourMs;
// Beyond this QDateTime gets no sensible dates (about 270 000 years either side of 1970).
constexpr double LatestMs = 8.6e15;

// A linear tick step: mantissa × 10^exponent, the mantissa 1, 2 or 5.
struct Step
{
    int mantissa = 0;
    int exponent = 0;

    double size() const { return value(1); }
    // The i-th multiple, dividing by a power of ten where one would multiply by a fraction of
    // one, so that 3 × 0.1 comes out as the nearest double to 0.3.
    double value(double i) const
    {
        return exponent >= 0 ? i * mantissa * std::pow(10.0, exponent)
                             : i * mantissa / std::pow(10.0, -exponent);
    }
};

// The first and last multiples of the step within the range, a hair of slack at both ends.
std::pair<double, double> multiples(AxisRange range, const Step &step)
{
    const double size = step.size();
    return {std::ceil(range.low / size - 1e-9), std::floor(range.high / size + 1e-9)};
}

// The finest step that puts at most maxCount multiples in the range; none (mantissa 0) for a
// range of no width or one too wide or narrow for a double.
Step niceStep(AxisRange range, int maxCount)
{
    const double span = range.span();
    if (!(span > 0) || !std::isfinite(span))
        return {};
    const int start = int(std::floor(std::log10(span / (maxCount - 1))));
    if (start < -300 || start > 300)
        return {};
    for (int exponent = start;; ++exponent) {
        for (const int mantissa : {1, 2, 5}) {
            const Step step{mantissa, exponent};
            const auto [first, last] = multiples(range, step);
            if (last - first + 1 <= maxCount)
                return step;
        }
    }
}

QString linearLabel(double value, double magnitude, int exponent)
{
    if (value == 0)
        return QStringLiteral("0"); // never "-0"
    if (magnitude >= 1e6 || magnitude < 1e-3) {
        const int digits = int(std::floor(std::log10(magnitude))) - exponent + 1;
        return QString::number(value, 'g', std::clamp(digits, 1, 15));
    }
    return QString::number(value, 'f', std::max(0, -exponent));
}

QDateTime localTime(double ms)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(ms)));
}

double msecs(QDate date, QTime time = QTime(0, 0))
{
    return double(QDateTime(date, time).toMSecsSinceEpoch());
}

// One rung of the ladder of time steps.
struct TimeStep
{
    enum Unit
    {
        Minutes,
        Days,
        Weeks,
        Months,
        Years,
    } unit;
    int count;
    double approxMs;
};

constexpr std::array TimeSteps{
    TimeStep{TimeStep::Minutes, 1, MinuteMs},
    TimeStep{TimeStep::Minutes, 2, 2 * MinuteMs},
    TimeStep{TimeStep::Minutes, 5, 5 * MinuteMs},
    TimeStep{TimeStep::Minutes, 10, 10 * MinuteMs},
    TimeStep{TimeStep::Minutes, 15, 15 * MinuteMs},
    TimeStep{TimeStep::Minutes, 30, 30 * MinuteMs},
    TimeStep{TimeStep::Minutes, 60, HourMs},
    TimeStep{TimeStep::Minutes, 120, 2 * HourMs},
    TimeStep{TimeStep::Minutes, 180, 3 * HourMs},
    TimeStep{TimeStep::Minutes, 360, 6 * HourMs},
    TimeStep{TimeStep::Minutes, 720, 12 * HourMs},
    TimeStep{TimeStep::Days, 1, DayMs},
    TimeStep{TimeStep::Days, 2, 2 * DayMs},
    TimeStep{TimeStep::Weeks, 1, 7 * DayMs},
    TimeStep{TimeStep::Months, 1, 30.4375 * DayMs},
    TimeStep{TimeStep::Months, 2, 2 * 30.4375 * DayMs},
    TimeStep{TimeStep::Months, 3, 3 * 30.4375 * DayMs},
    TimeStep{TimeStep::Months, 6, 6 * 30.4375 * DayMs},
};

// The ticks of one time step over the range, stopping once there are more than `enough`.
AxisTicks timeTicksOf(AxisRange range, const TimeStep &step, int enough)
{
    AxisTicks ticks{step.approxMs, {}, {}};
    const QDate first = localTime(range.low).date();
    const QDate last = localTime(range.high).date();
    const auto add = [&](double value, const QString &format) {
        if (value < range.low || value > range.high)
            return;
        ticks.values.push_back(value);
        ticks.labels << QLocale::c().toString(localTime(value), format);
    };
    const auto full = [&] { return int(ticks.values.size()) > enough; };
    switch (step.unit) {
    case TimeStep::Minutes:
        // Over more than one day, each midnight's tick says which day begins.
        for (QDate day = first; day <= last && !full(); day = day.addDays(1))
            for (int minute = 0; minute < 24 * 60 && !full(); minute += step.count)
                add(msecs(day, QTime(minute / 60, minute % 60)), minute == 0 && first != last
                                                                     ? QStringLiteral("MM-dd")
                                                                     : QStringLiteral("HH:mm"));
        break;
    case TimeStep::Days:
    case TimeStep::Weeks:
        for (QDate day = first; day <= last && !full(); day = day.addDays(1)) {
            // Every other day by the Julian day number, so that the days do not depend on the
            // range; weeks start on Mondays.
            if ((step.unit == TimeStep::Weeks && day.dayOfWeek() == Qt::Monday) ||
                (step.unit == TimeStep::Days && day.toJulianDay() % step.count == 0))
                add(msecs(day), QStringLiteral("yyyy-MM-dd"));
        }
        break;
    case TimeStep::Months:
        for (QDate month(first.year(), first.month(), 1); month <= last && !full();
             month = month.addMonths(1))
            if ((month.month() - 1) % step.count == 0)
                add(msecs(month), QStringLiteral("MMM yyyy"));
        break;
    case TimeStep::Years:
        for (int year = first.year(); year <= last.year() && !full(); ++year)
            if (year % step.count == 0)
                add(msecs(QDate(year, 1, 1)), QStringLiteral("yyyy"));
        break;
    }
    return ticks;
}

int decimalsFor(double tickStep)
{
    if (!(tickStep > 0) || !std::isfinite(tickStep))
        return 2;
    return std::max(0, -int(std::floor(std::log10(tickStep) + 1e-9))) + 1;
}

} // namespace

QString ChartAxis::caption() const
{
    return unit.isEmpty() ? title : QStringLiteral("%1 (%2)").arg(title, unit);
}

AxisRange ChartAxis::fullRange(double low, double high) const
{
    if (fixedRange)
        return *fixedRange;
    if (!(low <= high) || !std::isfinite(low) || !std::isfinite(high))
        return {0, kind == Kind::Time ? DayMs : 1};
    if (kind == Kind::Time) {
        const double pad = low == high ? 12 * HourMs : (high - low) * 0.03;
        return {low - pad, high + pad};
    }
    if (low == high) {
        const double half = low != 0 ? std::abs(low) * 0.1 : 1;
        low -= half, high += half;
    }
    const Step step = niceStep({low, high}, 6);
    if (step.mantissa == 0)
        return {low, high};
    return {step.value(std::floor(low / step.size() + 1e-9)),
            step.value(std::ceil(high / step.size() - 1e-9))};
}

AxisTicks ChartAxis::ticks(AxisRange range, int maxCount) const
{
    return kind == Kind::Time ? timeTicks(range, maxCount) : linearTicks(range, maxCount);
}

AxisTicks ChartAxis::linearTicks(AxisRange range, int maxCount)
{
    maxCount = std::max(2, maxCount);
    const double magnitude = std::max(std::abs(range.low), std::abs(range.high));
    if (range.low == range.high && std::isfinite(range.low))
        return {0, {range.low}, {QString::number(range.low)}};
    const Step step = niceStep(range, maxCount);
    if (step.mantissa == 0)
        return {};
    AxisTicks ticks{step.size(), {}, {}};
    const auto [first, last] = multiples(range, step);
    for (double i = first; i <= last; ++i) {
        const double value = step.value(i);
        ticks.values.push_back(value);
        ticks.labels << linearLabel(value, magnitude, step.exponent);
    }
    return ticks;
}

AxisTicks ChartAxis::timeTicks(AxisRange range, int maxCount)
{
    maxCount = std::max(2, maxCount);
    if (!(range.low <= range.high) || !(range.low > -LatestMs) || !(range.high < LatestMs))
        return {};
    const double span = range.span();
    for (const TimeStep &step : TimeSteps) {
        // Skips the steps that are plainly too fine before walking through their ticks.
        if (span / step.approxMs > 2 * maxCount + 2)
            continue;
        AxisTicks ticks = timeTicksOf(range, step, maxCount);
        if (int(ticks.values.size()) <= maxCount)
            return ticks;
    }
    // Years: 1, 2 or 5 times a power of ten of them.
    const double years = span / (365.25 * DayMs);
    const Step yearStep = niceStep({0, std::max(years, 1.0)}, maxCount);
    const int count = std::max(1, int(yearStep.size()));
    return timeTicksOf(range, {TimeStep::Years, count, count * 365.25 * DayMs}, maxCount);
}

QString ChartAxis::valueText(double value, double tickStep) const
{
    if (kind == Kind::Time)
        return QLocale::c().toString(localTime(value), QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString number = QString::number(value, 'f', decimals.value_or(decimalsFor(tickStep)));
    return unit.isEmpty() ? number : number + u' ' + unit;
}

QString ChartAxis::differenceText(double difference, double tickStep) const
{
    if (kind != Kind::Time)
        return valueText(difference, tickStep);
    if (std::abs(difference) < HourMs)
        return QStringLiteral("%1 min").arg(QString::number(difference / MinuteMs, 'f', 0));
    if (std::abs(difference) < 2 * DayMs)
        return QStringLiteral("%1 h").arg(QString::number(difference / HourMs, 'f', 1));
    return QStringLiteral("%1 d").arg(QString::number(difference / DayMs, 'f', 1));
}

QString ChartAxis::differenceSymbol() const
{
    return symbol.isEmpty() ? title : symbol;
}
