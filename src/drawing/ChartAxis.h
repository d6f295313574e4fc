#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A stretch of data values on one axis, from low to high.
struct AxisRange
{
    double low = 0;
    double high = 1;

    double span() const { return high - low; }

    friend bool operator==(const AxisRange &, const AxisRange &) = default;
};

// The ticks of an axis over a range: where they stand and what they read.
struct AxisTicks
{
    double step = 0;            // between neighbours in data units (months and years: on average)
    std::vector<double> values; // rising, all within the range
    QStringList labels;         // one for each value
};

// One axis of a chart: what it measures, in which unit, and how its values read.
//
// A linear axis carries plain numbers; its ticks are "nice", 1, 2 or 5 times a power of ten apart,
// on whole multiples of that step, labelled with as many decimals as the step needs (numbers of a
// million or more, or below 0.001, in exponent form).
//
// A time axis carries instants as milliseconds since 1970-01-01 00:00 UTC, as
// QDateTime::toMSecsSinceEpoch() gives them. Its ticks fall on whole minutes or hours of the day
// (labelled "14:30"), on local midnights (every day, every other day or every Monday, labelled
// "2024-03-15"), on the first of a month (every 1, 2, 3 or 6 months, "Mar 2024") or of a year
// ("2024"), in local time.
struct ChartAxis
{
    enum class Kind
    {
        Linear,
        Time,
    };

    QString title{};  // "Voltage"
    QString unit{};   // "kV"; none for a time axis
    QString symbol{}; // in differences, "ΔV = -1.2 kV"; the title stands in when empty
    Kind kind = Kind::Linear;
    // The full view of this axis whatever the data, instead of one worked out from it.
    std::optional<AxisRange> fixedRange{};
    // Decimals of a value in readouts; unset, one more than the tick labels of the view have.
    std::optional<int> decimals{};

    // "Voltage (kV)", or the title alone when there is no unit.
    QString caption() const;

    // The full view for data from low to high: the fixed range when set. Otherwise a linear axis
    // widens the data's range outward to whole steps of the ticks of a 6-tick axis, and a time
    // axis adds 3 % of the span on each side; a range of no width first grows by 10 % of the
    // value on each side (1 for a value of 0; 12 hours for a time). No data (low > high, or a
    // bound not finite) gives 0 to 1 (a time axis: the first day of 1970).
    AxisRange fullRange(double low, double high) const;

    // At most maxCount ticks (at least 2 are allowed) over the range, as the axis' kind places
    // them, with the finest step that keeps to maxCount. A range of no width has one tick at its
    // value; a reversed or non-finite range has none.
    AxisTicks ticks(AxisRange range, int maxCount) const;

    // A value as readouts show it, with the unit: "7.31 kV" (decimals as `decimals` says, or one
    // more than a tick step of tickStep needs); a time axis gives "2024-03-15 14:30".
    QString valueText(double value, double tickStep) const;

    // A difference of two values as readouts show it: "-1.20 kV" likewise; on a time axis a
    // duration, "25 min" below an hour, "30.5 h" below two days, else "12.3 d".
    QString differenceText(double difference, double tickStep) const;

    // The symbol, or the title when there is none: what "Δ" stands before.
    QString differenceSymbol() const;

    static AxisTicks linearTicks(AxisRange range, int maxCount);
    static AxisTicks timeTicks(AxisRange range, int maxCount);
};
